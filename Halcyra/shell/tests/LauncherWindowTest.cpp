// Drives the real Launcher.exe in the test's Wine prefix and X server: single instance,
// registry values, the close prompt, the tray message and the menu commands.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Halcyra/shell/BrowserFeatures.h"
#include "Halcyra/shell/tests/TrayIcon.h"
#include "Halcyra/shell/tests/WindowSearch.h"
#include "StartPageFiles.h"
#include "framework/UniqueHandle.h"
#include "tests/support/Eventually.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::besideThisProgram;
using testing_support::eventually;
using testing_support::readBytes;

const wchar_t kMainCaption[] = L"Lumaro";
const wchar_t kPromptCaption[] = L"\u5173\u95ED\u63D0\u793A";
const UINT kTrayMessage = WM_USER + 1;
const int kExitDirect = 1000;

// One Launcher.exe started from the build's bin directory in a working directory of the
// test's choice; terminated at the end if it is still running.
class Launcher {
public:
    explicit Launcher(const std::string& workingDirectory) {
        std::string exe = besideThisProgram("Launcher.exe");
        std::string commandLine = "\"" + exe + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                             workingDirectory.c_str(), &startup, &info)) {
            m_process.reset(info.hProcess);
            fw::UniqueHandle thread(info.hThread);
            m_id = info.dwProcessId;
        }
    }
    ~Launcher() {
        if (m_process && !ended(0)) {
            ::TerminateProcess(m_process.get(), 1);
            ::WaitForSingleObject(m_process.get(), 10000);
        }
    }

    DWORD id() const { return m_id; }
    bool ended(DWORD milliseconds = 20000) const {
        return ::WaitForSingleObject(m_process.get(), milliseconds) == WAIT_OBJECT_0;
    }
    HWND window(const wchar_t* caption) const { return windowOf(m_id, caption); }
    // The main window once it is shown.
    HWND mainWindow() const {
        HWND found = nullptr;
        eventually([&] {
            found = window(kMainCaption);
            return found && ::IsWindowVisible(found);
        });
        return found;
    }
    HWND prompt() const {
        HWND found = nullptr;
        eventually([&] { return (found = window(kPromptCaption)) != nullptr && ::IsWindowVisible(found); });
        return found;
    }

private:
    fw::UniqueHandle m_process;
    DWORD m_id = 0;
};

class LauncherWindow : public ::testing::Test {
protected:
    testing_support::TempDir dir;
};

DWORD readFeature(const wchar_t* feature) {
    std::wstring key = std::wstring(kBrowserFeatureKeyPrefix) + feature;
    DWORD value = 0, size = sizeof value;
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), kBrowserFeatureValueName, RRF_RT_REG_DWORD,
                       nullptr, &value, &size) != ERROR_SUCCESS)
        return 0xFFFFFFFF;
    return value;
}

}  // namespace

TEST_F(LauncherWindow, EveryStartWritesTheNineBrowserFeatureValues) {
    std::wstring emulation = std::wstring(kBrowserFeatureKeyPrefix) + L"FEATURE_BROWSER_EMULATION";
    DWORD stale = 7000;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, emulation.c_str(), kBrowserFeatureValueName, REG_DWORD, &stale,
                      sizeof stale);

    Launcher launcher(dir.path());
    ASSERT_NE(nullptr, launcher.mainWindow());
    for (const BrowserFeature& feature : kBrowserFeatures)
        EXPECT_EQ(feature.value, readFeature(feature.name)) << feature.name;
}

