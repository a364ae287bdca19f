// 7z.exe for tests and the demo. Wine starts a Linux program detached (its process handle
// is signalled at once), so a caller waiting for the extraction to end would go on while
// 7-Zip still runs. This Windows program starts 7z-standin.sh with the same arguments and
// waits for the marker file the script writes when 7-Zip has ended; it exits with 7-Zip's
// exit code.
#include <windows.h>

#include "tests/support/LinuxProgram.h"

#include <cstdio>
#include <string>

namespace {

const wchar_t kScriptName[] = L"7z-standin.sh";
// The build tree's bin directory in every prefix the tests and the demo make.
const wchar_t kFallbackDir[] = L"C:\\halcyra\\";
const DWORD kPollMs = 20;
const DWORD kGiveUpMs = 30 * 60 * 1000;
const int kFailure = 2;  // 7-Zip's "fatal error"

std::wstring directoryOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring modulePath()
{
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    return path;
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring findScript()
{
    const std::wstring beside = directoryOf(modulePath()) + kScriptName;
    return exists(beside) ? beside : std::wstring(kFallbackDir) + kScriptName;
}

// The command line after the program name, exactly as the caller wrote it.
std::wstring argumentsText()
{
    const wchar_t* text = GetCommandLineW();
    bool quoted = false;
    for (; *text && (quoted || (*text != L' ' && *text != L'\t')); ++text)
        if (*text == L'"') quoted = !quoted;
    while (*text == L' ' || *text == L'\t') ++text;
    return text;
}

std::wstring newMarkerPath()
{
    wchar_t dir[MAX_PATH] = {}, file[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"7z", 0, file);
    DeleteFileW(file);  // the script's rename creates it when 7-Zip has ended
    return file;
}

int readExitCode(const std::wstring& marker)
{
    int code = kFailure;
    if (FILE* file = _wfopen(marker.c_str(), L"rb")) {
        if (std::fscanf(file, "%d", &code) != 1) code = kFailure;
        std::fclose(file);
    }
    DeleteFileW(marker.c_str());
    return code;
}

}  // namespace

int wmain()
{
    const std::wstring marker = newMarkerPath();
    const std::wstring command = L"\"" + findScript() + L"\" --done=" + marker + L" " + argumentsText();
    if (!testing_support::startLinuxProgram(command)) return kFailure;

    const DWORD start = GetTickCount();
    while (!exists(marker)) {
        if (GetTickCount() - start > kGiveUpMs) return kFailure;
        Sleep(kPollMs);
    }
    return readExitCode(marker);
}
