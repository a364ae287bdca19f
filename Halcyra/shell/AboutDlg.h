#pragma once
// The about box, opened from the system menu; closes with OK or Escape.
#include "Halcyra/res/resource.h"
#include "framework/Dialog.h"

class CAboutDlg : public fw::Dialog {
public:
    explicit CAboutDlg(HWND owner) : Dialog(IDD_ABOUTBOX, owner) {}
};
