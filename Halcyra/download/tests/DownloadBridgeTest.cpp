// A download as the start page drives it: started, listed and polled from JavaScript
// (the system's JScript engine) through the launcher's script bridge.
#include "Halcyra/download/tests/DownloadTestFixture.h"
#include "Halcyra/launcher/Launcher.h"
#include "tests/support/DispatchedAction.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/Files.h"
#include "tests/support/HttpTestServer.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/MessageBox.h"
#include "framework/ScriptHost.h"

namespace {

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Announces 4096 bytes and sends none: the task stays in the table until it is stopped.
HttpReply silentReply() {
    HttpReply reply;
    reply.body = HttpReply::makeBody(4096);
    reply.stallAfter = 0;
    return reply;
}

class DownloadBridge : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(drives.map('D')) << drives.error();
        fw::setMessageBoxRecorder([this](const fw::MessageBoxCall& call) {
            ++messages;
            captions.push_back(call.caption);
            return IDOK;
        });
        launcher.initStartupState();
        launcher.dataDrive().setDrive("D");
        host.addObject(L"external", launcher.bridge());
    }
    void TearDown() override { fw::setMessageBoxRecorder(nullptr); }

    // log() would show a boolean as -1 or 0.
    bool run(const std::wstring& script) {
        const bool ok = host.run(L"function show(v) { log(String(v)); }\n" + script);
        EXPECT_TRUE(ok) << "line " << host.error().line << ": "
                        << std::string(host.error().description.begin(), host.error().description.end());
        return ok;
    }

    HttpTestServer server;
    testing_support::DriveFixture drives;
    int messages = 0;
    std::vector<std::wstring> captions;
    Launcher launcher;
    fw::ScriptHost host;
};

}  // namespace

TEST_F(DownloadBridge, PagePollsADownloadUntilItIsFinished) {
    HttpReply reply;
    reply.body = HttpReply::makeBody(256 * 1024);
    reply.trickleBytes = 32 * 1024;
    reply.trickleDelayMs = 40;
    server.setReply("/scenes/pkg.bin", reply);

    ASSERT_TRUE(run(
        L"external.setSavePath('Orbelune/Download');\n"
        L"external.setUnCompressPath('Orbelune/Scenes');\n"
        L"var name = 'pkg.bin', info = '', reports = 0, wrong = '';\n"
        L"show(external.download('" + wide(server.url("/scenes/pkg.bin")) + L"'));\n"
        L"show(external.getDownloadingFilenames());\n"
        L"for (var i = 0; i < 3000; ++i) {\n"
        L"  info = external.getDownloadProgressInfo(name);\n"
        L"  if (info == '1.0|0|0|0') break;\n"
        L"  if (info != '') {\n"
        L"    var part = info.split('|');\n"
        L"    if (part.length != 4 || parseFloat(part[0]) > 0.99 || part[3] != '262144') wrong = info;\n"
        L"    var fraction = external.getDownloadProgress(name);  // a float: 0.99 reads as 0.99000001\n"
        L"    if (fraction > 0.991 && fraction != 1) wrong = 'fraction ' + fraction;\n"
        L"    ++reports;\n"
        L"  }\n"
        L"  sleep(10);\n"
        L"}\n"
        L"show(info);\n"
        L"show(external.getDownloadProgress(name));\n"
        L"show(reports > 1);\n"
        L"show(wrong);\n"
        L"show(external.getDownloadingFilenames() === '');\n"
        L"show(external.isFileExist(name));\n"
        L"show(external.getDownloadProgress('never.bin'));\n"));
    const std::vector<std::wstring> expected = {L"0",    L"pkg.bin|", L"1.0|0|0|0", L"1",
                                                L"true", L"",         L"true",      L"true",
                                                L"-1"};
    EXPECT_EQ(host.logLines(), expected);
    EXPECT_EQ(*reply.body, testing_support::readBytes("D:/Orbelune/Download/pkg.bin"));
    EXPECT_TRUE(exists("D:/Orbelune/Scenes"));
    EXPECT_EQ(0, messages);
}

TEST_F(DownloadBridge, ClearDownloadStopsTheTasksAndLetsLaterOnesRun) {
    const HttpReply silent = silentReply();
    server.setReply("/a.bin", silent);
    server.setReply("/b.bin", silent);
    HttpReply small;
    small.body = HttpReply::makeBody(1000);
    server.setReply("/c.bin", small);

    ASSERT_TRUE(run(
        L"external.setSavePath('dl');\n"
        L"show(external.download('" + wide(server.url("/a.bin")) + L"'));\n"
        L"show(external.downloadAndRename('" + wide(server.url("/b.bin")) + L"', 'sub/b.bin'));\n"
        L"show(external.download('" + wide(server.url("/c.bin")) + L"'));\n"
        L"show(external.getDownloadingFilenames());\n"
        L"external.clearDownload();\n"
        L"show(external.getDownloadingFilenames() === '');\n"
        L"show(external.download('" + wide(server.url("/c.bin")) + L"'));\n"
        L"for (var i = 0; i < 3000 && external.getDownloadProgress('c.bin') != 1; ++i) sleep(10);\n"
        L"show(external.getDownloadProgressInfo('c.bin'));\n"));
    const std::vector<std::wstring> expected = {L"0",    L"0", L"-3", L"a.bin|sub/b.bin|",
                                                L"true", L"0", L"1.0|0|0|0"};
    EXPECT_EQ(host.logLines(), expected);
    // Stopped before any byte: nothing is finished.
    EXPECT_FALSE(exists("D:/dl/a.bin"));
    EXPECT_FALSE(exists("D:/dl/sub/b.bin"));
    EXPECT_EQ(*small.body, testing_support::readBytes("D:/dl/c.bin"));
}

