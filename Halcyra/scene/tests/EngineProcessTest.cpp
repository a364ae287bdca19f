#include "Halcyra/scene/EngineProcess.h"

#include "Halcyra/scene/SceneDescription.h"
#include "Halcyra/scene/tests/SceneTestSupport.h"
#include "Halcyra/common/Helpers.h"
#include "Halcyra/storage/DataDrive.h"
#include "framework/MessageBox.h"
#include "framework/UniqueHandle.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

using namespace scene_test;

const char kEngineName[] = "Vistaweaver-Win64-Shipping.exe";
const char kSceneDir[] = "D:/Orbelune/Download/pak";
const char kDataEngineDir[] = "D:/Orbelune/426";
const char kSystemEngineDir[] = "C:/Orbelune/426";
const std::string kExpectedCommand =
    "D:/Orbelune//426/Vistaweaver-Win64-Shipping.exe -WINDOWED -Web "
    "-scenePath=D:/Orbelune/Download/pak/scenePath.json -assetDir=D:/Orbelune/Download/pak/ ";

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool processEnded(DWORD processId)
{
    const fw::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return !process || WaitForSingleObject(process.get(), 5000) == WAIT_OBJECT_0;
}

// Data drive D with its scene directory, the drive record on C:, and the page's
// parameters for engine 4.26 and scene 57.
class EngineProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing_support::removeTree("C:/Orbelune");
        ASSERT_TRUE(drives.map('D')) << drives.error();
        ASSERT_TRUE(createDirectories("C:/Orbelune"));
        writeBytes("C:/Orbelune/disk.dat", "D");
        dataDrive.init();
        ASSERT_EQ("D", dataDrive.drive());

        scene.setParam("gamedir", std::string("C:/Program Files/Orbelune/") + kEngineName);
        scene.setParam("pakdir", "Orbelune/Download/pak");
        scene.setParam("clientmode", "1");
        scene.addJsonSceneInfo("ue4Version", "4.26");
        scene.addJsonSceneInfo("id", "57");
    }

    void TearDown() override
    {
        engine.terminate();
        terminateAllEngines();
        testing_support::removeTree("C:/Orbelune");
    }

    void installEngine(const std::string& directory)
    {
        ASSERT_TRUE(createDirectories(directory));
        ASSERT_TRUE(CopyFileA(besideThisProgram(kEngineName).c_str(), (directory + "/" + kEngineName).c_str(), FALSE));
    }

    // The stand-in's log: "<command line>|<current directory>", then "F5" per key.
    static std::string engineLog(const std::string& directory)
    {
        return readBytes(directory + "/" + kEngineName + ".log");
    }

    std::string startDirectory = [] {
        char dir[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, dir);
        return std::string(dir);
    }();
    testing_support::DriveFixture drives;
    DataDrive dataDrive;
    SceneDescription scene;
    EngineProcess engine;
};

}  // namespace

TEST_F(EngineProcessTest, StartsEngineWithRecordedCommandLine)
{
    installEngine(kDataEngineDir);
    ASSERT_TRUE(createDirectories(kSceneDir));
    MessageBoxLog messages;
    EXPECT_FALSE(engine.isRunning());
    EXPECT_EQ(0, engine.currentOpenSceneId(scene));

    engine.init(scene, dataDrive);
    ASSERT_TRUE(engine.started());
    EXPECT_TRUE(messages.calls.empty());
    EXPECT_EQ(kEngineName, engine.engineName());
    EXPECT_EQ(kSceneDir, scene.sceneDirectory());
    EXPECT_EQ(kExpectedCommand, readBytes(std::string(kSceneDir) + "/buf.txt"));
    EXPECT_TRUE(exists(std::string(kSceneDir) + "/scenePath.json"));

    // The engine works in its directory; the launcher's own current directory is untouched.
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_EQ(startDirectory, current);
    ASSERT_TRUE(eventually([] { return !engineLog(kDataEngineDir).empty(); }));
    EXPECT_EQ(kExpectedCommand + "|D:\\Orbelune\\426\r\n", engineLog(kDataEngineDir));

    EXPECT_TRUE(engine.isRunning());
    EXPECT_EQ(engine.processId(), findEngineProcess());
    EXPECT_EQ(57, engine.currentOpenSceneId(scene));

    const DWORD processId = engine.processId();
    engine.terminate();
    EXPECT_FALSE(engine.started());
    EXPECT_TRUE(processEnded(processId));
    EXPECT_FALSE(engine.isRunning());
    EXPECT_EQ(0, engine.currentOpenSceneId(scene));
}

TEST_F(EngineProcessTest, MissingEngineOnDataDriveFallsBackToSystemRoot)
{
    installEngine(kSystemEngineDir);
    ASSERT_TRUE(createDirectories(kSceneDir));
    scene.setParam("param", "-level=2");
    engine.init(scene, dataDrive);
    ASSERT_TRUE(engine.started());

    const std::string expected =
        "C:/Orbelune//426/Vistaweaver-Win64-Shipping.exe -WINDOWED -Web "
        "-scenePath=D:/Orbelune/Download/pak/scenePath.json -assetDir=D:/Orbelune/Download/pak/ -level=2";
    EXPECT_EQ(expected, readBytes(std::string(kSceneDir) + "/buf.txt"));
    ASSERT_TRUE(eventually([] { return !engineLog(kSystemEngineDir).empty(); }));
    EXPECT_EQ(expected + "|C:\\Orbelune\\426\r\n", engineLog(kSystemEngineDir));
}

