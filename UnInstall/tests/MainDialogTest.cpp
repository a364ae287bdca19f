// The main dialog inside the test process, where its system menu and icons can be read.
#include "UnInstall/UnInstallDlg.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

const UINT kAboutCommand = 0x10;
const wchar_t kDialogClass[] = L"#32770";

// Polls until the condition holds; false when it never does.
template <class Condition>
bool waitUntil(Condition condition) {
    for (int waited = 0; waited < 10000; waited += 10) {
        if (condition()) return true;
        Sleep(10);
    }
    return false;
}

struct Observed {
    int menuItems = 0;
    UINT separatorType = 0;
    UINT lastId = 0;
    std::wstring lastText;
    bool bigIcon = false;
    bool smallIcon = false;
    bool dragIconIsTheIcon = false;
    bool aboutOwnedByMain = false;
    bool mainBackAfterAbout = false;
};

TEST(MainDialog, SystemMenuEndsWithTheAboutEntryThatOpensTheAboutBox) {
    CUnInstallDlg dialog;
    Observed seen;

    // The dialog runs its modal loop on this thread; the driver reads and presses from
    // another one, and always ends the dialog so that the test cannot hang.
    std::thread driver([&] {
        HWND main = nullptr;
        // Visible only once its initialisation has run.
        waitUntil([&] { return (main = FindWindowW(kDialogClass, L"Lumaro卸载程序")) != nullptr && IsWindowVisible(main); });
        if (!main) return;

        HMENU menu = GetSystemMenu(main, FALSE);
        seen.menuItems = GetMenuItemCount(menu);
        if (seen.menuItems >= 2) {
            MENUITEMINFOW item = {};
            item.cbSize = sizeof item;
            item.fMask = MIIM_FTYPE;
            GetMenuItemInfoW(menu, seen.menuItems - 2, TRUE, &item);
            seen.separatorType = item.fType;
            seen.lastId = GetMenuItemID(menu, seen.menuItems - 1);
            wchar_t text[64] = {};
            GetMenuStringW(menu, seen.menuItems - 1, text, 64, MF_BYPOSITION);
            seen.lastText = text;
        }
        const LRESULT bigIcon = SendMessageW(main, WM_GETICON, ICON_BIG, 0);
        seen.bigIcon = bigIcon != 0;
        seen.smallIcon = SendMessageW(main, WM_GETICON, ICON_SMALL, 0) != 0;
        seen.dragIconIsTheIcon = SendMessageW(main, WM_QUERYDRAGICON, 0, 0) == bigIcon;

        // The low four bits of a system command are the system's; the entry still matches.
        PostMessageW(main, WM_SYSCOMMAND, kAboutCommand | 0x3, 0);
        HWND about = nullptr;
        waitUntil([&] { return (about = FindWindowW(kDialogClass, L"About UnInstall")) != nullptr; });
        if (about) {
            seen.aboutOwnedByMain = GetWindow(about, GW_OWNER) == main;
            PostMessageW(about, WM_COMMAND, IDOK, 0);
            seen.mainBackAfterAbout = waitUntil([&] { return !IsWindow(about) && IsWindowEnabled(main); });
        }
        PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    });
    const INT_PTR result = dialog.DoModal();
    driver.join();

    EXPECT_EQ(result, IDCANCEL);
    ASSERT_GE(seen.menuItems, 2);
    EXPECT_TRUE(seen.separatorType & MFT_SEPARATOR);
    EXPECT_EQ(seen.lastId, kAboutCommand);
    EXPECT_EQ(seen.lastText, L"&About UnInstall...");
    EXPECT_TRUE(seen.bigIcon);
    EXPECT_TRUE(seen.smallIcon);
    EXPECT_TRUE(seen.dragIconIsTheIcon);
    EXPECT_TRUE(seen.aboutOwnedByMain);
    EXPECT_TRUE(seen.mainBackAfterAbout);
}

}  // namespace
