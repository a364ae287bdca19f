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
            if (call.type == MB_OK)
                dismissed = GetTickCount();
            return result;
        });
    }
    void TearDown() override { fw::setMessageBoxRecorder(nullptr); }

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
    answer([](const fw::MessageBoxCall& call) { return call.type == MB_OK ? IDOK : IDNO; });

    EXPECT_FALSE(waitForEngineExit());

    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].call.owner, nullptr);
    EXPECT_EQ(shown[0].call.text, kRunningText);
    EXPECT_EQ(shown[0].call.caption, kRunningCaption);
    EXPECT_EQ(shown[0].call.type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(shown[1].call.owner, nullptr);
    EXPECT_EQ(shown[1].call.text, kStillRunningText);
    EXPECT_EQ(shown[1].call.caption, kStillRunningCaption);
    EXPECT_EQ(shown[1].call.type, static_cast<UINT>(MB_YESNO));
    EXPECT_GE(shown[1].at - dismissed, 3500u);
    EXPECT_FALSE(engine.ended(0));
}

TEST_F(EngineExitTest, YesKeepsWaitingUntilTheEngineIsGone)
{
    test_files::RunningEngine engine;
    ASSERT_TRUE(engine.started());
    int questions = 0;
    answer([&](const fw::MessageBoxCall& call) {
        if (call.type == MB_OK)
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

}  // namespace
