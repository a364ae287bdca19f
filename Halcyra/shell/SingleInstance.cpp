#include "Halcyra/shell/SingleInstance.h"

#include "Halcyra/common/Helpers.h"

const char kInstanceMutexName[] = "VistaweaverLauncher";
const wchar_t kLauncherExeName[] = L"Launcher.exe";

namespace {
const wchar_t kDialogClass[] = L"#32770";
}

HWND findBringForwardWindow(DWORD processId) {
    if (processId == 0) return nullptr;
    HWND found = nullptr;
    HWND unownedDialog = nullptr;
    forEachProcessWindow(processId, [&](HWND window) {
        if (HWND parent = ::GetParent(window)) found = parent;
        wchar_t className[16] = {};
        if (!unownedDialog && !::GetWindow(window, GW_OWNER) && ::GetClassNameW(window, className, 16) > 0 &&
            wcscmp(className, kDialogClass) == 0)
            unownedDialog = window;
        return true;  // never stop early: the last match wins
    });
    return found ? found : unownedDialog;
}

void bringRunningLauncherForward() {
    HWND window = findBringForwardWindow(findProcessByName(kLauncherExeName, ::GetCurrentProcessId()));
    if (!window) return;
    ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
}
