// Drives the real UnInstall.exe the way a user would: finds its windows by caption and
// presses their buttons and keys, then looks at what is left on the disks.
#include <windows.h>

#include <winioctl.h>

#include "UnInstall/tests/CodePageProcess.h"
#include "UnInstall/tests/TreeFiles.h"
#include "framework/UniqueHandle.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testing_support::makeLinuxLink;
using testing_support::removeLinuxLink;
using uninstall_test::contents;
using uninstall_test::eraseTree;
using uninstall_test::longForm;
using uninstall_test::makeInstallation;
using uninstall_test::nameIsFree;
using uninstall_test::removeRootLink;
using uninstall_test::renameFromLinux;
using uninstall_test::snapshotDrives;
using uninstall_test::writeFile;

namespace {

const wchar_t kProgram[] = L"C:\\halcyra\\UnInstall.exe";
const wchar_t kCaption[] = L"Lumaro卸载程序";
const wchar_t kAboutCaption[] = L"About UnInstall";
const std::string kSystemRoot = "C:/Orbelune/";
const std::string kDataRoot = "E:/Orbelune/";
const std::vector<std::wstring> kRoots = {L"C:\\Orbelune", L"E:\\Orbelune"};
const int kMessageText = 0xFFFF;  // the text of a message box
const int kAppOnlyButton = 3;
const int kTimeoutMs = 20000;

// Polls until found() gives a window or the time is up.
HWND waitFor(const std::function<HWND()>& found) {
    HWND window = nullptr;
    testing_support::eventually([&] { return (window = found()) != nullptr; }, kTimeoutMs);
    return window;
}

struct WindowQuery {
    DWORD processId;
    const wchar_t* caption;
    std::function<bool(HWND)> accept;
    HWND result;
};

// A visible top-level window of the process with exactly this caption.
HWND findWindow(DWORD processId, const wchar_t* caption, std::function<bool(HWND)> accept = nullptr) {
    WindowQuery query{processId, caption, std::move(accept), nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto& q = *reinterpret_cast<WindowQuery*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t text[64] = {};
            GetWindowTextW(window, text, 64);
            if (owner != q.processId || !IsWindowVisible(window) || std::wstring(text) != q.caption) return TRUE;
            if (q.accept && !q.accept(window)) return TRUE;
            q.result = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&query));
    return query.result;
}

bool hasButton(HWND dialog, int id) { return GetDlgItem(dialog, id) != nullptr; }

