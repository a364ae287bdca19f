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
#include "framework/UniqueHandle.h"
#include "tests/support/DispatchedAction.h"
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
    testing_support::removeTree(kSystemRoot);
    ASSERT_TRUE(::CreateDirectoryA(kSystemRoot, nullptr));
    testing_support::writeBytes(std::string(kSystemRoot) + "disk.dat", "D");
    testing_support::DriveFixture drives;
    ASSERT_TRUE(drives.map('D')) << drives.error();
    ASSERT_TRUE(drives.map('E')) << drives.error();
    // The move cannot write its last file, and its worker shows a box.
    writeFile("D:/Orbelune/420/first.pak", "first");
    writeFile("D:/Orbelune/426/last.pak", "last");
    writeFile("E:/Orbelune/426", "a file where a directory is needed");

    // The worker is held at its box until the stop is under way: the stop's wait dispatches
    // this thread's messages, among them one posted behind the close. Only then does the box
    // come, a real window, as the worker asked for it (owner, buttons, flags).
    fw::UniqueHandle stopping(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> shownWhileStopping{false};
    fw::setMessageBoxRecorder([&](const fw::MessageBoxCall& call) {
        if (::WaitForSingleObject(stopping.get(), 20000) != WAIT_OBJECT_0) return IDOK;
        shownWhileStopping = true;
        return ::MessageBoxW(call.owner, call.text.c_str(), call.caption.c_str(), call.type);
    });

    HWND main = nullptr;
    HWND box = nullptr;
    HWND boxOwner = nullptr;
    bool boxAbove = false;
    std::atomic<bool> ended{false};
    std::atomic<bool> endedBeforeAnswer{false};
    std::atomic<DWORD> answeredAt{0};
    std::thread user;
    testing_support::DispatchedAction stopBegun([&] { ::SetEvent(stopping.get()); });
    fw::ScriptHost host;
    SteppedMainDlg dlg([&](SteppedMainDlg& d) {
        main = d.hwnd();
        host.addObject(L"external", d.launcher().bridge());
        EXPECT_TRUE(host.run(L"external.changeDisk('E');")) << host.error().description;
        // The user closes the launcher from the tray menu, then finds the box and answers it.
        ::PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
        stopBegun.post();
        user = std::thread([&] {
            if (!eventually([&] {
                    box = windowOf(::GetCurrentProcessId(), kReplaceFailedCaption);
                    return box && ::IsWindowVisible(box);
                }))
                return;
            boxOwner = ::GetWindow(box, GW_OWNER);
            boxAbove = isAbove(box, main);
            endedBeforeAnswer = ended.load();
            answeredAt = ::GetTickCount();
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    ended = true;
    const DWORD endedAt = ::GetTickCount();
    user.join();
    fw::setMessageBoxRecorder(nullptr);

    ASSERT_TRUE(shownWhileStopping) << "the stop did not dispatch messages while it waited";
    ASSERT_NE(nullptr, box) << "the worker's box never became visible";
    EXPECT_EQ(main, boxOwner);
    EXPECT_TRUE(boxAbove);
    EXPECT_FALSE(endedBeforeAnswer) << "the launcher ended without waiting for the answer";
    EXPECT_LT(endedAt - answeredAt, 10000u);
    // The move ended failed: nothing left the old drive.
    EXPECT_TRUE(testing_support::readBytes("D:/Orbelune/420/first.pak") == "first");
    EXPECT_TRUE(testing_support::readBytes("D:/Orbelune/426/last.pak") == "last");
    EXPECT_EQ("D", testing_support::readBytes(std::string(kSystemRoot) + "disk.dat"));
    testing_support::removeTree(kSystemRoot);
}
