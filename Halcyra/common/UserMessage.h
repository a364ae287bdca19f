#pragma once
// Message boxes about the launcher's own work, shown from any thread: a download worker, the
// extraction, the engine update, the drive move. Each is owned by the launcher's main window
// while that window exists and is brought to the front, so that none can open behind the
// maximised launcher while the launcher waits for it to be answered.
#include <windows.h>

// The main window, once it exists; nullptr when it goes (and without a window at all).
void setMessageOwner(HWND window);
HWND messageOwner();

// Shows text and caption (ANSI code page) with the buttons of type; the answer (IDOK, IDYES...).
// Without a main window the box stays above every other window instead.
int showUserMessage(const char* text, const char* caption, UINT type);
