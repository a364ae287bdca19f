#include "Halcyra/update/EngineExit.h"

#include "Halcyra/common/Helpers.h"
#include "Halcyra/update/tests/RunningEngine.h"
#include "framework/MessageBox.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const wchar_t kRunningText[] =
    L"检测到Vistaweaver程序正在运行，请先退出Vistaweaver再进行版本升级！";
const wchar_t kRunningCaption[] = L"Vistaweaver版本升级";
const wchar_t kStillRunningText[] =
    L"检测到Vistaweaver尚未退出，可能是Vistaweaver程序正在关闭中，点是继续等待Vistaweaver程序退出！";
const wchar_t kStillRunningCaption[] = L"Lumaro版本升级";
// Without a main window the update's boxes stay in front of every other window.
const UINT kInFront = MB_SETFOREGROUND | MB_TOPMOST;

bool isQuestion(const fw::MessageBoxCall& call)
{
    return (call.type & MB_TYPEMASK) == MB_YESNO;
}

// Records each message box with the time it was shown; answers through a test's function.
class EngineExitTest : public ::testing::Test {
protected:
    struct Shown {
        fw::MessageBoxCall call;
        DWORD at;
    };

    void answer(std::function<int(const fw::MessageBoxCall&)> reply)
    {
        fw::setMessageBoxRecorder([this, reply](const fw::MessageBoxCall& call) {
            shown.push_back({call, GetTickCount()});
            const int result = reply(call);
            if (!isQuestion(call))
                dismissed = GetTickCount();
            return result;
        });
    }
    void TearDown() override
    {
        fw::setMessageBoxRecorder(nullptr);
        SetEnvironmentVariableA("TASKKILL_STANDIN_DELAY_MS", nullptr);
        // A taskkill given up on would otherwise end the engines of later tests.
        while (const DWORD id = findProcessByName(L"taskkill.exe")) {
            const fw::UniqueHandle taskkill(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
            if (!taskkill)
                break;
            TerminateProcess(taskkill.get(), 1);
            WaitForSingleObject(taskkill.get(), 5000);
        }
    }

    std::vector<Shown> shown;
    DWORD dismissed = 0;
};

TEST_F(EngineExitTest, NoEngineNoQuestion)
{
    answer([](const fw::MessageBoxCall&) { return IDOK; });
    EXPECT_TRUE(waitForEngineExit());
    EXPECT_TRUE(shown.empty());
}

TEST_F(EngineExitTest, AskedAfterAboutFourSecondsAndNoGivesUp)
{
    test_files::RunningEngine engine;
    ASSERT_TRUE(engine.started());
    answer([](const fw::MessageBoxCall& call) { return isQuestion(call) ? IDNO : IDOK; });

    EXPECT_FALSE(waitForEngineExit());

    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].call.owner, nullptr);
    EXPECT_EQ(shown[0].call.text, kRunningText);
    EXPECT_EQ(shown[0].call.caption, kRunningCaption);
    EXPECT_EQ(shown[0].call.type, MB_OK | kInFront);
    EXPECT_EQ(shown[1].call.owner, nullptr);
    EXPECT_EQ(shown[1].call.text, kStillRunningText);
    EXPECT_EQ(shown[1].call.caption, kStillRunningCaption);
    EXPECT_EQ(shown[1].call.type, MB_YESNO | kInFront);
    EXPECT_GE(shown[1].at - dismissed, 3500u);
    EXPECT_FALSE(engine.ended(0));
}

TEST_F(EngineExitTest, YesKeepsWaitingUntilTheEngineIsGone)
{
    test_files::RunningEngine engine;
    ASSERT_TRUE(engine.started());
    int questions = 0;
    answer([&](const fw::MessageBoxCall& call) {
        if (!isQuestion(call))
            return IDOK;
        // The first Yes waits on while the engine is force-closed; a second question
        // would mean the wait never saw it go.
        if (++questions > 1)
            return IDNO;
        forceCloseEngine();
        return IDYES;
    });

    EXPECT_TRUE(waitForEngineExit());
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(engine.ended(10000));
    EXPECT_EQ(findEngineProcess(), 0u);
}

TEST_F(EngineExitTest, ForceClosingWaitsForTaskkillToHaveEndedTheEngine)
{
    test_files::RunningEngine engine;
    ASSERT_TRUE(engine.started());
    SetEnvironmentVariableA("TASKKILL_STANDIN_DELAY_MS", "1500");
    answer([](const fw::MessageBoxCall&) { return IDNO; });

    const DWORD start = GetTickCount();
    EXPECT_TRUE(forceCloseAndWait());
    EXPECT_GE(GetTickCount() - start, 1400u);
    EXPECT_TRUE(engine.ended(0)) << "the files would be replaced under a running engine";
    EXPECT_TRUE(shown.empty());
}

TEST_F(EngineExitTest, TaskkillThatTakesLongIsAskedAboutAndCanBeGivenUp)
{
    test_files::RunningEngine engine;
    ASSERT_TRUE(engine.started());
    SetEnvironmentVariableA("TASKKILL_STANDIN_DELAY_MS", "30000");
    answer([](const fw::MessageBoxCall& call) { return isQuestion(call) ? IDNO : IDOK; });

    const DWORD start = GetTickCount();
    EXPECT_FALSE(forceCloseAndWait());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].call.text, kStillRunningText);
    EXPECT_EQ(shown[0].call.type, MB_YESNO | kInFront);
    EXPECT_GE(shown[0].at - start, 4500u);
    EXPECT_LT(GetTickCount() - start, 10000u);
    EXPECT_FALSE(engine.ended(0));
}

TEST_F(EngineExitTest, StopEndsTheWaitAtOnce)
{
    test_files::RunningEngine engine;
    ASSERT_TRUE(engine.started());
    const fw::UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    answer([&stop](const fw::MessageBoxCall& call) {
        // The launcher is closed while the user is told to close the engine.
        SetEvent(stop.get());
        return isQuestion(call) ? IDYES : IDOK;
    });

    const DWORD start = GetTickCount();
    EXPECT_FALSE(waitForEngineExit(stop.get()));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(shown.size(), 1u);

    SetEnvironmentVariableA("TASKKILL_STANDIN_DELAY_MS", "30000");
    const DWORD forceStart = GetTickCount();
    EXPECT_FALSE(forceCloseAndWait(stop.get()));
    EXPECT_LT(GetTickCount() - forceStart, 1000u);
}

}  // namespace
