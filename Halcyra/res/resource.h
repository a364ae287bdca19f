// Resource identifiers of Launcher.exe.
#pragma once

#define IDD_ABOUTBOX        100
#define IDS_ABOUTBOX        101
#define IDD_HALCYRA_DIALOG  102
#define IDR_HTML_HALCYRA    104
#define IDR_MAINFRAME       128
#define IDD_EXIT_DIALOG     129
#define IDC_EXIT_DIRECT     1000
#define IDM_ABOUTBOX        0x0010
#define IDC_STATIC (-1)