TEST_F(LauncherWindow, ClosePromptEscapeStaysTrayHidesAndExitEnds) {
    Launcher launcher(dir.path());
    HWND main = launcher.mainWindow();
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(::IsZoomed(main));

    // Escape in the prompt: the window stays.
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    HWND prompt = launcher.prompt();
    ASSERT_NE(nullptr, prompt);
    ::PostMessageW(prompt, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(eventually([&] { return !::IsWindow(prompt); }));
    EXPECT_TRUE(::IsWindowVisible(main));
    EXPECT_FALSE(launcher.ended(200));

    // "Minimise to tray" hides it; the tray's left click shows it maximised again.
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    prompt = launcher.prompt();
    ASSERT_NE(nullptr, prompt);
    ::PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(eventually([&] { return !::IsWindowVisible(main); }));
    EXPECT_FALSE(launcher.ended(200));
    ::ShowWindow(main, SW_SHOWNORMAL);
    ::ShowWindow(main, SW_HIDE);
    ::PostMessageW(main, kTrayMessage, 1, WM_LBUTTONUP);
    EXPECT_TRUE(eventually([&] { return ::IsWindowVisible(main) && ::IsZoomed(main); }));

    // "Exit" ends the program.
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    prompt = launcher.prompt();
    ASSERT_NE(nullptr, prompt);
    HWND exitButton = ::GetDlgItem(prompt, kExitDirect);
    ::PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(kExitDirect, BN_CLICKED),
                   reinterpret_cast<LPARAM>(exitButton));
    EXPECT_TRUE(launcher.ended());
}

TEST_F(LauncherWindow, TrayExitCommandAndMinimisedCloseEndWithoutPrompt) {
    {
        Launcher launcher(dir.path());
        HWND main = launcher.mainWindow();
        ASSERT_NE(nullptr, main);
        ::PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(launcher.ended());
    }
    {
        Launcher launcher(dir.path());
        HWND main = launcher.mainWindow();
        ASSERT_NE(nullptr, main);
        ::PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        ASSERT_TRUE(eventually([&] { return ::IsIconic(main) != FALSE; }));
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(launcher.ended());
        EXPECT_EQ(nullptr, launcher.window(kPromptCaption));
    }
}

namespace {

// Minimises the launcher to the tray through its close prompt.
void minimiseToTray(const Launcher& launcher, HWND main) {
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    HWND prompt = launcher.prompt();
    ASSERT_NE(nullptr, prompt);
    ::PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// True when the window is hidden and stays so for a second and a half.
bool staysHidden(HWND window) {
    if (!eventually([&] { return !::IsWindowVisible(window); })) return false;
    for (int i = 0; i < 30; ++i) {
        if (::IsWindowVisible(window)) return false;
        ::Sleep(50);
    }
    return true;
}

// The innermost first child: the window of the page inside the browser control.
HWND pageWindow(HWND main) {
    HWND inner = nullptr;
    for (HWND child = ::GetWindow(main, GW_CHILD); child; child = ::GetWindow(child, GW_CHILD)) inner = child;
    return inner;
}

}  // namespace

TEST_F(LauncherWindow, SecondStartEndsAndBringsTheHiddenFirstForward) {
    Launcher first(dir.path());
    HWND main = first.mainWindow();
    ASSERT_NE(nullptr, main);
    minimiseToTray(first, main);
    ASSERT_TRUE(staysHidden(main));

    Launcher second(dir.path());
    bool secondShowedWindow = false;
    EXPECT_TRUE(eventually([&] {
        if (second.window(kMainCaption)) secondShowedWindow = true;
        return second.ended(0);
    }));
    EXPECT_FALSE(secondShowedWindow);
    EXPECT_TRUE(eventually([&] { return ::IsWindowVisible(main) != FALSE; }));
    EXPECT_FALSE(first.ended(0));
}

TEST_F(LauncherWindow, EnterAndEscapeInThePageLeaveTheLauncherOpen) {
    Launcher launcher(dir.path());
    HWND main = launcher.mainWindow();
    ASSERT_NE(nullptr, main);
    HWND page = pageWindow(main);
    ASSERT_NE(nullptr, page);
    // Through the launcher's message loop, as typed keys arrive.
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
        ::PostMessageW(page, WM_KEYDOWN, key, 1 | (scan << 16));
        ::PostMessageW(page, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
    }
    // Handled in the order posted: a prompt for this close means the keys closed nothing.
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    HWND prompt = launcher.prompt();
    ASSERT_NE(nullptr, prompt);
    EXPECT_FALSE(launcher.ended(0));
    ::PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(kExitDirect, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(prompt, kExitDirect)));
    EXPECT_TRUE(launcher.ended());
}

