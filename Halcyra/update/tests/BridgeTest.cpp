// The drive move and the engine update driven from page script through the bridge.
#include "Halcyra/launcher/Launcher.h"
#include "Halcyra/update/tests/TestFiles.h"
#include "framework/MessageBox.h"
#include "framework/ScriptHost.h"
#include "framework/UniqueHandle.h"
#include "tests/support/DispatchedAction.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/HeldMessageBox.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using testing_support::DriveFixture;
namespace files = test_files;

const char kSystemRoot[] = "C:/Orbelune/";
const char kRecord[] = "C:/Orbelune/disk.dat";

// A headless main window on data drive D (recorded), with drive E to move to.
class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing_support::removeTree(kSystemRoot);
        ASSERT_TRUE(CreateDirectoryA(kSystemRoot, nullptr));
        files::write(kRecord, "D");
        ASSERT_TRUE(drives.map('D')) << drives.error();
        ASSERT_TRUE(drives.map('E')) << drives.error();
        fw::setMessageBoxRecorder([](const fw::MessageBoxCall&) { return IDOK; });
        launcher.initStartupState();
        ASSERT_EQ(launcher.dataDrive().drive(), "D");
        host.addObject(L"external", launcher.bridge());
    }
    void TearDown() override
    {
        launcher.stopAllWork();
        fw::setMessageBoxRecorder(nullptr);
        testing_support::removeTree(kSystemRoot);
    }

    void run(const std::wstring& script)
    {
        ASSERT_TRUE(host.run(script)) << host.error().line << ": " << host.error().description;
    }

    DriveFixture drives;
    Launcher launcher;
    fw::ScriptHost host;
};

TEST_F(BridgeTest, PageMovesTheEngineDirectoriesAndPollsToTheEnd)
{
    files::write("D:/Orbelune/420/a.pak", "a");
    files::write("D:/Orbelune/424/models/b.pak", "b");

    run(L"external.changeDisk('d');\n"
        L"log(external.getChangeDiskProgress());\n"
        L"external.changeDisk('E');\n"
        L"var progress = 0;\n"
        L"for (var polls = 0; polls < 10000; ++polls) {\n"
        L"  progress = external.getChangeDiskProgress();\n"
        L"  if (progress == 1 || progress == -1) break;\n"
        L"  sleep(5);\n"
        L"}\n"
        L"log(progress);\n"
        L"log(external.getCurrentDownloadDir());\n");

    EXPECT_EQ(host.logLines(), (std::vector<std::wstring>{L"0", L"1", L"E:/Orbelune"}));
    EXPECT_EQ(files::read("E:/Orbelune/420/a.pak"), "a");
    EXPECT_EQ(files::read("E:/Orbelune/424/models/b.pak"), "b");
    EXPECT_FALSE(files::exists("D:/Orbelune/420/a.pak"));
    EXPECT_EQ(files::read(kRecord), "E");
}

TEST_F(BridgeTest, ClearingDownloadsWaitsForARunningMove)
{
    // The move's first copy fails; its message holds the worker until the clearing, while
    // it waits, dispatches a message posted before it (or for 10 s).
    testing_support::HeldMessageBox box(10000);
    files::write("D:/Orbelune/420/a.pak", "a");
    files::write("E:/Orbelune/420", "a file where a directory is needed");

    run(L"external.changeDisk('E');");
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(box.asked(), 30000));
    testing_support::DispatchedAction releaseWhileClearing([&] { box.release(); });
    ASSERT_TRUE(releaseWhileClearing.post());
    run(L"external.clearDownload();");

    // Had the clearing not waited, the move would still be held at progress 0.
    run(L"log(external.getChangeDiskProgress());");
    EXPECT_EQ(host.logLines().back(), L"-1");
    EXPECT_EQ(launcher.dataDrive().drive(), "D");
    box.release();  // a move still held goes on, and the launcher's stop ends it
}

}  // namespace
