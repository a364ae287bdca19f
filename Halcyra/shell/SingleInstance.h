#pragma once
// One launcher per machine: the named mutex decides; a second start brings the running
// launcher's window forward and ends.
#include <windows.h>

extern const char kInstanceMutexName[];
extern const wchar_t kLauncherExeName[];

// The window to bring forward for a process: over all top-level windows of the process,
// in enumeration order, the last one GetParent answers for (its owner). Where no window
// of the process has an owner (under Wine the input-method window has none, while on
// Windows it is owned by the main window), the first dialog window without an owner: the
// launcher's main window. nullptr if neither exists.
HWND findBringForwardWindow(DWORD processId);
// Restores and raises the running launcher's window, if it can be found.
void bringRunningLauncherForward();
