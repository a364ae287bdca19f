// Stands in for the system's taskkill in tests: Wine's own taskkill cannot find processes
// of ordinary programs by image name. Understands what the launcher uses:
//   taskkill /im NAME [/f]   terminates every process whose executable name is NAME
//                            (letter case ignored, as taskkill does)
// Exit code 0 when at least one process was terminated, 128 when none matched, 1 on a
// command line it does not understand. It always terminates, as with /f.
// TASKKILL_STANDIN_DELAY_MS in the environment makes it take that long before it
// terminates anything, as a busy system's taskkill may.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int kTerminated = 0;
const int kUsage = 1;
const int kNotFound = 128;

struct HandleCloser {
    HANDLE handle;
    ~HandleCloser()
    {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

std::vector<DWORD> processesNamed(const std::wstring& name)
{
    std::vector<DWORD> ids;
    HandleCloser snapshot{CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)};
    if (snapshot.handle == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.handle, &entry); more;
         more = Process32NextW(snapshot.handle, &entry)) {
        if (lstrcmpiW(entry.szExeFile, name.c_str()) == 0)
            ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring name;
    bool understood = args != nullptr;
    for (int i = 1; understood && i < count; ++i) {
        if (lstrcmpiW(args[i], L"/im") == 0 && i + 1 < count)
            name = args[++i];
        else
            understood = lstrcmpiW(args[i], L"/f") == 0;
    }
    LocalFree(args);
    if (!understood || name.empty())
        return kUsage;

    wchar_t delay[16] = {};
    if (GetEnvironmentVariableW(L"TASKKILL_STANDIN_DELAY_MS", delay, 16) > 0)
        Sleep(static_cast<DWORD>(_wtoi(delay)));

    int terminated = 0;
    for (DWORD id : processesNamed(name)) {
        HandleCloser process{OpenProcess(PROCESS_TERMINATE, FALSE, id)};
        if (process.handle && TerminateProcess(process.handle, 1))
            ++terminated;
    }
    return terminated > 0 ? kTerminated : kNotFound;
}
