#include "UnInstall/UnInstall2.h"

#include "UnInstall/Removal.h"
#include "UnInstall/resource.h"

UnInstall2::UnInstall2(HWND owner) : Dialog(IDD_UNINSTALL2, owner) {}

// The removals run inside the handler: the dialog stays on screen without responding
// until every deletion has been tried.
void UnInstall2::OnOK() {
    removeAll();
    Dialog::OnOK();
}

BOOL UnInstall2::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDC_REMOVE_APP_ONLY) {
        removeApplicationOnly();
        EndDialog(IDOK);
        return TRUE;
    }
    return Dialog::OnCommand(wParam, lParam);
}
