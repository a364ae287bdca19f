#include "Halcyra/shell/SingleInstance.h"

#include <tlhelp32.h>

#include <cwchar>

#include "framework/UniqueHandle.h"

const char kInstanceMutexName[] = "VistaweaverLauncher";
const wchar_t kLauncherExeName[] = L"Launcher.exe";

DWORD findOtherProcess(const wchar_t* exeName) {
    fw::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    const DWORD self = ::GetCurrentProcessId();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (std::wcscmp(entry.szExeFile, exeName) == 0 && entry.th32ProcessID != self)
            return entry.th32ProcessID;
    }
    return 0;
}

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
    HWND window = findBringForwardWindow(findOtherProcess(kLauncherExeName));
    if (!window) return;
    ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
}
