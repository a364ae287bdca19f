// The engine update driven from page script through the launcher's bridge: the check
// against an update server on 127.0.0.1, the archive download, its extraction by the real
// 7-Zip and the installation on the download worker.
#include "Halcyra/launcher/Launcher.h"
#include "Halcyra/common/Helpers.h"
#include "Halcyra/update/EngineExit.h"
#include "Halcyra/update/tests/RunningEngine.h"
#include "Halcyra/update/tests/TestFiles.h"
#include "framework/MessageBox.h"
#include "framework/ScriptHost.h"
#include "framework/UniqueHandle.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/HeldMessageBox.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using testing_support::DriveFixture;
using testing_support::TempDir;
namespace files = test_files;

const std::string kSystemRoot = "C:/Orbelune/";
const std::string kDataRoot = "D:/Orbelune/";
const std::string kExtracted = "D:/Orbelune/UpdateFiles/";
const std::string kInstalledVersion = "C:/Orbelune/Vistaweaver.ver";
const std::string kThumbnail = "D:/Orbelune/Download/download/matThumnbNail/m1/t.png";
const char kPrerequisites[] = "UE4PrereqSetup_x64.exe";
const char kArchivePassword[] = "-pkol_pz@pz#kol";
const std::string kServerVersion = "2020080100";
// Without a main window the update's boxes stay in front of every other window.
const UINT kInFront = MB_SETFOREGROUND | MB_TOPMOST;

bool isQuestion(const fw::MessageBoxCall& call)
{
    return (call.type & MB_TYPEMASK) == MB_YESNO;
}

// The boxes shown, one line each, for a failure message.
std::wstring said(const std::vector<fw::MessageBoxCall>& calls)
{
    std::wstring lines;
    for (const fw::MessageBoxCall& call : calls)
        lines += call.caption + L": " + call.text + L"\n";
    return lines;
}

// Every file below root, by path relative to it, with its bytes; "bak" trees left out.
void snapshot(const std::string& root, const std::string& relative,
              std::map<std::string, std::string>& tree)
{
    WIN32_FIND_DATAA entry;
    fw::UniqueFindHandle find(FindFirstFileA((root + relative + "*").c_str(), &entry));
    if (!find)
        return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == ".." || (relative.empty() && name == "bak"))
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            snapshot(root, relative + name + "/", tree);
        else
            tree[relative + name] = files::read(root + relative + name);
    } while (FindNextFileA(find.get(), &entry));
}

std::map<std::string, std::string> snapshot(const std::string& root)
{
    std::map<std::string, std::string> tree;
    snapshot(root, std::string(), tree);
    return tree;
}

// The paths whose bytes differ between two snapshots, or that only one of them holds.
std::vector<std::string> differences(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after)
{
    std::vector<std::string> paths;
    for (const auto& file : before) {
        const auto found = after.find(file.first);
        if (found == after.end() || found->second != file.second)
            paths.push_back(file.first);
    }
    for (const auto& file : after)
        if (before.count(file.first) == 0)
            paths.push_back(file.first + " (added)");
    return paths;
}

std::string besideTests(const std::string& name)
{
    char module[MAX_PATH];
    const std::string self(module, GetModuleFileNameA(nullptr, module, MAX_PATH));
    return self.substr(0, self.find_last_of('\\') + 1) + name;
}

// A password-protected engine archive made with the real 7-Zip (through the 7z.exe
// stand-in) from files given by relative path; "" when 7-Zip failed.
std::string makeArchive(const std::map<std::string, std::string>& content)
{
    TempDir staging;
    for (const auto& file : content)
        files::write(staging / ("tree\\" + file.first), file.second);
    std::string command = "\"" + besideTests("7z.exe") + "\" a -bso0 -bsp0 " + kArchivePassword +
                          " -mhe=on \"" + (staging / "engine.7z") + "\" \"" +
                          (staging / "tree\\*") + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return std::string();
    const fw::UniqueHandle processHandle(process.hProcess);
    const fw::UniqueHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle.get(), 60000);
    DWORD exitCode = 1;
    GetExitCodeProcess(processHandle.get(), &exitCode);
    return exitCode == 0 ? files::read(staging / "engine.7z") : std::string();
}

