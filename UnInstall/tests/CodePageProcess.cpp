#include "UnInstall/tests/CodePageProcess.h"

#include <tlhelp32.h>

#include <map>

#include "tests/support/LinuxProgram.h"

namespace uninstall_test {
namespace {

const DWORD kStartTimeoutMs = 20000;
const DWORD kPollMs = 10;
const DWORD kParentlessMs = 5000;

// Processes running the program: their ids, each with its parent's.
std::map<DWORD, DWORD> processesOf(const std::wstring& program) {
    std::map<DWORD, DWORD> found;
    fw::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) return found;
    do {
        if (CompareStringOrdinal(entry.szExeFile, -1, program.c_str(), -1, TRUE) == CSTR_EQUAL)
            found.emplace(entry.th32ProcessID, entry.th32ParentProcessID);
    } while (Process32NextW(snapshot.get(), &entry));
    return found;
}

const wchar_t* localeFor(UINT codePage) {
    switch (codePage) {
    case 936: return L"zh_CN.UTF-8";
    case 1252: return L"C.UTF-8";
    default: return nullptr;
    }
}

}  // namespace

fw::UniqueHandle startInCodePage(UINT codePage, const std::wstring& program, const std::wstring& arguments) {
    const wchar_t* locale = localeFor(codePage);
    if (!locale) return fw::UniqueHandle();
    const std::map<DWORD, DWORD> before = processesOf(program);
    const std::wstring commandLine = std::wstring(L"\\\\?\\unix\\usr\\bin\\env LC_ALL=") + locale + L" LANG=" + locale +
                                     L" HALCYRA_CODE_PAGE=" + std::to_wstring(codePage) + L" wine C:\\halcyra\\" + program +
                                     L" " + arguments;
    // From a directory Wine can name: the program starts there instead of warning.
    if (!testing_support::startLinuxProgram(commandLine, L"C:\\")) return fw::UniqueHandle();

    // Wine runs the program through start.exe, whose own process goes by the program's name
    // for a moment (and has no parent). The program's process is the one start.exe starts,
    // seen within a few hundred milliseconds; one without a parent counts only once it has
    // kept the name for kParentlessMs, far longer than a busy machine takes to start it.
    std::map<DWORD, DWORD> firstSeen;
    for (DWORD waited = 0; waited < kStartTimeoutMs; waited += kPollMs) {
        for (const auto& [id, parent] : processesOf(program)) {
            if (before.count(id)) continue;
            const DWORD since = firstSeen.emplace(id, waited).first->second;
            if (parent != 0 || waited - since >= kParentlessMs)
                return fw::UniqueHandle(
                    OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id));
        }
        Sleep(kPollMs);
    }
    return fw::UniqueHandle();
}

}  // namespace uninstall_test