TEST_F(LauncherWindow, TheTrayIconComesBackWhenTheShellRestarts) {
    Launcher launcher(dir.path());
    HWND main = launcher.mainWindow();
    ASSERT_NE(nullptr, main);
    ASSERT_TRUE(eventually([&] { return trayIconShown(main); }));

    // A restarted shell holds no icons and tells every top-level window so.
    NOTIFYICONDATAW forgotten{};
    forgotten.cbSize = sizeof forgotten;
    forgotten.hWnd = main;
    forgotten.uID = 1;
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &forgotten));
    ASSERT_FALSE(trayIconShown(main));
    ::PostMessageW(main, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(eventually([&] { return trayIconShown(main); }));
}

namespace {

const char kSystemRoot[] = "C:\\Orbelune";
const char kDriveRecord[] = "C:\\Orbelune\\disk.dat";

std::string readRecord() {
    fw::UniqueHandle file(
        ::CreateFileA(kDriveRecord, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return "(none)";
    char bytes[64];
    DWORD read = 0;
    ::ReadFile(file.get(), bytes, sizeof bytes, &read, nullptr);
    return std::string(bytes, read);
}

// Starts the launcher and closes it through the tray's exit command; by the time it has
// ended, its start-up (and so the drive step) is complete.
void startAndExit(const std::string& workingDirectory) {
    Launcher launcher(workingDirectory);
    HWND main = launcher.mainWindow();
    ASSERT_NE(nullptr, main);
    ::PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(launcher.ended());
}

}  // namespace

TEST_F(LauncherWindow, FirstStartRecordsTheDataDriveAndTheNextReusesTheRecord) {
    testing_support::removeTree(kSystemRoot);
    ASSERT_TRUE(::CreateDirectoryA(kSystemRoot, nullptr));

    startAndExit(dir.path());
    // C: is the prefix's only fixed drive.
    EXPECT_EQ("C", readRecord());

    // Backdate the record: a second choice would rewrite it and so renew its time.
    FILETIME old{};
    SYSTEMTIME then{2001, 1, 1, 1, 0, 0, 0, 0};
    ASSERT_TRUE(::SystemTimeToFileTime(&then, &old));
    {
        fw::UniqueHandle record(::CreateFileA(kDriveRecord, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                                              nullptr));
        ASSERT_TRUE(record.valid());
        ASSERT_TRUE(::SetFileTime(record.get(), nullptr, nullptr, &old));
    }
    startAndExit(dir.path());
    EXPECT_EQ("C", readRecord());
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExA(kDriveRecord, GetFileExInfoStandard, &data));
    EXPECT_EQ(0, ::CompareFileTime(&old, &data.ftLastWriteTime));
    testing_support::removeTree(kSystemRoot);
}

namespace {

std::string narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// Names as resource scripts write them: a numbered resource as "#<number>".
BOOL CALLBACK collectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::set<std::wstring>*>(names)->insert(
        IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : std::wstring(name));
    return TRUE;
}

}  // namespace

TEST(StartPageResources, LauncherExeHoldsEveryPageFileByteForByteAndNothingElse) {
    HMODULE exe = ::LoadLibraryExA(besideThisProgram("Launcher.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, exe);
    std::set<std::wstring> listed;
    for (const wchar_t* file : kStartPageFiles) {
        std::wstring name;
        for (const wchar_t* c = file; *c; ++c) name += static_cast<wchar_t>(towupper(*c));
        listed.insert(name);

        HRSRC found = ::FindResourceW(exe, file, RT_HTML);
        ASSERT_NE(nullptr, found) << narrow(file);
        HGLOBAL loaded = ::LoadResource(exe, found);
        const char* bytes = static_cast<const char*>(::LockResource(loaded));
        ASSERT_NE(nullptr, bytes) << narrow(file);
        const std::string source = readBytes(besideThisProgram("start-page\\" + narrow(file)));
        ASSERT_FALSE(source.empty()) << narrow(file);
        EXPECT_EQ(source, std::string(bytes, ::SizeofResource(exe, found))) << narrow(file);
    }
    // The page's own references resolve among these names only.
    std::set<std::wstring> inProgram;
    ::EnumResourceNamesW(exe, RT_HTML, collectName, reinterpret_cast<LONG_PTR>(&inProgram));
    EXPECT_EQ(listed, inProgram);
    EXPECT_EQ(1u, listed.count(L"START.HTML"));
    ::FreeLibrary(exe);
}
