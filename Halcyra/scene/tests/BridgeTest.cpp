// A catalogue page opening a scene through the launcher's bridge: the scene tables,
// Init against the engine stand-in, the polled queries, F5, and the end at shutdown.
#include "Halcyra/scene/tests/SceneTestSupport.h"
#include "Halcyra/launcher/Launcher.h"
#include "Halcyra/common/Helpers.h"
#include "framework/MessageBox.h"
#include "framework/ScriptHost.h"
#include "framework/UniqueHandle.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <vector>

namespace {

using namespace scene_test;

using testing_support::DriveFixture;
using testing_support::DriveType;

const char kSystemRoot[] = "C:/Orbelune/";
const char kRecord[] = "C:/Orbelune/disk.dat";
const char kEngineName[] = "Vistaweaver-Win64-Shipping.exe";
const char kEngineDir[] = "D:/Orbelune/426";
const char kSceneDir[] = "D:/Orbelune/Download/pak";
const std::string kCommand =
    "D:/Orbelune//426/Vistaweaver-Win64-Shipping.exe -WINDOWED -Web "
    "-scenePath=D:/Orbelune/Download/pak/scenePath.json -assetDir=D:/Orbelune/Download/pak/ ";

// GBK bytes spelled out: 客厅, 白色, 场景.
const char kDocument[] =
    "{\n"
    "   \"body\" : {\n"
    "      \"planPath\" : \"D:/Orbelune/Download/pak/plan/a.json\",\n"
    "      \"sceneInfo\" : {\n"
    "         \"id\" : \"57\",\n"
    "         \"styles\" : {\n"
    "            \"wall\" : \"\xB0\xD7\xC9\xAB\"\n"
    "         },\n"
    "         \"ue4Name\" : \"\xB3\xA1\xBE\xB0\",\n"
    "         \"ue4Version\" : \"4.26\"\n"
    "      }\n"
    "   },\n"
    "   \"title\" : \"\xBF\xCD\xCC\xFC\"\n"
    "}\n";

// What the page sends for scene 57 on engine 4.26.
const wchar_t kFillTables[] =
    L"external.setParam('gamedir', 'C:/Program Files/Orbelune/Vistaweaver-Win64-Shipping.exe');\n"
    L"external.setParam('pakdir', 'Orbelune/Download/pak');\n"
    L"external.setParam('param', '');\n"
    L"external.setParam('clientmode', '1');\n"
    L"external.addJson('title', '\u5BA2\u5385');\n"
    L"external.addJsonBody('planPath', 'plan/a.json');\n"
    L"external.addJsonSceneInfo('ue4Version', '4.26');\n"
    L"external.addJsonSceneInfo('ue4Name', '\u573A\u666F.pak');\n"
    L"external.addJsonSceneInfo('id', '57');\n"
    L"external.addJsonSceneStyles('wall', '\u767D\u8272');\n";

// Polls the engine's state as a page would, logging what it finally saw.
const wchar_t kPollUntilRunning[] =
    L"var running = false;\n"
    L"for (var polls = 0; polls < 200 && !running; ++polls) {\n"
    L"  running = external.isVistaweaverRunning();\n"
    L"  if (!running) sleep(50);\n"
    L"}\n"
    L"log(running + ' ' + external.getCurrentOpenSceneID());\n";
const wchar_t kPollUntilStopped[] =
    L"var running = true;\n"
    L"for (var polls = 0; polls < 200 && running; ++polls) {\n"
    L"  running = external.isVistaweaverRunning();\n"
    L"  if (running) sleep(50);\n"
    L"}\n"
    L"log(running + ' ' + external.getCurrentOpenSceneID());\n";

// "<command line>|<current directory>" once its window is up, then "F5" per key.
std::string engineLog()
{
    return readBytes(std::string(kEngineDir) + "/" + kEngineName + ".log");
}

// A headless main window on data drive D (recorded), with the engine 4.26 installed there.
class SceneBridge : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing_support::removeTree(kSystemRoot);
        ASSERT_TRUE(CreateDirectoryA(kSystemRoot, nullptr));
        writeBytes(kRecord, "D");
        ASSERT_TRUE(drives.map('D')) << drives.error();
        ASSERT_TRUE(createDirectories(kEngineDir));
        ASSERT_TRUE(CopyFileA(besideThisProgram(kEngineName).c_str(),
                              (std::string(kEngineDir) + "/" + kEngineName).c_str(), FALSE));
        ASSERT_TRUE(createDirectories(kSceneDir));
        fw::setMessageBoxRecorder([this](const fw::MessageBoxCall& call) {
            messages.push_back(call);
            return IDOK;
        });
        launcher.initStartupState();
        ASSERT_EQ("D", launcher.dataDrive().drive());
        host.addObject(L"external", launcher.bridge());
    }
    void TearDown() override
    {
        launcher.stopAllWork();
        terminateAllEngines();
        fw::setMessageBoxRecorder(nullptr);
        testing_support::removeTree(kSystemRoot);
    }

    void run(const std::wstring& script)
    {
        ASSERT_TRUE(host.run(script)) << host.error().line << ": " << host.error().description;
    }

    DriveFixture drives;
    std::vector<fw::MessageBoxCall> messages;
    Launcher launcher;
    fw::ScriptHost host;
};

}  // namespace

