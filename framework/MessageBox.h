#pragma once
// Every message box of both programs goes through these functions, so that tests can
// record what would be shown and answer in the user's place.
#include <windows.h>
#include <functional>
#include <string>

namespace fw {

struct MessageBoxCall {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};

// Shows a message box; narrow texts are in the ANSI code page (MessageBoxA).
int messageBox(HWND owner, const char* text, const char* caption, UINT type);
int messageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Test seam: while a recorder is installed no window is shown; the recorder sees the call
// (texts widened from the ANSI code page) and its result is the answer (IDOK, IDYES, ...).
using MessageBoxRecorder = std::function<int(const MessageBoxCall&)>;
void setMessageBoxRecorder(MessageBoxRecorder recorder);

}  // namespace fw
