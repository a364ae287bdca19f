#pragma once
// Asks the shell whether a window's tray icon is there: changing nothing about an icon
// succeeds only for an icon the shell holds.
#include <windows.h>
#include <shellapi.h>

inline bool trayIconShown(HWND owner, UINT id = 1) {
    NOTIFYICONDATAW probe{};
    probe.cbSize = sizeof probe;
    probe.hWnd = owner;
    probe.uID = id;
    return ::Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}