TEST_F(SceneBridge, PageOpensASceneAndTheLauncherEndsItsEngineOnly)
{
    run(kFillTables);
    run(L"log(external.isVistaweaverRunning() + ' ' + external.getCurrentOpenSceneID() + ' ' +\n"
        L"    external.transmitMaterial());\n"
        L"external.Init();\n");
    run(kPollUntilRunning);
    EXPECT_EQ((std::vector<std::wstring>{L"false 0 false", L"true 57"}), host.logLines());
    EXPECT_TRUE(messages.empty());

    EXPECT_EQ(kCommand, readBytes(std::string(kSceneDir) + "/buf.txt"));
    EXPECT_EQ(kDocument, readBytes(std::string(kSceneDir) + "/scenePath.json"));
    ASSERT_TRUE(eventually([] { return !engineLog().empty(); }));
    EXPECT_EQ(kCommand + "|D:\\Orbelune\\426\r\n", engineLog());

    run(L"log('' + external.transmitMaterial());");
    EXPECT_EQ(L"true", host.logLines().back());
    EXPECT_TRUE(eventually([] { return engineLog().find("\r\nF5\r\n") != std::string::npos; }));

    // Someone else's engine of the same name: seen by the queries, left running at the end.
    const DWORD ours = findEngineProcess();
    testing_support::TempDir elsewhere;
    ASSERT_TRUE(CopyFileA(besideThisProgram(kEngineName).c_str(), (elsewhere / kEngineName).c_str(), FALSE));
    std::string foreignCommand = "\"" + (elsewhere / kEngineName) + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION foreign = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &foreignCommand[0], nullptr, nullptr, FALSE, 0, nullptr,
                               elsewhere.path().c_str(), &startup, &foreign));
    const fw::UniqueHandle foreignThread(foreign.hThread);
    const fw::UniqueHandle foreignProcess(foreign.hProcess);
    const fw::UniqueHandle oursProcess(OpenProcess(SYNCHRONIZE, FALSE, ours));
    ASSERT_TRUE(oursProcess);

    launcher.stopAllWork();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(oursProcess.get(), 10000));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(foreignProcess.get(), 300));
    run(L"log(external.isVistaweaverRunning() + ' ' + external.getCurrentOpenSceneID());");
    EXPECT_EQ(L"true 57", host.logLines().back());

    TerminateProcess(foreignProcess.get(), 0);
    WaitForSingleObject(foreignProcess.get(), 10000);
    run(kPollUntilStopped);
    EXPECT_EQ(L"false 0", host.logLines().back());
}

TEST_F(SceneBridge, ClearDownloadEndsTheStartedEngine)
{
    run(kFillTables);
    run(L"external.Init();");
    run(kPollUntilRunning);
    ASSERT_EQ(L"true 57", host.logLines().back());
    run(L"external.clearDownload();");
    run(kPollUntilStopped);
    EXPECT_EQ(L"false 0", host.logLines().back());
}

TEST_F(SceneBridge, StartUpEmptiesTheTablesButKeepsTheDerivedValues)
{
    run(kFillTables);
    launcher.initStartupState();
    // No parameters any more: the document goes to the drive's root and nothing starts.
    run(L"external.Init();");
    EXPECT_EQ("{\n"
              "   \"body\" : {\n"
              "      \"sceneInfo\" : {\n"
              "         \"styles\" : null\n"
              "      }\n"
              "   }\n"
              "}\n",
              readBytes("D:/scenePath.json"));
    run(L"log('' + external.isVistaweaverRunning());");
    EXPECT_EQ(L"false", host.logLines().back());
    EXPECT_TRUE(messages.empty());
}

TEST_F(SceneBridge, UnwritableSceneDirectoryIsReportedTwiceAndNothingStarts)
{
    run(kFillTables);
    run(L"external.setParam('pakdir', 'Orbelune/Download/missing');\n"
        L"external.Init();\n"
        L"log('' + external.isVistaweaverRunning());\n");
    EXPECT_EQ(L"false", host.logLines().back());
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ(L"创建文件（D:/Orbelune/Download/missing/scenePath.json）失败! 通常是您没有写文件权限引起，"
              L"请尝试重置Internet Explorer设置!",
              messages[0].text);
    EXPECT_NE(std::wstring::npos, messages[1].text.find(L"D:/Orbelune/Download/missing/buf.txt"));
    EXPECT_EQ(L"创建文件失败", messages[1].caption);
}

TEST_F(SceneBridge, DiskInfoListsTheFixedDrivesWithTheirSizes)
{
    const std::uint64_t kGiB = 1ull << 30;
    MAP_TMPFS_OR_SKIP(drives, 'E', 100 * kGiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'F', 1536 * kGiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'G', 100 * kGiB, DriveType::cdrom);
    run(L"log(external.webGetDiskInfo());");
    // C: is the host's disk and D: a directory on it: their figures move while others write.
    const std::wstring text = host.logLines().back();
    const size_t mapped = text.find(L";E:");
    ASSERT_NE(std::wstring::npos, mapped) << text;
    EXPECT_EQ(0u, text.find(L"C:\\Total=")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L";D:\\Total=")) << text;
    EXPECT_EQ(L";E:\\Total=100.0GB,Remain=100.0GB;F:\\Total=1536.0GB,Remain=1536.0GB", text.substr(mapped));
}