std::wstring replaceFailedText(const std::string& target, const std::string& source)
{
    return L"错误:无法更新文件[" + toWide(target) +
           L"],请确认文件是否被锁定(请关闭程序后手动拷贝过去)," + toWide(source);
}

// A headless main window on data drive D with the system-drive root on C:, the extractor
// in place and an update server whose version file says kServerVersion.
class EngineUpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing_support::removeTree(kSystemRoot);
        ASSERT_TRUE(CreateDirectoryA(kSystemRoot.c_str(), nullptr));
        files::write(kSystemRoot + "disk.dat", "D");
        ASSERT_TRUE(CopyFileA(besideTests("7z.exe").c_str(), (kSystemRoot + "7z.exe").c_str(),
                              FALSE));
        ASSERT_TRUE(drives.map('D')) << drives.error();
        answerAll(IDOK);
        launcher.initStartupState();
        host.addObject(L"external", launcher.bridge());
        serveVersion(kServerVersion + " build 12\r\nnotes\r\n");
    }
    void TearDown() override
    {
        releaseArchive();
        launcher.stopAllWork();
        fw::setMessageBoxRecorder(nullptr);
        testing_support::removeTree(kSystemRoot);
    }

    void serveVersion(const std::string& text)
    {
        version.body = std::make_shared<std::string>(text);
    }
    void serveArchive(const std::map<std::string, std::string>& content)
    {
        archive.body = std::make_shared<std::string>(makeArchive(content));
        ASSERT_FALSE(archive.body->empty()) << "7-Zip could not make the archive";
    }
    // Answers every message box so from now on, recording it (workers show them too).
    void answerAll(int answer)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            shown.clear();
        }
        fw::setMessageBoxRecorder([this, answer](const fw::MessageBoxCall& call) {
            std::lock_guard<std::mutex> guard(lock);
            shown.push_back(call);
            return answer;
        });
    }
    std::vector<fw::MessageBoxCall> messages()
    {
        std::lock_guard<std::mutex> guard(lock);
        return shown;
    }

    // The expression's value as script text would show it.
    std::wstring text(const std::wstring& expression)
    {
        fw::Variant value;
        EXPECT_TRUE(host.evaluate(L"String(" + expression + L")", value))
            << host.error().description;
        std::wstring result;
        fw::variantToString(value.get(), result);
        return result;
    }
    // The page's check, with the server's directory as base URL. Every check gets a
    // server of its own.
    bool check()
    {
        server.reset(new HttpTestServer);
        server->setReply("/upd/Vistaweaver.ver", version);
        const HANDLE released = archiveReleased.get();
        server->setHandler("/upd/Vistaweaver.7z", [reply = archive, released](const HttpRequest&) {
            WaitForSingleObject(released, 20000);
            return reply;
        });
        return text(L"external.versionCheckAndUpdate('" + toWide(server->url("/upd/")) + L"')") ==
               L"true";
    }
    float progress() { return std::stof(text(L"external.getVersionUpdateProgress()")); }

    // The archive is answered only once releaseArchive() is called (or after 20 s): while
    // it is held the update certainly waits for its archive, and the test acts meanwhile.
    void holdArchive() { ResetEvent(archiveReleased.get()); }
    void releaseArchive() { SetEvent(archiveReleased.get()); }

    // Polls as a page does until 1.0 or -1.0. Whether the installation had written the
    // version file when 1.0 was first seen goes to installedAtOne.
    std::vector<float> pollToEnd()
    {
        std::vector<float> seen;
        for (int polls = 0; polls < 6000; ++polls) {
            const float value = progress();
            if (seen.empty() || seen.back() != value)
                seen.push_back(value);
            if (value == 1.0f) {
                installedAtOne = files::read(kInstalledVersion).rfind(kServerVersion, 0) == 0;
                break;
            }
            // After a check that started an update, -1.0 is its end.
            if (value == -1.0f)
                break;
            Sleep(10);
        }
        return seen;
    }

    std::size_t archiveRequests() { return server->requestCount("/upd/Vistaweaver.7z"); }

    HttpReply version;
    HttpReply archive;
    const fw::UniqueHandle archiveReleased{CreateEventA(nullptr, TRUE, TRUE, nullptr)};
    std::unique_ptr<HttpTestServer> server;
    DriveFixture drives;
    Launcher launcher;
    fw::ScriptHost host;
    bool installedAtOne = false;

