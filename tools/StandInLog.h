#pragma once
// The log that a stand-in keeps beside itself (<own path>.log, UTF-8, CR LF lines), so
// that tests and the demo can see how it was started and what it received.
#include <windows.h>

#include <string>

namespace standin {

inline std::string utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

inline std::wstring modulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

inline std::wstring currentDirectory()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(size, L'\0');
    dir.resize(GetCurrentDirectoryW(size, &dir[0]));
    return dir;
}

// "<command line>|<current directory>": how the stand-in was started.
inline std::string startRecord()
{
    return utf8(GetCommandLineW()) + "|" + utf8(currentDirectory());
}

// Opened for each line, shared, so that tests can read the log while the stand-in runs.
// False when the log cannot be opened.
inline bool appendLogLine(const std::string& text)
{
    const std::string line = text + "\r\n";
    HANDLE log = CreateFileW((modulePath() + L".log").c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);
    return true;
}

}  // namespace standin
