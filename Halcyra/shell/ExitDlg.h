#pragma once
// The close prompt: minimise to the tray (IDOK), exit (kExit), or stay (IDCANCEL).
#include "Halcyra/res/resource.h"
#include "framework/Dialog.h"

class ExitDlg : public fw::Dialog {
public:
    static const INT_PTR kMinimiseToTray = IDOK;
    static const INT_PTR kExit = IDC_EXIT_DIRECT;

    explicit ExitDlg(HWND owner) : Dialog(IDD_EXIT_DIALOG, owner) {}

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        if (LOWORD(wParam) == IDC_EXIT_DIRECT && HIWORD(wParam) == BN_CLICKED) {
            EndDialog(kExit);
            return TRUE;
        }
        return Dialog::OnCommand(wParam, lParam);
    }
};
