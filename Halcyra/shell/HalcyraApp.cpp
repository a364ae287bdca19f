#include "Halcyra/shell/HalcyraApp.h"

#include <commctrl.h>

#include "Halcyra/shell/HalcyraDlg.h"
#include "Halcyra/shell/SingleInstance.h"

namespace {
const wchar_t kRegistryKey[] = L"应用程序向导生成的本地应用程序";
}

BOOL CHalcyraApp::InitInstance() {
    fw::UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, kInstanceMutexName));
    // Any other failure counts as a first start.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex.reset();
        bringRunningLauncherForward();
        return FALSE;
    }
    m_instanceMutex = std::move(mutex);

    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    fw::App::InitInstance();
    enableControlContainer();
    setRegistryKey(kRegistryKey);

    CHalcyraDlg dlg;
    setMainWindow(&dlg);
    runMainWindow(dlg);
    setMainWindow(nullptr);
    return FALSE;
}

void runMainWindow(CHalcyraDlg& dlg) {
    dlg.DoModal();
    dlg.launcher().stopAllWork();
}
