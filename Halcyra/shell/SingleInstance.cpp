#include "Halcyra/shell/SingleInstance.h"

#include "Halcyra/common/Helpers.h"

const char kInstanceMutexName[] = "VistaweaverLauncher";
const wchar_t kLauncherExeName[] = L"Launcher.exe";

HWND findBringForwardWindow(DWORD processId) {
    if (processId == 0) return nullptr;
    HWND found = nullptr;
    forEachProcessWindow(processId, [&found](HWND window) {
        if (HWND parent = ::GetParent(window)) found = parent;
        return true;  // never stop early: the last match wins
    });
    return found;
}

void bringRunningLauncherForward() {
    HWND window = findBringForwardWindow(findProcessByName(kLauncherExeName, ::GetCurrentProcessId()));
    if (!window) return;
    ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
}
