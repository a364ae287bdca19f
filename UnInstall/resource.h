#pragma once
// Resource identifiers of the uninstaller, shared by the code and res/UnInstall.rc.

#define IDD_UNINSTALL2        9
#define IDD_ABOUTBOX          100
#define IDS_ABOUTBOX          101
#define IDD_UNINSTALL_DIALOG  102
#define IDR_MAINFRAME         128

// Button of the second dialog that removes the application only.
#define IDC_REMOVE_APP_ONLY   3

// System-menu entry that opens the about box; system commands keep the low four bits free.
#define IDM_ABOUTBOX          0x0010