TEST_F(DownloadBridge, PageUnpacksAnArchiveUnderPathsWithSpacesAndHearsOfADamagedOne) {
    // The extractor in the system-drive root; the archive holds top.txt and
    // nested/deeper/inner.txt.
    const std::string extractor = launcher.dataDrive().systemRoot() + "7z.exe";
    CreateDirectoryA(launcher.dataDrive().systemRoot().c_str(), nullptr);
    ASSERT_TRUE(CopyFileA("7z.exe", extractor.c_str(), FALSE));
    HttpReply archive;
    archive.body = std::make_shared<std::string>(testing_support::readBytes("download-test.7z"));
    ASSERT_GT(archive.body->size(), 200u);
    server.setReply("/scenes/scene.7z", archive);
    HttpReply damaged;
    damaged.body = std::make_shared<std::string>(archive.body->substr(0, archive.body->size() - 64));
    server.setReply("/scenes/damaged.7z", damaged);

    ASSERT_TRUE(run(
        L"function fetch(url, name) {\n"
        L"  show(external.downloadAndRename(url, name));\n"
        L"  for (var i = 0; i < 3000 && external.getDownloadingFilenames() != ''; ++i) sleep(10);\n"
        L"  show(external.getDownloadProgressInfo(name));\n"
        L"}\n"
        L"external.setSavePath('Orbelune/My Downloads');\n"
        L"external.setUnCompressPath('Orbelune/My Scenes');\n"
        L"fetch('" + wide(server.url("/scenes/scene.7z")) + L"', 'my scene.7z');\n"
        L"fetch('" + wide(server.url("/scenes/damaged.7z")) + L"', 'damaged scene.7z');\n"
        L"external.setSavePath('Orbelune/My Scenes');\n"
        L"show(external.isFileExist('top.txt'));\n"
        L"show(external.isFileExist('nested/deeper/inner.txt'));\n"));
    const std::vector<std::wstring> expected = {L"0", L"1.0|0|0|0", L"0", L"1.0|0|0|0", L"true", L"true"};
    EXPECT_EQ(host.logLines(), expected);
    // The first archive came out whole; the damaged one was reported.
    EXPECT_EQ(captions, std::vector<std::wstring>{L"文件解压出错"});
    EXPECT_EQ("top level\n", testing_support::readBytes("D:/Orbelune/My Scenes/top.txt"));
    DeleteFileA(extractor.c_str());
}

TEST_F(DownloadBridge, ClearDownloadAndClosingReturnPromptlyWhileServersKeepSilent) {
    // One server accepts and never answers, the other answers after 8 s.
    server.setReply("/never.bin", HttpReply::neverAnswering());
    server.setReply("/late.bin", HttpReply::answeringAfter(8000));

    ASSERT_TRUE(run(
        L"external.setSavePath('dl');\n"
        L"show(external.download('" + wide(server.url("/never.bin")) + L"'));\n"
        L"show(external.download('" + wide(server.url("/late.bin")) + L"'));\n"));
    // Both workers wait for their answers.
    ASSERT_TRUE(testing_support::eventually(
        [&] { return server.requestCount("/never.bin") == 1 && server.requestCount("/late.bin") == 1; }));
    ASSERT_TRUE(run(
        L"var start = new Date().getTime();\n"
        L"external.clearDownload();\n"
        L"show(new Date().getTime() - start < 2000);\n"
        L"show(external.getDownloadingFilenames() === '');\n"
        L"show(external.download('" + wide(server.url("/late.bin")) + L"'));\n"));
    const std::vector<std::wstring> expected = {L"0", L"0", L"true", L"true", L"0"};
    EXPECT_EQ(host.logLines(), expected);

    // The launcher closes while the last download still waits for its answer.
    ASSERT_TRUE(testing_support::eventually([&] { return server.requestCount("/late.bin") == 2; }));
    const DWORD before = GetTickCount();
    launcher.stopAllWork();
    EXPECT_LT(GetTickCount() - before, 2000u);
    EXPECT_EQ(0, messages);
}

