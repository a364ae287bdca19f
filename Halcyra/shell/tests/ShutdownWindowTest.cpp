// Closing the main window while a worker shows a message box, with real windows: the box
// is owned by the main window, in front of it, and the launcher ends once it is answered.
#include "Halcyra/shell/tests/SteppedMainDlg.h"
#include "Halcyra/shell/tests/WindowSearch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "framework/MessageBox.h"
#include "framework/ScriptHost.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::eventually;

const char kSystemRoot[] = "C:/Orbelune/";
const wchar_t kReplaceFailedCaption[] = L"\u7248\u672C\u66F4\u65B0";  // 版本更新

// True when upper comes before lower in the z-order of the top-level windows.
bool isAbove(HWND upper, HWND lower) {
    for (HWND window = ::GetTopWindow(nullptr); window; window = ::GetWindow(window, GW_HWNDNEXT)) {
        if (window == upper) return true;
        if (window == lower) return false;
    }
    return false;
}

void writeFile(const std::string& path, const std::string& bytes) {
    for (std::size_t at = path.find('/', 3); at != std::string::npos; at = path.find('/', at + 1))
        ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    testing_support::writeBytes(path, bytes);
}

}  // namespace

TEST(ShutdownWindow, WorkerBoxWhileStoppingIsInFrontAndAnsweringItEndsTheLauncher) {
    // Real message boxes: no recorder.
    fw::setMessageBoxRecorder(nullptr);
    testing_support::removeTree(kSystemRoot);
    ASSERT_TRUE(::CreateDirectoryA(kSystemRoot, nullptr));
    testing_support::writeBytes(std::string(kSystemRoot) + "disk.dat", "D");
    testing_support::DriveFixture drives;
    ASSERT_TRUE(drives.map('D')) << drives.error();
    ASSERT_TRUE(drives.map('E')) << drives.error();
    // The move copies these first, so the launcher is closing by the time the last file,
    // which cannot be written, makes the move's worker show its box.
    for (int i = 0; i < 200; ++i)
        writeFile("D:/Orbelune/420/f" + std::to_string(i), std::string(64 * 1024, 'x'));
    writeFile("D:/Orbelune/426/last.pak", "last");
    writeFile("E:/Orbelune/426", "a file where a directory is needed");

    HWND main = nullptr;
    HWND box = nullptr;
    HWND boxOwner = nullptr;
    bool boxAbove = false;
    std::atomic<DWORD> answeredAt{0};
    std::thread user;
    fw::ScriptHost host;
    SteppedMainDlg dlg([&](SteppedMainDlg& d) {
        main = d.hwnd();
        host.addObject(L"external", d.launcher().bridge());
        EXPECT_TRUE(host.run(L"external.changeDisk('E');")) << host.error().description;
        // The user closes the launcher from the tray menu, then finds the box and answers it.
        ::PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
        user = std::thread([&] {
            if (!eventually([&] {
                    box = windowOf(::GetCurrentProcessId(), kReplaceFailedCaption);
                    return box && ::IsWindowVisible(box);
                }))
                return;
            boxOwner = ::GetWindow(box, GW_OWNER);
            boxAbove = isAbove(box, main);
            ::Sleep(300);  // the launcher keeps waiting for the answer
            answeredAt = ::GetTickCount();
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    const DWORD endedAt = ::GetTickCount();
    user.join();

    ASSERT_NE(nullptr, box) << "the worker's box never became visible";
    EXPECT_EQ(main, boxOwner);
    EXPECT_TRUE(boxAbove);
    ASSERT_NE(0u, answeredAt.load()) << "the launcher ended without waiting for the answer";
    EXPECT_LT(endedAt - answeredAt, 5000u);
    // The move ended failed: nothing left the old drive.
    EXPECT_TRUE(testing_support::readBytes("D:/Orbelune/426/last.pak") == "last");
    EXPECT_EQ("D", testing_support::readBytes(std::string(kSystemRoot) + "disk.dat"));
    testing_support::removeTree(kSystemRoot);
}