private:
    std::mutex lock;
    std::vector<fw::MessageBoxCall> shown;
};

TEST_F(EngineUpdateTest, FirstInstallationThroughThePage)
{
    const std::string installer = files::read(besideTests(kPrerequisites));
    serveArchive({{"Launcher.dat", "new launcher data"},
                  {"420/models/a.pak", "new engine pak"},
                  {"420/top.ini", "new ini"},
                  {kPrerequisites, installer}});
    files::write(kSystemRoot + "Launcher.dat", "old launcher data");
    files::write(kDataRoot + "420/models/a.pak", "old engine pak");
    files::write(kThumbnail, "cached");
    EXPECT_EQ(progress(), -1.0f);

    EXPECT_TRUE(check());
    const std::vector<float> seen = pollToEnd();

    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 1.0f);
    for (std::size_t i = 0; i + 1 < seen.size(); ++i)
        EXPECT_TRUE(seen[i] >= 0.0f && seen[i] < 1.0f) << seen[i];
    EXPECT_TRUE(installedAtOne) << "1.0 was reported before the installation had ended";

    // Top-level files go to the system-drive root, "4..." directories to the data root.
    EXPECT_EQ(files::read(kSystemRoot + "Launcher.dat"), "new launcher data");
    EXPECT_EQ(files::read(kSystemRoot + "bak/Launcher.dat"), "old launcher data");
    EXPECT_EQ(files::read(kDataRoot + "420/models/a.pak"), "new engine pak");
    EXPECT_EQ(files::read(kDataRoot + "bak/420/models/a.pak"), "old engine pak");
    EXPECT_EQ(files::read(kDataRoot + "420/top.ini"), "new ini");
    EXPECT_FALSE(files::exists(kSystemRoot + "420"));
    EXPECT_EQ(files::read(kSystemRoot + kPrerequisites), installer);

    // The prerequisites ran from the extraction directory, before their own installation,
    // working in the system-drive root; the launcher's own directory stayed as it was.
    EXPECT_EQ(files::read(kExtracted + kPrerequisites + ".log"),
              "D:/Orbelune/UpdateFiles/\\UE4PrereqSetup_x64.exe /install /passive /quiet "
              "/norestart|C:\\Orbelune\r\n");
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_EQ(besideTests(std::string()), std::string(current) + "\\");
    for (const char* installed : {"Launcher.dat", "420/models/a.pak", "420/top.ini", kPrerequisites})
        EXPECT_FALSE(files::exists(kExtracted + installed)) << installed;

    EXPECT_FALSE(files::exists(kThumbnail));
    EXPECT_TRUE(files::exists("D:/Orbelune/Download/download/matThumnbNail/m1"));
    EXPECT_EQ(files::read(kInstalledVersion), kServerVersion + " build 12\r\nnotes\r\n");
    EXPECT_TRUE(files::exists("D:/Orbelune/UpdateDown/Vistaweaver.7z"));
    // The members change only with the next check.
    EXPECT_EQ(text(L"external.getLocalVersion()"), L"");
    EXPECT_EQ(text(L"external.getServerVersion()"), toWide(kServerVersion));
    EXPECT_TRUE(messages().empty());
}

