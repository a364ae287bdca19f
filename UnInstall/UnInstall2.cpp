#include "UnInstall/UnInstall2.h"

#include "UnInstall/Removal.h"
#include "UnInstall/StayedMessage.h"
#include "UnInstall/resource.h"

UnInstall2::UnInstall2(HWND owner) : Dialog(IDD_UNINSTALL2, owner) {}

// The removals run inside the handler: the dialog stays on screen without responding
// until every deletion has been tried, then says what stayed, if anything did.
void UnInstall2::OnOK() {
    showWhatStayed(hwnd(), removeAll());
    Dialog::OnOK();
}

BOOL UnInstall2::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDC_REMOVE_APP_ONLY) {
        showWhatStayed(hwnd(), removeApplicationOnly());
        EndDialog(IDOK);
        return TRUE;
    }
    return Dialog::OnCommand(wParam, lParam);
}