TEST_F(EngineProcessTest, EngineMissingEverywhereIsReported)
{
    ASSERT_TRUE(createDirectories(kSceneDir));
    MessageBoxLog messages;
    engine.init(scene, dataDrive);
    EXPECT_FALSE(engine.started());
    // The system root's copy is named whether it exists or not.
    EXPECT_EQ(0u, readBytes(std::string(kSceneDir) + "/buf.txt").find("C:/Orbelune//426/"));
    ASSERT_EQ(1u, messages.calls.size());
    EXPECT_EQ(nullptr, messages.calls[0].owner);
    EXPECT_EQ(L"CreateProcess Error:2", messages.calls[0].text);
    EXPECT_EQ(L"Orbelune", messages.calls[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), messages.calls[0].type);
}

TEST_F(EngineProcessTest, UncreatableSceneFilesAreReportedAndNothingStarts)
{
    installEngine(kDataEngineDir);  // but no scene directory
    MessageBoxLog messages;
    engine.init(scene, dataDrive);
    EXPECT_FALSE(engine.started());
    EXPECT_FALSE(engine.isRunning());
    ASSERT_EQ(2u, messages.calls.size());
    EXPECT_NE(std::wstring::npos, messages.calls[0].text.find(L"（D:/Orbelune/Download/pak/scenePath.json）"));
    EXPECT_EQ(L"创建文件（D:/Orbelune/Download/pak/buf.txt）失败! 通常是您没有写文件权限引起，"
              L"请尝试重置Internet Explorer设置!",
              messages.calls[1].text);
    EXPECT_EQ(L"创建文件失败", messages.calls[1].caption);
}

TEST_F(EngineProcessTest, OnlyClientModeOneStartsAndAVersionIsNeeded)
{
    installEngine(kDataEngineDir);
    ASSERT_TRUE(createDirectories(kSceneDir));
    MessageBoxLog messages;

    scene.setParam("clientmode", "0");
    engine.init(scene, dataDrive);
    EXPECT_TRUE(exists(std::string(kSceneDir) + "/scenePath.json"));
    EXPECT_FALSE(exists(std::string(kSceneDir) + "/buf.txt"));
    EXPECT_FALSE(engine.started());

    SceneDescription noVersion;
    noVersion.setParam("pakdir", "Orbelune/Download/other");
    noVersion.setParam("clientmode", "1");
    ASSERT_TRUE(createDirectories("D:/Orbelune/Download/other"));
    engine.init(noVersion, dataDrive);
    EXPECT_TRUE(exists("D:/Orbelune/Download/other/scenePath.json"));
    EXPECT_FALSE(exists("D:/Orbelune/Download/other/buf.txt"));
    EXPECT_FALSE(engine.started());
    EXPECT_FALSE(engine.isRunning());
    EXPECT_TRUE(messages.calls.empty());
}

TEST_F(EngineProcessTest, TransmitMaterialPostsF5ToTheEngineWindow)
{
    EXPECT_FALSE(engine.transmitMaterial());
    installEngine(kDataEngineDir);
    ASSERT_TRUE(createDirectories(kSceneDir));
    engine.init(scene, dataDrive);
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(eventually([] { return !engineLog(kDataEngineDir).empty(); }));  // window is up

    EXPECT_TRUE(engine.transmitMaterial());
    ASSERT_TRUE(eventually([] { return engineLog(kDataEngineDir).find("\r\nF5\r\n") != std::string::npos; }));
    EXPECT_TRUE(engine.transmitMaterial());
    EXPECT_TRUE(eventually([] {
        const std::string log = engineLog(kDataEngineDir);
        return log.size() > 8 && log.compare(log.size() - 8, 8, "F5\r\nF5\r\n") == 0;
    }));
}

TEST_F(EngineProcessTest, TerminateEndsOnlyTheRecordedEngine)
{
    installEngine(kDataEngineDir);
    ASSERT_TRUE(createDirectories(kSceneDir));

    // An engine someone else started is seen but never ended by the launcher.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION foreign = {};
    std::string command = std::string(kDataEngineDir) + "/" + kEngineName;
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &foreign));
    const fw::UniqueHandle foreignThread(foreign.hThread);
    const fw::UniqueHandle foreignProcess(foreign.hProcess);
    EXPECT_TRUE(eventually([this] { return engine.isRunning(); }));
    engine.terminate();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(foreignProcess.get(), 200));

    // Two starts: the first keeps running unrecorded, the second is the one ended.
    engine.init(scene, dataDrive);
    const DWORD first = engine.processId();
    engine.init(scene, dataDrive);
    const DWORD second = engine.processId();
    ASSERT_TRUE(engine.started());
    ASSERT_NE(first, second);
    engine.terminate();
    EXPECT_TRUE(processEnded(second));
    const fw::UniqueHandle firstProcess(OpenProcess(SYNCHRONIZE, FALSE, first));
    ASSERT_TRUE(firstProcess);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(firstProcess.get(), 200));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(foreignProcess.get(), 0));
}

TEST_F(EngineProcessTest, LongExtraParametersReachTheEngineWhole)
{
    installEngine(kDataEngineDir);
    ASSERT_TRUE(createDirectories(kSceneDir));
    // Beyond 1024 characters in all: a cut command line would lose the page's last options.
    const std::string extra = "-options=" + std::string(1500, 'x') + " -last";
    scene.setParam("param", extra);
    engine.init(scene, dataDrive);
    ASSERT_TRUE(engine.started());
    EXPECT_EQ(kExpectedCommand + extra, readBytes(std::string(kSceneDir) + "/buf.txt"));
    ASSERT_TRUE(eventually([] { return !engineLog(kDataEngineDir).empty(); }));
    EXPECT_EQ(kExpectedCommand + extra + "|D:\\Orbelune\\426\r\n", engineLog(kDataEngineDir));
}