class UnInstallProcess {
public:
    UnInstallProcess() {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::wstring commandLine = kProgram;
        if (!CreateProcessW(kProgram, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return;
        fw::UniqueHandle thread(process.hThread);
        m_process.reset(process.hProcess);
        m_processId = process.dwProcessId;
    }
    // Started with the ANSI code page codePage instead of the test's own.
    explicit UnInstallProcess(UINT codePage)
        : m_process(uninstall_test::startInCodePage(codePage, L"UnInstall.exe", L"")) {
        if (m_process) m_processId = GetProcessId(m_process.get());
    }
    ~UnInstallProcess() {
        if (m_process && !hasEnded()) TerminateProcess(m_process.get(), 1);
    }
    UnInstallProcess(const UnInstallProcess&) = delete;
    UnInstallProcess& operator=(const UnInstallProcess&) = delete;

    bool started() const { return m_process.valid(); }

    // Both dialogs have the same caption; only the second has the application-only button.
    HWND mainDialog() const { return dialog(kCaption, false); }
    HWND secondDialog() const { return dialog(kCaption, true); }
    HWND aboutBox() const { return dialog(kAboutCaption, false); }
    // The message box the second dialog shows over itself when something stayed; none
    // when the program ends without one.
    HWND messageOver(HWND second) const {
        HWND box = nullptr;
        waitFor([&]() -> HWND {
            box = findWindow(m_processId, kCaption,
                             [&](HWND window) { return GetWindow(window, GW_OWNER) == second; });
            return box ? box : hasEnded() ? second : nullptr;
        });
        return box;
    }

    // True when the program ended with exit code 0. While it runs, the main dialog must
    // not show up again.
    bool endsQuietly(HWND mainDialog) const {
        bool shownAgain = false;
        testing_support::eventually(
            [&] {
                if (hasEnded()) return true;
                shownAgain = mainDialog && IsWindowVisible(mainDialog);
                return shownAgain;
            },
            kTimeoutMs);
        DWORD code = 1;
        return !shownAgain && hasEnded() && GetExitCodeProcess(m_process.get(), &code) && code == 0;
    }

private:
    bool hasEnded() const { return WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0; }

    HWND dialog(const wchar_t* caption, bool withAppOnlyButton) const {
        return waitFor([&] {
            return findWindow(m_processId, caption,
                              [&](HWND window) { return hasButton(window, kAppOnlyButton) == withAppOnlyButton; });
        });
    }

    fw::UniqueHandle m_process;
    DWORD m_processId = 0;
};

void click(HWND dialog, int button) { PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0); }

void closeBox(HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

// Real keyboard input: the window is brought to the foreground first, as a user's click
// would, so that the keys reach its thread.
void pressKeys(HWND window, std::initializer_list<std::initializer_list<WORD>> chords) {
    SetForegroundWindow(window);
    testing_support::eventually([&] { return GetForegroundWindow() == window; }, kTimeoutMs);
    for (const auto& chord : chords) {
        std::vector<INPUT> inputs;
        for (WORD key : chord) {
            INPUT input = {};
            input.type = INPUT_KEYBOARD;
            input.ki.wVk = key;
            inputs.push_back(input);
        }
        for (auto it = chord.end(); it != chord.begin();) {
            INPUT input = {};
            input.type = INPUT_KEYBOARD;
            input.ki.wVk = *--it;
            input.ki.dwFlags = KEYEVENTF_KEYUP;
            inputs.push_back(input);
        }
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        Sleep(200);
    }
}

std::wstring messageText(HWND box) {
    wchar_t text[4096] = {};
    GetDlgItemTextW(box, kMessageText, text, 4096);
    return text;
}

// A copy of the engine stand-in inside the installation, running, and so in use.
class RunningEngine {
public:
    explicit RunningEngine(const std::wstring& path) {
        CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
        if (!CopyFileW(L"C:\\halcyra\\Vistaweaver-Win64-Shipping.exe", path.c_str(), FALSE)) return;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::wstring commandLine = path;
        if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return;
        fw::UniqueHandle thread(process.hThread);
        m_process.reset(process.hProcess);
        m_window = waitFor([] { return FindWindowW(L"VistaweaverStandIn", nullptr); }) != nullptr;
    }
    ~RunningEngine() {
        if (!m_process) return;
        TerminateProcess(m_process.get(), 0);
        WaitForSingleObject(m_process.get(), static_cast<DWORD>(kTimeoutMs));
    }
    RunningEngine(const RunningEngine&) = delete;
    RunningEngine& operator=(const RunningEngine&) = delete;

    bool running() const { return m_process && m_window; }

private:
    fw::UniqueHandle m_process;
    bool m_window = false;
};

// A junction made the way Windows makes them; false where that cannot be done (Wine).
bool makeJunction(const std::wstring& link, const std::wstring& target) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    fw::UniqueHandle directory(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const std::wstring substitute = L"\\??\\" + target;
    // REPARSE_DATA_BUFFER for a mount point: tag, sizes, then both names, each ending in L'\0'.
    std::vector<WORD> data(8 + substitute.size() + 1 + target.size() + 1);
    data[4] = 0;
    data[5] = static_cast<WORD>(substitute.size() * 2);
    data[6] = static_cast<WORD>((substitute.size() + 1) * 2);
    data[7] = static_cast<WORD>(target.size() * 2);
    std::copy(substitute.begin(), substitute.end(), data.begin() + 8);
    std::copy(target.begin(), target.end(), data.begin() + 8 + substitute.size() + 1);
    const DWORD size = static_cast<DWORD>(data.size() * sizeof(WORD));
    *reinterpret_cast<DWORD*>(&data[0]) = IO_REPARSE_TAG_MOUNT_POINT;
    data[2] = static_cast<WORD>(size - 8);
    DWORD returned = 0;
    const bool made = directory && DeviceIoControl(directory.get(), FSCTL_SET_REPARSE_POINT, data.data(), size, nullptr,
                                                   0, &returned, nullptr);
    directory.reset();
    if (!made) RemoveDirectoryW(link.c_str());
    return made;
}

// Clicks "是" and then the given button of the second dialog, as a user would. Returns the
// second dialog, which may still show a message over itself, and sets main; nullptr when a
// dialog did not show up.
HWND clickThrough(const UnInstallProcess& program, int secondButton, HWND& main) {
    main = program.mainDialog();
    if (!main) return nullptr;
    click(main, IDOK);
    HWND second = program.secondDialog();
    if (second) click(second, secondButton);
    return second;
}

class UnInstallProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dataDrive.map()) << m_dataDrive.error();
        eraseTree(kSystemRoot);
        makeInstallation(kSystemRoot, "E");
        makeInstallation(kDataRoot, "");
        m_systemTree = contents(kSystemRoot);
        m_dataTree = contents(kDataRoot);
        m_outside = snapshotDrives(kRoots);
    }
    void TearDown() override {
        EXPECT_EQ(snapshotDrives(kRoots), m_outside) << "the drives outside the two roots changed";
        eraseTree(kSystemRoot);
    }

    void expectUntouched(const char* how) {
        EXPECT_EQ(contents(kSystemRoot), m_systemTree) << how;
        EXPECT_EQ(contents(kDataRoot), m_dataTree) << how;
    }

    // After the test has placed things outside the roots that must survive.
    void retakeSnapshot() { m_outside = snapshotDrives(kRoots); }

    uninstall_test::TestDrive m_dataDrive{'E'};
    std::vector<std::string> m_systemTree;
    std::vector<std::string> m_dataTree;
    std::vector<std::wstring> m_outside;
};

