#include "UnInstall/AboutDlg.h"

#include "UnInstall/resource.h"

CAboutDlg::CAboutDlg(HWND owner) : Dialog(IDD_ABOUTBOX, owner) {}
