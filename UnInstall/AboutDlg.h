#pragma once
// The about box, opened from the main dialog's system menu.
#include "framework/Dialog.h"

class CAboutDlg : public fw::Dialog {
public:
    explicit CAboutDlg(HWND owner);
};