TEST_F(UnInstallProgram, DecliningEndsWithoutTouchingAnything) {
    const std::vector<std::pair<const char*, std::function<void(HWND)>>> ways = {
        {"否", [](HWND main) { click(main, IDCANCEL); }},
        {"close box", closeBox},
        {"Esc", [](HWND main) { pressKeys(main, {{VK_ESCAPE}}); }},
    };
    for (const auto& [how, decline] : ways) {
        UnInstallProcess program;
        ASSERT_TRUE(program.started());
        HWND main = program.mainDialog();
        ASSERT_NE(main, nullptr) << how;
        decline(main);
        EXPECT_TRUE(program.endsQuietly(nullptr)) << how;
        expectUntouched(how);
    }
}

TEST_F(UnInstallProgram, CancellingTheSecondDialogEndsWithoutTouchingAnything) {
    const std::vector<std::pair<const char*, std::function<void(HWND)>>> ways = {
        {"取消", [](HWND second) { click(second, IDCANCEL); }},
        {"Esc", [](HWND second) { pressKeys(second, {{VK_ESCAPE}}); }},
        {"close box", closeBox},
    };
    for (const auto& [how, cancel] : ways) {
        UnInstallProcess program;
        ASSERT_TRUE(program.started());
        HWND main = program.mainDialog();
        ASSERT_NE(main, nullptr) << how;
        click(main, IDOK);
        HWND second = program.secondDialog();
        ASSERT_NE(second, nullptr) << how;
        EXPECT_FALSE(IsWindowVisible(main)) << how;
        cancel(second);
        EXPECT_TRUE(program.endsQuietly(main)) << how;
        expectUntouched(how);
    }
}

TEST_F(UnInstallProgram, EnterTwiceRunsTheFullRemoval) {
    UnInstallProcess program;
    ASSERT_TRUE(program.started());
    HWND main = program.mainDialog();
    ASSERT_NE(main, nullptr);
    pressKeys(main, {{VK_RETURN}});
    HWND second = program.secondDialog();
    ASSERT_NE(second, nullptr);
    pressKeys(second, {{VK_RETURN}});

    EXPECT_TRUE(program.endsQuietly(main));
    EXPECT_FALSE(fs::exists(kSystemRoot));
    EXPECT_FALSE(fs::exists(kDataRoot));
}

