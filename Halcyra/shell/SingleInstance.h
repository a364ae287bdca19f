#pragma once
// One launcher per machine: the named mutex decides; a second start brings the running
// launcher's window forward and ends.
#include <windows.h>

extern const char kInstanceMutexName[];
extern const wchar_t kLauncherExeName[];

// The window to bring forward for a process: over all top-level windows of the process,
// in enumeration order, the last one GetParent answers for (its owner); nullptr if none.
HWND findBringForwardWindow(DWORD processId);
// Restores and raises the running launcher's window, if it can be found.
void bringRunningLauncherForward();
