#pragma once
// Starting a Linux program (a script beside the test programs, a tool under \\?\unix\bin)
// from a Windows program under Wine.
//
// Wine runs such a program outside its Windows process world. CreateProcess reports
// success, but the handles it leaves in PROCESS_INFORMATION are not handles of the caller:
// Wine 8.0 fills them from an uninitialised variable and even resumes that "thread". The
// values seen include live handles of the caller (a thread, an event, a socket), so
// closing them closes something another part of the program still uses. They are never
// touched here; and since there is nothing to wait on, callers poll for a file the
// program writes when it is done.
#include <windows.h>

#include <string>

namespace testing_support {

// Starts the command line (program first, quoted when it holds spaces) in directory, or in
// the current directory when that is empty. False when Wine could not start it.
inline bool startLinuxProgram(std::wstring commandLine, const std::wstring& directory = std::wstring())
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION ignored = {};
    commandLine.push_back(L'\0');  // CreateProcessW may write into it
    return CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          directory.empty() ? nullptr : directory.c_str(), &startup, &ignored) != FALSE;
}

}  // namespace testing_support