TEST_F(DownloadBridge, PageNamesResolveOnlyUnderASavePathAndOnlyToPlainFiles) {
    const HttpReply silent = silentReply();
    server.setReply("/pkg/scene.pak", silent);
    server.setReply("/pkg/aux.pak", silent);
    // What the names would reach without a save path: the root of the current drive.
    testing_support::writeBytes("/x", "keep");

    ASSERT_TRUE(run(
        L"var url = '" + wide(server.url("/pkg/scene.pak")) + L"';\n"
        L"var version = '0123456789abcdef0123456789abcdef';\n"
        L"show(external.download(url));\n"
        L"show(external.isFileExist('x'));\n"
        L"external.deleteFile('x');\n"
        L"external.getFileSize('x');\n"
        L"show(external.getFileMD5('x'));\n"
        L"external.saveFileVersion('scene.pak', version);\n"
        L"show(external.checkFileVersion('scene.pak', version));\n"
        L"show(external.queryFileVersion('scene.pak'));\n"
        L"external.setSavePath('dl');\n"
        L"show(external.downloadAndRename(url, 'Sub/Scene.pak'));\n"
        L"show(external.downloadAndRename(url, 'sub\\\\scene.PAK'));\n"
        L"show(external.downloadAndRename(url, 'nul.pak'));\n"
        L"show(external.download('" + wide(server.url("/pkg/aux.pak")) + L"'));\n"
        L"var huge = 'q';\n"
        L"while (huge.length < 65536) huge += huge;\n"
        L"show(external.downloadAndRename(url, huge));\n"
        L"show(external.isFileExist(huge));\n"
        L"show(external.isFileExist('nul'));\n"
        L"show(external.getDownloadingFilenames());\n"
        L"external.clearDownload();\n"
        L"show(external.getDownloadingFilenames() === '');\n"));
    const std::vector<std::wstring> expected = {L"-2", L"false", L"",   L"false", L"",
                                                L"0",  L"-4",    L"-2", L"-2",    L"-2",
                                                L"false", L"false", L"Sub/Scene.pak|", L"true"};
    EXPECT_EQ(host.logLines(), expected);
    EXPECT_EQ("keep", testing_support::readBytes("/x"));
    EXPECT_FALSE(exists("/version.tab"));
    EXPECT_FALSE(exists("/scene.pak~"));
    EXPECT_FALSE(exists("D:/dl/q"));
    DeleteFileA("/x");
    EXPECT_EQ(0, messages);
}

TEST_F(DownloadBridge, PageCallsDuringTheStopStartNothing) {
    ASSERT_TRUE(drives.map('E')) << drives.error();
    // A download whose server goes away after 2000 bytes: its worker gives up and shows
    // its box, and the box is answered only once the page timer below has run (or after
    // 10 s), so the stop certainly has a worker to wait for while the timer comes.
    HttpReply early;
    early.body = HttpReply::makeBody(100000);
    early.closeAfter = 2000;
    HttpReply refused;
    refused.refuse = true;
    server.setHandler("/gone.bin", sequence({early, refused}));
    launcher.downloads().setReconnectPauses(1, 1);
    HttpReply small;
    small.body = HttpReply::makeBody(100);
    server.setReply("/small.bin", small);

    fw::UniqueHandle inBox(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    fw::UniqueHandle timerRan(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    fw::setMessageBoxRecorder([&](const fw::MessageBoxCall&) {
        SetEvent(inBox.get());
        WaitForSingleObject(timerRan.get(), 10000);
        return IDOK;
    });
    ASSERT_TRUE(run(
        L"external.setSavePath('dl');\n"
        L"show(external.download('" + wide(server.url("/gone.bin")) + L"'));\n"));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(inBox.get(), 30000));

    // While the stop waits for that worker, the page clears the downloads, starts new
    // ones and a drive move.
    // (A page timer firing while the launcher's stop dispatches the window's messages.)
    bool timerScriptRan = false;
    testing_support::DispatchedAction timer([&] {
        timerScriptRan = run(
            L"external.clearDownload();\n"
            L"show(external.download('" + wide(server.url("/small.bin")) + L"'));\n"
            L"show(external.downloadAndRename('" + wide(server.url("/small.bin")) + L"', 'other.bin'));\n"
            L"external.changeDisk('E');\n");
        SetEvent(timerRan.get());
    });
    ASSERT_TRUE(timer.post());
    const DWORD before = GetTickCount();
    launcher.stopAllWork();
    EXPECT_LT(GetTickCount() - before, 5000u);
    EXPECT_TRUE(timerScriptRan);

    // Refused with the bridge's failure result; nothing came or moved afterwards.
    ASSERT_EQ(host.logLines(), (std::vector<std::wstring>{L"0", L"-2", L"-2"}));
    Sleep(1000);
    ASSERT_TRUE(run(L"show(external.getDownloadingFilenames());\n"
                    L"show(external.getChangeDiskProgress());\n"));
    EXPECT_FALSE(exists("D:/dl/small.bin"));
    EXPECT_FALSE(exists("D:/dl/other.bin"));
    EXPECT_EQ(host.logLines(), (std::vector<std::wstring>{L"0", L"-2", L"-2", L"", L"0"}));
    EXPECT_EQ(launcher.dataDrive().drive(), "D");
}