// A name with a look-alike of "\\" after "..": read through code page 1252 it becomes a way
// out of the tree. The program removes it as stored in either code page, and says nothing.
TEST_F(UnInstallProgram, LookAlikeSeparatorNamesStayInsideUnderEitherCodePage) {
    writeFile("C:/victim/keep.txt");
    writeFile("E:/victim/keep.txt");
    retakeSnapshot();
    for (UINT codePage : {936u, 1252u}) {
        const std::wstring name = L"..\u2216victim";
        writeFile(L"C:\\Orbelune\\" + name + L"\\inner.pak");
        writeFile(L"E:\\Orbelune\\" + name + L"\\inner.pak");
        makeInstallation(kSystemRoot, "E");

        UnInstallProcess program(codePage);
        ASSERT_TRUE(program.started()) << codePage;
        HWND main = nullptr;
        HWND second = clickThrough(program, IDOK, main);
        ASSERT_NE(second, nullptr) << codePage;

        EXPECT_TRUE(program.endsQuietly(main)) << codePage;
        EXPECT_FALSE(fs::exists(kSystemRoot)) << codePage;
        EXPECT_FALSE(fs::exists(kDataRoot)) << codePage;
        EXPECT_EQ(snapshotDrives(kRoots), m_outside) << codePage;
    }
    eraseTree("C:/victim");
    eraseTree("E:/victim");
    retakeSnapshot();
}

TEST_F(UnInstallProgram, ReadOnlyFilesAndPathsPastTheOldLimitAreRemovedWithoutAWord) {
    const std::wstring deep = L"\\" + std::wstring(100, L'd') + L"\\" + std::wstring(100, L'e') + L"\\" +
                              std::wstring(100, L'f') + L"\\scene.pak";
    writeFile(L"\\\\?\\C:\\Orbelune\\Download" + deep);
    writeFile(L"\\\\?\\E:\\Orbelune\\Download" + deep);
    for (const char* file : {"C:/Orbelune/Vistaweaver.ver", "E:/Orbelune/bak/old.pak"})
        ASSERT_TRUE(SetFileAttributesA(file, FILE_ATTRIBUTE_READONLY)) << file;

    UnInstallProcess program;
    ASSERT_TRUE(program.started());
    HWND main = program.mainDialog();
    ASSERT_NE(main, nullptr);
    pressKeys(main, {{VK_RETURN}});
    HWND second = program.secondDialog();
    ASSERT_NE(second, nullptr);
    pressKeys(second, {{VK_RETURN}});

    EXPECT_TRUE(program.endsQuietly(main));
    EXPECT_FALSE(fs::exists(kSystemRoot));
    EXPECT_FALSE(fs::exists(kDataRoot));
}

TEST_F(UnInstallProgram, WhatARunningProgramHoldsIsListedAndEverythingElseGoes) {
    const std::wstring engine = L"C:\\Orbelune\\420\\Engine\\Binaries\\Vistaweaver-Win64-Shipping.exe";
    RunningEngine running(engine);
    ASSERT_TRUE(running.running());

    UnInstallProcess program;
    ASSERT_TRUE(program.started());
    HWND main = nullptr;
    HWND second = clickThrough(program, IDOK, main);
    ASSERT_NE(second, nullptr);

    HWND box = program.messageOver(second);
    ASSERT_NE(box, nullptr);
    const std::wstring text = messageText(box);
    EXPECT_EQ(text.find(L"有1个文件或文件夹未能删除"), 0u) << text;
    EXPECT_NE(text.find(L"\n" + engine), std::wstring::npos) << text;
    EXPECT_EQ(text.find(L"Binaries\n"), std::wstring::npos) << "directories that only hold it are not listed: " << text;
    EXPECT_TRUE(IsWindowVisible(second));
    click(box, IDOK);

    EXPECT_TRUE(program.endsQuietly(main));
    EXPECT_EQ(contents(kSystemRoot), (std::vector<std::string>{"420/", "420/Engine/", "420/Engine/Binaries/",
                                                               "420/Engine/Binaries/Vistaweaver-Win64-Shipping.exe"}));
    EXPECT_FALSE(fs::exists(kDataRoot));
}

// Links of every kind Wine can make, inside both trees and as the data root itself, each
// pointing at a folder or file outside that keeps everything. A link the program could
// not remove as a link stays and is listed; what it points at is never touched.
class LinksInTheTrees : public UnInstallProgram {
protected:
    void TearDown() override {
        removeLinks();
        UnInstallProgram::TearDown();
        eraseTree("C:/outside");
        eraseTree("E:/elsewhere");
    }

    void link(const std::string& directory, const std::string& target, const std::string& name) {
        ASSERT_TRUE(makeLinuxLink(directory, target, name)) << directory << name;
        m_links.emplace_back(directory, name);
    }

