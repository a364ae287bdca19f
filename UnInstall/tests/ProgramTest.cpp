// Drives the real UnInstall.exe the way a user would: finds its windows by caption and
// presses their buttons and keys, then looks at what is left on the disks.
#include <windows.h>

#include "UnInstall/tests/TreeFiles.h"
#include "tests/support/DriveFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using uninstall_test::contents;
using uninstall_test::makeInstallation;

namespace {

const wchar_t kProgram[] = L"C:\\halcyra\\UnInstall.exe";
const wchar_t kCaption[] = L"Lumaro卸载程序";
const wchar_t kAboutCaption[] = L"About UnInstall";
const std::string kSystemRoot = "C:/Orbelune/";
const std::string kDataRoot = "E:/Orbelune/";
const int kAppOnlyButton = 3;
const DWORD kTimeoutMs = 20000;

// Polls until found() gives a window or the time is up.
HWND waitFor(const std::function<HWND()>& found) {
    for (DWORD waited = 0; waited < kTimeoutMs; waited += 20) {
        if (HWND window = found()) return window;
        Sleep(20);
    }
    return nullptr;
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
        std::wstring commandLine = kProgram;
        if (CreateProcessW(kProgram, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &m_process)) {
            CloseHandle(m_process.hThread);
            m_process.hThread = nullptr;
        }
    }
    ~UnInstallProcess() {
        if (!m_process.hProcess) return;
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_process.hProcess, 1);
        CloseHandle(m_process.hProcess);
    }
    UnInstallProcess(const UnInstallProcess&) = delete;
    UnInstallProcess& operator=(const UnInstallProcess&) = delete;

    bool started() const { return m_process.hProcess != nullptr; }

    // Both dialogs have the same caption; only the second has the application-only button.
    HWND mainDialog() const { return dialog(kCaption, false); }
    HWND secondDialog() const { return dialog(kCaption, true); }
    HWND aboutBox() const { return dialog(kAboutCaption, false); }

    // True when the program ended with exit code 0. While it runs, the main dialog must
    // not show up again.
    bool endsQuietly(HWND mainDialog) const {
        for (DWORD waited = 0; waited < kTimeoutMs; waited += 20) {
            if (WaitForSingleObject(m_process.hProcess, 20) == WAIT_OBJECT_0) {
                DWORD code = 1;
                GetExitCodeProcess(m_process.hProcess, &code);
                return code == 0;
            }
            if (mainDialog && IsWindowVisible(mainDialog)) return false;
        }
        return false;
    }

private:
    HWND dialog(const wchar_t* caption, bool withAppOnlyButton) const {
        return waitFor([&] {
            return findWindow(m_process.dwProcessId, caption,
                              [&](HWND window) { return hasButton(window, kAppOnlyButton) == withAppOnlyButton; });
        });
    }

    PROCESS_INFORMATION m_process = {};
};

void click(HWND dialog, int button) { PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0); }

void closeBox(HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

// Real keyboard input: the window is brought to the foreground first, as a user's click
// would, so that the keys reach its thread.
void pressKeys(HWND window, std::initializer_list<std::initializer_list<WORD>> chords) {
    SetForegroundWindow(window);
    for (int waited = 0; GetForegroundWindow() != window && waited < 2000; waited += 10) Sleep(10);
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

class UnInstallProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_drives.map('E')) << m_drives.error();
        fs::remove_all(kSystemRoot);
        makeInstallation(kSystemRoot, "E");
        makeInstallation(kDataRoot, "");
        m_systemTree = contents(kSystemRoot);
        m_dataTree = contents(kDataRoot);
    }
    void TearDown() override { fs::remove_all(kSystemRoot); }

    void expectUntouched(const char* how) {
        EXPECT_EQ(contents(kSystemRoot), m_systemTree) << how;
        EXPECT_EQ(contents(kDataRoot), m_dataTree) << how;
    }

    testing_support::DriveFixture m_drives;
    std::vector<std::string> m_systemTree;
    std::vector<std::string> m_dataTree;
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

TEST_F(UnInstallProgram, ApplicationOnlyKeepsTheRecordAndTheDataRoot) {
    UnInstallProcess program;
    ASSERT_TRUE(program.started());
    HWND main = program.mainDialog();
    ASSERT_NE(main, nullptr);
    click(main, IDOK);
    HWND second = program.secondDialog();
    ASSERT_NE(second, nullptr);
    click(second, kAppOnlyButton);

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
