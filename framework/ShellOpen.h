#pragma once
// Every target the programs hand to the shell's "open" goes through these functions, so
// that tests can see what reached the shell without a browser or file manager opening.
#include <windows.h>

#include <functional>
#include <string>

namespace fw {

// ShellExecute with no owner, the verb "open", no parameters, no directory, SW_SHOW;
// narrow targets are in the ANSI code page (ShellExecuteA). The result is not reported:
// the shell tells the user itself when it cannot open something.
void shellOpen(const wchar_t* target);
void shellOpen(const char* target);

// Test seam: while a recorder is installed nothing is opened; the recorder sees each
// target (narrow ones widened from the ANSI code page).
using ShellOpenRecorder = std::function<void(const std::wstring& target)>;
void setShellOpenRecorder(ShellOpenRecorder recorder);

}  // namespace fw