    // Runs the full removal; every link that is still there must be in the message.
    void removeAllAndCheckLinks() {
        UnInstallProcess program;
        ASSERT_TRUE(program.started());
        HWND main = nullptr;
        HWND second = clickThrough(program, IDOK, main);
        ASSERT_NE(second, nullptr);

        std::wstring text;
        if (HWND box = program.messageOver(second)) {
            text = messageText(box);
            click(box, IDOK);
        }
        EXPECT_TRUE(program.endsQuietly(main));
        // A link whose target went no longer shows, but is there all the same.
        for (const auto& [directory, name] : m_links) {
            const std::wstring link = longForm(fs::path(directory) / name);
            if (nameIsFree(link)) continue;
            EXPECT_NE(text.find(L"\n" + link.substr(4)), std::wstring::npos) << link << " stayed unlisted: " << text;
        }
    }

    // Turns the folder drive + "lookalike/" into target and makes the root on drive a link to it.
    void linkRootTo(const std::string& drive, const std::string& target) {
        ASSERT_TRUE(renameFromLinux(drive, "lookalike", target));
        link(drive, target, "Orbelune");
        // Until the link is there, Wine finds "orbelune" by the root's name.
        ASSERT_TRUE(testing_support::eventually(
            [&] { return (GetFileAttributesA((drive + "Orbelune").c_str()) & 0x410) == 0x410; }, kTimeoutMs));
    }

    void removeLinks() {
        for (const auto& [directory, name] : m_links) {
            if (name == "Orbelune") {
                EXPECT_TRUE(removeRootLink(directory));
            } else {
                removeLinuxLink(directory, name);
            }
        }
        m_links.clear();
    }

    std::vector<std::pair<std::string, std::string>> m_links;
};

TEST_F(LinksInTheTrees, InsideBothTreesTheTargetsKeepEverything) {
    writeFile("C:/outside/dir/keep.txt");
    writeFile("C:/outside/dir/deeper/keep.pak");
    writeFile("C:/outside/file.pak");
    fs::create_directories("C:/outside/empty");
    writeFile("E:/elsewhere/dir/keep.txt");
    writeFile("E:/elsewhere/file.pak");
    fs::create_directories("E:/elsewhere/empty");
    link("C:/Orbelune/Download/", "../../outside/dir", "linked");
    link("C:/Orbelune/bak/", "../../outside/empty", "emptylink");
    link("C:/Orbelune/bak/", "../../outside/file.pak", "file.pak");
    link("E:/Orbelune/Download/", "../../elsewhere/dir", "linked");
    link("E:/Orbelune/Download/", "../../elsewhere/empty", "emptylink");
    link("E:/Orbelune/", "../elsewhere/file.pak", "file.pak");
    retakeSnapshot();

    removeAllAndCheckLinks();

    // Apart from the links and the directories that hold them, the trees are gone.
    for (const std::string& left : contents(kSystemRoot))
        EXPECT_TRUE(left == "Download/" || left == "Download/linked" || left == "bak/" || left == "bak/emptylink" ||
                    left == "bak/file.pak")
            << left;
    for (const std::string& left : contents(kDataRoot))
        EXPECT_TRUE(left == "Download/" || left == "Download/linked" || left == "Download/emptylink" ||
                    left == "file.pak")
            << left;
}

// Links into the look-alike "orbelune" beside each root, where their targets sit there: the
// two paths differ in the root's letter case alone.
TEST_F(LinksInTheTrees, IntoLookAlikesOfBothRootsLeaveTheirTargets) {
    for (const std::string drive : {"C:/", "E:/"}) {
        writeFile(drive + "lookalike/in/file.pak");
        fs::create_directories(drive + "lookalike/in/empty");
        ASSERT_TRUE(renameFromLinux(drive, "lookalike", "orbelune"));
        fs::create_directories(drive + "Orbelune/in");
        link(drive + "Orbelune/in/", "../../orbelune/in/file.pak", "file.pak");
        link(drive + "Orbelune/in/", "../../orbelune/in/empty", "empty");
    }
    retakeSnapshot();

    removeAllAndCheckLinks();

    EXPECT_EQ(snapshotDrives(kRoots), m_outside);
    for (const std::string& root : {kSystemRoot, kDataRoot}) {
        for (const std::string& left : contents(root))
            EXPECT_TRUE(left == "in/" || left == "in/file.pak" || left == "in/empty") << root << left;
    }
    removeLinks();
    eraseTree("C:/orbelune");
    eraseTree("E:/orbelune");
    retakeSnapshot();
}

