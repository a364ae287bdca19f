#include "UnInstall/UnInstallApp.h"

#include <commctrl.h>

#include "UnInstall/UnInstallDlg.h"

namespace {
const wchar_t kRegistryKey[] = L"Local AppWizard-Generated Applications";
}

CUnInstallApp theApp;

BOOL CUnInstallApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    fw::App::InitInstance();
    enableControlContainer();
    setRegistryKey(kRegistryKey);

    CUnInstallDlg dialog;
    setMainWindow(&dialog);
    dialog.DoModal();
    setMainWindow(nullptr);

    // Whatever the answer, the program ends here instead of entering a message loop.
    return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return fw::App::run(); }
