#include "Halcyra/shell/SingleInstance.h"

#include "Halcyra/shell/Helpers.h"

const char kInstanceMutexName[] = "VistaweaverLauncher";
const wchar_t kLauncherExeName[] = L"Launcher.exe";

namespace {
struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK rememberOwnedWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId) {
        if (HWND parent = ::GetParent(window)) search->found = parent;
    }
    return TRUE;  // never stop early: the last match wins
}
}  // namespace

HWND findBringForwardWindow(DWORD processId) {
    if (processId == 0) return nullptr;
    WindowSearch search{processId, nullptr};
    ::EnumWindows(rememberOwnedWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void bringRunningLauncherForward() {
    HWND window = findBringForwardWindow(findProcessByName(kLauncherExeName, ::GetCurrentProcessId()));
    if (!window) return;
    ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
}