TEST_F(EngineUpdateTest, ThumbnailCacheIsClearedUpToTheLastOldVersionOnly)
{
    serveArchive({{"Launcher.dat", "data"}, {kPrerequisites, "not run: an engine is installed"}});
    for (const auto& localCleared : {std::make_pair("2020072000", true),
                                     std::make_pair("2020072001", false)}) {
        files::write(kInstalledVersion, localCleared.first);
        files::write(kThumbnail, "cached");

        EXPECT_TRUE(check());
        EXPECT_EQ(pollToEnd().back(), 1.0f);

        EXPECT_EQ(files::exists(kThumbnail), !localCleared.second) << localCleared.first;
        EXPECT_EQ(files::read(kSystemRoot + "bak/Vistaweaver.ver"), localCleared.first);
        EXPECT_EQ(text(L"external.getLocalVersion()"), toWide(localCleared.first));
    }
    EXPECT_FALSE(files::exists(kExtracted + kPrerequisites + ".log"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(EngineUpdateTest, VersionRules)
{
    serveArchive({{"Launcher.dat", "data"}});
    struct Case {
        const char* local;
        const char* server;
        bool updates;
    };
    const Case cases[] = {
        {"2020080100", "2020080100", false},  // equal texts
        {"2020080100", "2019010100", false},  // the oldest version a server may offer
        {"2020080100", "2019010101", true},   // older than installed, but different
        {"2020080100", "not a number", false},
    };
    for (const Case& c : cases) {
        files::write(kInstalledVersion, c.local);
        serveVersion(c.server);

        EXPECT_EQ(check(), c.updates) << c.local << " / " << c.server;
        EXPECT_EQ(text(L"external.getServerVersion()"),
                  toWide(std::string(c.server).substr(0, std::string(c.server).find(' '))));
        if (c.updates) {
            EXPECT_EQ(pollToEnd().back(), 1.0f);
            EXPECT_EQ(files::read(kInstalledVersion), c.server);
        } else {
            EXPECT_EQ(archiveRequests(), 0u) << c.server;
            EXPECT_EQ(files::read(kInstalledVersion), c.local);
        }
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(EngineUpdateTest, WithoutAnInstalledVersionEvenAnEmptyServerVersionUpdates)
{
    serveArchive({{"Launcher.dat", "data"}});
    serveVersion("");

    EXPECT_TRUE(check());
    EXPECT_EQ(text(L"external.getServerVersion()"), L"");
    EXPECT_EQ(pollToEnd().back(), 1.0f);
    EXPECT_EQ(files::read(kSystemRoot + "Launcher.dat"), "data");
    // The downloaded version file is installed as it came.
    EXPECT_EQ(files::read(kInstalledVersion), "");
}

TEST_F(EngineUpdateTest, RunningEngineMustBeClosedFirst)
{
    serveArchive({{"Launcher.dat", "data"}});
    files::write(kInstalledVersion, "2020010100");
    test_files::RunningEngine engine;
    ASSERT_TRUE(engine.started());

    answerAll(IDNO);
    EXPECT_FALSE(check());
    std::vector<fw::MessageBoxCall> asked = messages();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].type, MB_OK | kInFront);
    EXPECT_EQ(asked[0].caption, L"Vistaweaver版本升级");
    EXPECT_EQ(asked[1].type, MB_YESNO | kInFront);
    EXPECT_EQ(asked[1].caption, L"Lumaro版本升级");
    EXPECT_EQ(archiveRequests(), 0u);
    EXPECT_EQ(progress(), -1.0f);

    // Yes waits on; the engine is force-closed meanwhile and the update goes ahead.
    fw::setMessageBoxRecorder([](const fw::MessageBoxCall& call) {
        if (isQuestion(call))
            forceCloseEngine();
        return isQuestion(call) ? IDYES : IDOK;
    });
    EXPECT_TRUE(check());
    EXPECT_TRUE(engine.ended(10000));
    EXPECT_EQ(pollToEnd().back(), 1.0f);
    EXPECT_EQ(files::read(kSystemRoot + "Launcher.dat"), "data");
}

TEST_F(EngineUpdateTest, FailureMidwayTakesEveryInstalledFileBack)
{
    // Replaced and added files on both roots, and the archive's own copy of the version
    // file. The locked engine file fails wherever the listing puts it; the locked version
    // file, and the downloaded one locked while the archive is on its way, fail last, after
    // every other file went in.
    serveArchive({{"Launcher.dat", "new launcher"},
                  {"vistaweaver.VER", kServerVersion + " from the archive"},
                  {"added.dat", "new file"},
                  {"sub/b.dat", "new b"},
                  {"sub/locked.dat", "new locked"},
                  {"420/c.pak", "new c"},
                  {"420/models/added.pak", "new added"},
                  {"424/d.pak", "new d"}});
    files::write(kInstalledVersion, "2020010100");
    files::write(kSystemRoot + "Launcher.dat", "old launcher");
    files::write(kSystemRoot + "sub/b.dat", "old b");
    files::write(kSystemRoot + "sub/locked.dat", "old locked");
    files::write(kDataRoot + "420/c.pak", "old c");
    files::write(kDataRoot + "424/d.pak", "old d");
    files::write(kThumbnail, "cached");
    const auto systemBefore = snapshot(kSystemRoot);
    const auto dataBefore = snapshot(kDataRoot);

    const std::string downloadedVersion = "D:/Orbelune/UpdateDown/Vistaweaver.ver";
    for (const auto& lockedFile :
         {std::make_pair(kSystemRoot + "sub/locked.dat",
                         replaceFailedText(kSystemRoot + "sub\\locked.dat", kExtracted + "sub\\locked.dat")),
          std::make_pair(kInstalledVersion, replaceFailedText(kInstalledVersion, downloadedVersion)),
          std::make_pair(downloadedVersion, replaceFailedText(kInstalledVersion, downloadedVersion))}) {
        SCOPED_TRACE(lockedFile.first);
        answerAll(IDOK);
        // In use by another program: it cannot be replaced (or read). The downloaded version
        // file exists only once the check has fetched it.
        const auto lock = [&] {
            return fw::UniqueHandle(CreateFileA(lockedFile.first.c_str(), GENERIC_READ, 0,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
        };
        const bool lockAfterCheck = lockedFile.first == downloadedVersion;
        fw::UniqueHandle locked;
        if (!lockAfterCheck)
            locked = lock();

        holdArchive();
        EXPECT_TRUE(check());
        if (lockAfterCheck)
            locked = lock();
        releaseArchive();
        ASSERT_TRUE(locked);
        EXPECT_EQ(pollToEnd().back(), -1.0f);
        locked.reset();

        const std::vector<fw::MessageBoxCall> shown = messages();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, lockedFile.second);
        EXPECT_EQ(shown[0].caption, L"版本更新");
        // Both roots hold the old installation byte for byte, and nothing the update added.
        EXPECT_EQ(differences(systemBefore, snapshot(kSystemRoot)), std::vector<std::string>());
        auto dataAfter = snapshot(kDataRoot);  // apart from the update's own directories
        for (auto it = dataAfter.begin(); it != dataAfter.end();)
            it = it->first.rfind("Update", 0) == 0 ? dataAfter.erase(it) : std::next(it);
        EXPECT_EQ(differences(dataBefore, dataAfter), std::vector<std::string>());
        // The extracted files are all still there for the next attempt.
        for (const char* extracted : {"Launcher.dat", "added.dat", "sub/b.dat", "sub/locked.dat",
                                      "420/c.pak", "420/models/added.pak", "424/d.pak"})
            EXPECT_TRUE(files::exists(kExtracted + extracted)) << extracted;
    }
}

TEST_F(EngineUpdateTest, FilesLeftInTheExtractionDirectoryAreNotInstalled)
{
    // Left by an earlier update that failed, or put there by hand.
    serveArchive({{"Launcher.dat", "new launcher"}});
    files::write(kInstalledVersion, "2020010100");
    files::write(kExtracted + "stale.dat", "left over");
    files::write(kExtracted + "420/stale.pak", "left over");

    EXPECT_TRUE(check());
    EXPECT_EQ(pollToEnd().back(), 1.0f);

    EXPECT_EQ(files::read(kSystemRoot + "Launcher.dat"), "new launcher");
    EXPECT_FALSE(files::exists(kSystemRoot + "stale.dat"));
    EXPECT_FALSE(files::exists(kDataRoot + "420/stale.pak"));
    EXPECT_FALSE(files::exists(kExtracted + "stale.dat"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(EngineUpdateTest, ClosingDuringTheExtractionEndsTheExtractor)
{
    serveArchive({{"Launcher.dat", "new launcher"}});
    files::write(kInstalledVersion, "2020010100");
    // An extractor that never ends by itself: the engine stand-in under its name.
    ASSERT_TRUE(CopyFileA(besideTests(test_files::RunningEngine::kName).c_str(),
                          (kSystemRoot + "7z.exe").c_str(), FALSE));
    EXPECT_TRUE(check());
    DWORD extractor = 0;
    for (int polls = 0; polls < 1000 && extractor == 0; ++polls, Sleep(10))
        extractor = findProcessByName(L"7z.exe");
    ASSERT_NE(extractor, 0u);
    // Should the stop wait for the extractor, it is ended after 10 s to end the test.
    fw::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, extractor));
    std::thread rescue([&process] {
        if (WaitForSingleObject(process.get(), 10000) == WAIT_TIMEOUT)
            TerminateProcess(process.get(), 1);
    });

    const DWORD before = GetTickCount();
    launcher.stopAllWork();
    const DWORD took = GetTickCount() - before;
    rescue.join();
    EXPECT_LT(took, 5000u);

    EXPECT_EQ(findProcessByName(L"7z.exe"), 0u);
    EXPECT_EQ(progress(), -1.0f);
    EXPECT_EQ(files::read(kInstalledVersion), "2020010100");
    EXPECT_FALSE(files::exists(kSystemRoot + "Launcher.dat"));
    // A stop is no failure to report.
    EXPECT_TRUE(messages().empty());
}

TEST_F(EngineUpdateTest, ArchiveRefusedByTheDownloadLimitIsNoUpdate)
{
    serveArchive({{"Launcher.dat", "data"}});
    HttpReply stalled;
    stalled.body = HttpReply::makeBody(1 << 20);
    stalled.stallAfter = 1024;
    HttpTestServer pageServer;
    pageServer.setReply("/a.pak", stalled);
    pageServer.setReply("/b.pak", stalled);
    text(L"external.setSavePath('Orbelune/Download')");
    EXPECT_EQ(text(L"external.download('" + toWide(pageServer.url("/a.pak")) + L"')"), L"0");
    EXPECT_EQ(text(L"external.download('" + toWide(pageServer.url("/b.pak")) + L"')"), L"0");

    // Nothing installed: every server version is an update, but two downloads run.
    EXPECT_FALSE(check());
    EXPECT_EQ(archiveRequests(), 0u);
    EXPECT_EQ(progress(), -1.0f);
    text(L"external.clearDownload()");
}

TEST_F(EngineUpdateTest, DeclinedOrStoppedWaitForTheEngineInstallsNothing)
{
    serveArchive({{"Launcher.dat", "new launcher"}});
    files::write(kInstalledVersion, "2020010100");
    files::write(kSystemRoot + "Launcher.dat", "old launcher");

    // The engine is started while the archive is held back.
    answerAll(IDNO);
    {
        holdArchive();
        EXPECT_TRUE(check());
        test_files::RunningEngine engine;
        ASSERT_TRUE(engine.started());
        releaseArchive();
        EXPECT_EQ(pollToEnd().back(), -1.0f);
        const std::vector<fw::MessageBoxCall> asked = messages();
        ASSERT_EQ(asked.size(), 2u) << said(asked);
        EXPECT_TRUE(isQuestion(asked[1]));
    }
    EXPECT_EQ(files::read(kSystemRoot + "Launcher.dat"), "old launcher");
    EXPECT_EQ(files::read(kInstalledVersion), "2020010100");

    // The launcher closes while the installation waits for the engine to be closed.
    std::atomic<bool> told{false};
    fw::setMessageBoxRecorder([&told](const fw::MessageBoxCall& call) {
        told = true;
        return isQuestion(call) ? IDYES : IDOK;
    });
    holdArchive();
    EXPECT_TRUE(check());
    test_files::RunningEngine engine;
    ASSERT_TRUE(engine.started());
    releaseArchive();
    for (int polls = 0; polls < 3000 && !told; ++polls)
        Sleep(10);
    ASSERT_TRUE(told);
    const DWORD start = GetTickCount();
    launcher.stopAllWork();
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ(progress(), -1.0f);
    EXPECT_EQ(files::read(kSystemRoot + "Launcher.dat"), "old launcher");
    EXPECT_EQ(files::read(kInstalledVersion), "2020010100");
    EXPECT_FALSE(engine.ended(0)) << "an engine this launcher did not start is left running";
}

TEST_F(EngineUpdateTest, ArchiveThatDidNotComeOutWholeInstallsNothing)
{
    files::write(kInstalledVersion, "2020010100");
    // Left by an earlier installation that stopped; not part of this update.
    files::write(kExtracted + "Leftover.dat", "old");

    // No extractor at all: the download worker says so.
    DeleteFileA((kSystemRoot + "7z.exe").c_str());
    serveArchive({{"Launcher.dat", "data"}});
    EXPECT_TRUE(check());
    EXPECT_EQ(pollToEnd().back(), -1.0f);
    const std::vector<fw::MessageBoxCall> shown = messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, L"文件解压出错");

    // An extractor that fails on a damaged archive.
    ASSERT_TRUE(CopyFileA(besideTests("7z.exe").c_str(), (kSystemRoot + "7z.exe").c_str(), FALSE));
    archive.body = std::make_shared<std::string>(files::pattern(4096));
    EXPECT_TRUE(check());
    EXPECT_EQ(pollToEnd().back(), -1.0f);

    EXPECT_EQ(files::read(kInstalledVersion), "2020010100");
    EXPECT_FALSE(files::exists(kSystemRoot + "Leftover.dat"));
    // Emptied out before the archive came: nothing of an earlier attempt is mixed in.
    EXPECT_FALSE(files::exists(kExtracted + "Leftover.dat"));
    EXPECT_FALSE(files::exists(kSystemRoot + "Launcher.dat"));
    // The failed extraction is reported as well.
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages()[1].caption, L"文件解压出错");
}

TEST_F(EngineUpdateTest, PagePathsAndTheUpdateDirectoriesStayApart)
{
    serveArchive({{"Launcher.dat", "new launcher data"}});
    files::write(kInstalledVersion, "2020010100");
    files::write("D:/before/marker", "page file");
    files::write("D:/scene/s1.pak", "scene package");
    files::write("D:/scene/version.tab", "scene versions");

    text(L"external.setSavePath('before')");
    text(L"external.setUnCompressPath('before')");
    // The page acts while the archive is held back.
    holdArchive();
    EXPECT_TRUE(check());
    // The check left the page's paths as they were.
    EXPECT_EQ(text(L"external.isFileExist('marker')"), L"true");
    ASSERT_GE(progress(), 0.0f);
    ASSERT_LT(progress(), 1.0f);
    // The page opens a scene meanwhile.
    text(L"external.setSavePath('scene')");
    text(L"external.setUnCompressPath('scene')");
    releaseArchive();
    EXPECT_EQ(pollToEnd().back(), 1.0f);

    EXPECT_TRUE(installedAtOne);
    EXPECT_EQ(files::read(kInstalledVersion), kServerVersion + " build 12\r\nnotes\r\n");
    EXPECT_EQ(files::read(kSystemRoot + "Launcher.dat"), "new launcher data");
    EXPECT_TRUE(files::exists("D:/Orbelune/UpdateDown/Vistaweaver.7z"));
    // Nothing of the update went near the scene directory, nor anything of it elsewhere.
    EXPECT_EQ(files::read("D:/scene/s1.pak"), "scene package");
    EXPECT_EQ(files::read("D:/scene/version.tab"), "scene versions");
    EXPECT_FALSE(files::exists("D:/scene/Launcher.dat"));
    EXPECT_FALSE(files::exists("D:/scene/Vistaweaver.7z"));
    EXPECT_FALSE(files::exists(kSystemRoot + "s1.pak"));
    EXPECT_FALSE(files::exists(kSystemRoot + "version.tab"));
    EXPECT_EQ(text(L"external.isFileExist('s1.pak')"), L"true");
    EXPECT_TRUE(messages().empty());
}

TEST_F(EngineUpdateTest, DriveMoveAndEngineUpdateNeverRunTogether)
{
    ASSERT_TRUE(drives.map('E')) << drives.error();
    serveArchive({{"Launcher.dat", "new launcher data"}});
    files::write(kInstalledVersion, "2020010100");
    files::write(kDataRoot + "420/engine.pak", "engine");

    // While the update waits for its archive, a move is refused and moves nothing.
    holdArchive();
    ASSERT_TRUE(check());
    text(L"external.changeDisk('E')");
    EXPECT_EQ(text(L"external.getChangeDiskProgress()"), L"-1");
    EXPECT_FALSE(files::exists("E:/Orbelune"));
    releaseArchive();
    EXPECT_EQ(pollToEnd().back(), 1.0f);
    EXPECT_EQ(launcher.dataDrive().drive(), "D");

    // While a move runs (held in the message of a copy that failed), no update starts.
    files::write("E:/Orbelune/420", "a file where a directory is needed");
    testing_support::HeldMessageBox box(20000);
    text(L"external.changeDisk('E')");
    ASSERT_EQ(WaitForSingleObject(box.asked(), 30000), WAIT_OBJECT_0);
    serveVersion("2020090100\r\n");
    EXPECT_FALSE(check());
    EXPECT_EQ(server->requestCount("/upd/Vistaweaver.ver"), 0u);
    EXPECT_EQ(archiveRequests(), 0u);
    box.release();
    launcher.stopAllWork();
    EXPECT_EQ(text(L"external.getChangeDiskProgress()"), L"-1");
    EXPECT_EQ(files::read(kDataRoot + "420/engine.pak"), "engine");
    EXPECT_EQ(files::read(kInstalledVersion), kServerVersion + " build 12\r\nnotes\r\n");
}

TEST_F(EngineUpdateTest, MoveAskedForWhileTheCheckWaitsForTheUserIsRefused)
{
    ASSERT_TRUE(drives.map('E')) << drives.error();
    serveArchive({{"Launcher.dat", "new launcher data"}});
    files::write(kInstalledVersion, "2020010100");
    files::write(kDataRoot + "420/engine.pak", "engine");
    test_files::RunningEngine engine;
    ASSERT_TRUE(engine.started());

    // The page's timer asks for a move while the check's box waits for the user, who then
    // declines to wait for the engine.
    std::vector<std::wstring> during;
    fw::setMessageBoxRecorder([&](const fw::MessageBoxCall& call) {
        if (during.empty()) {
            text(L"external.changeDisk('E')");
            during.push_back(text(L"external.getChangeDiskProgress()"));
        }
        return isQuestion(call) ? IDNO : IDOK;
    });
    EXPECT_FALSE(check());
    EXPECT_EQ(during, std::vector<std::wstring>{L"-1"});
    launcher.stopAllWork();
    EXPECT_FALSE(files::exists("E:/Orbelune"));
    EXPECT_EQ(files::read(kDataRoot + "420/engine.pak"), "engine");
    EXPECT_EQ(launcher.dataDrive().drive(), "D");
}

TEST_F(EngineUpdateTest, SecondCheckWhileAnUpdateRunsTouchesNothingOfIt)
{
    serveArchive({{"Launcher.dat", "new launcher data"}});
    files::write(kInstalledVersion, "2020010100");
    holdArchive();
    ASSERT_TRUE(check());
    EXPECT_EQ(text(L"external.versionCheckAndUpdate('" + toWide(server->url("/upd/")) + L"')"),
              L"false");
    // Neither the version file the running update will install nor its archive was
    // fetched or deleted again.
    EXPECT_EQ(server->requestCount("/upd/Vistaweaver.ver"), 1u);
    releaseArchive();
    EXPECT_EQ(pollToEnd().back(), 1.0f);
    EXPECT_EQ(files::read(kInstalledVersion), kServerVersion + " build 12\r\nnotes\r\n");
    EXPECT_EQ(archiveRequests(), 1u);
}

}  // namespace