// A root that is a link is removed as the link, and what it points at, a folder elsewhere or
// a look-alike of the root, keeps everything; Wine cannot remove such a link, so it stays
// and is listed.
TEST_F(LinksInTheTrees, TheSystemRootItselfLeavesWhatItPointsAtAndTheDataRoot) {
    for (const std::string target : {"elsewhere", "orbelune", "Orbelune."}) {
        SCOPED_TRACE(target);
        eraseTree(kSystemRoot);
        // Not entered, not even for the drive record that names the data root.
        makeInstallation("C:/lookalike/", "E");
        ASSERT_NO_FATAL_FAILURE(linkRootTo("C:/", target));
        retakeSnapshot();

        removeAllAndCheckLinks();

        EXPECT_EQ(snapshotDrives(kRoots), m_outside);
        EXPECT_EQ(contents(kDataRoot), m_dataTree);
        removeLinks();
        eraseTree(longForm("C:/" + target));
    }
    retakeSnapshot();
}

TEST_F(LinksInTheTrees, TheDataRootItselfLeavesWhatItPointsAt) {
    eraseTree(kDataRoot);
    for (const std::string target : {"elsewhere", "orbelune", "Orbelune."}) {
        SCOPED_TRACE(target);
        makeInstallation(kSystemRoot, "E");
        // An empty look-alike is what a removal through the link would take away.
        if (target == "elsewhere") {
            makeInstallation("E:/lookalike/", "");
        } else {
            fs::create_directories("E:/lookalike");
        }
        ASSERT_NO_FATAL_FAILURE(linkRootTo("E:/", target));
        retakeSnapshot();

        removeAllAndCheckLinks();

        EXPECT_FALSE(fs::exists(kSystemRoot));
        EXPECT_EQ(snapshotDrives(kRoots), m_outside);
        removeLinks();
        eraseTree(longForm("E:/" + target));
    }
    retakeSnapshot();
}

TEST_F(UnInstallProgram, JunctionsAreRemovedAsLinks) {
    writeFile("C:/outside/dir/keep.txt");
    fs::create_directories("C:/outside/empty");
    if (!makeJunction(L"C:\\Orbelune\\Download\\junction", L"C:\\outside\\dir")) {
        eraseTree("C:/outside");
        GTEST_SKIP() << "this system cannot make junctions (Wine: FSCTL_SET_REPARSE_POINT fails with error 50)";
    }
    ASSERT_TRUE(makeJunction(L"C:\\Orbelune\\bak\\junction", L"C:\\outside\\empty"));
    retakeSnapshot();

    UnInstallProcess program;
    ASSERT_TRUE(program.started());
    HWND main = nullptr;
    HWND second = clickThrough(program, IDOK, main);
    ASSERT_NE(second, nullptr);

    EXPECT_TRUE(program.endsQuietly(main));
    EXPECT_FALSE(fs::exists(kSystemRoot));
    EXPECT_EQ(snapshotDrives(kRoots), m_outside);
    eraseTree("C:/outside");
    retakeSnapshot();
}

TEST_F(UnInstallProgram, ApplicationOnlyKeepsTheRecordAndTheDataRoot) {
    UnInstallProcess program;
    ASSERT_TRUE(program.started());
    HWND main = nullptr;
    HWND second = clickThrough(program, kAppOnlyButton, main);
    ASSERT_NE(second, nullptr);

    EXPECT_TRUE(program.endsQuietly(main));
    EXPECT_EQ(contents(kSystemRoot), std::vector<std::string>{"disk.dat"});
    EXPECT_EQ(contents(kDataRoot), m_dataTree);
}

TEST_F(UnInstallProgram, SystemMenuEndsWithTheAboutBox) {
    UnInstallProcess program;
    ASSERT_TRUE(program.started());
    HWND main = program.mainDialog();
    ASSERT_NE(main, nullptr);

    // Alt+Space opens the system menu; Up wraps round to its last entry.
    pressKeys(main, {{VK_MENU, VK_SPACE}, {VK_UP}, {VK_RETURN}});
    HWND about = program.aboutBox();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main));

    click(about, IDOK);
    EXPECT_TRUE(waitFor([&] { return IsWindow(about) ? nullptr : main; }));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(IsWindowEnabled(main));

    click(main, IDCANCEL);
    EXPECT_TRUE(program.endsQuietly(nullptr));
    expectUntouched("about box");
}

}  // namespace
