#include "Halcyra/common/Helpers.h"

#include "Halcyra/common/UserMessage.h"
#include "framework/UniqueHandle.h"
#include "utility/Directories.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

const wchar_t kEngineExecutable[] = L"Vistaweaver-Win64-Shipping.exe";

struct WindowVisit {
    DWORD processId;
    const std::function<bool(HWND)>* visit;
};

BOOL CALLBACK visitProcessWindow(HWND window, LPARAM context) {
    const auto* search = reinterpret_cast<const WindowVisit*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner != search->processId || (*search->visit)(window) ? TRUE : FALSE;
}

}  // namespace

std::string toNarrow(const wchar_t* text, int length) {
    if (!text || length <= 0) return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string narrow(size, '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, length, &narrow[0], size, nullptr, nullptr) <= 0) {
        return std::string();
    }
    return narrow;
}

std::string toNarrow(const std::wstring& text) {
    return toNarrow(text.data(), static_cast<int>(text.size()));
}

std::wstring toWide(const char* text, int length) {
    if (!text || length <= 0) return std::wstring();
    const int size = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(size, L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text, length, &wide[0], size) <= 0) return std::wstring();
    return wide;
}

std::wstring toWide(const std::string& text) {
    return toWide(text.data(), static_cast<int>(text.size()));
}

// The table library carries the one implementation of these three.
std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::wstring programPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::string getFilePath(const std::string& path) {
    return ROVodi::getFilePath(path);
}

bool createDirectories(const std::string& path) {
    return ROVodi::createDirectories(path);
}

bool createParentDirs(const std::string& path) {
    return ROVodi::createParentDirs(path);
}

std::string getFileName(const std::string& path) {
    const std::string::size_type separator = path.find_last_of("/\\");
    if (separator == std::string::npos) return path;
    return path.substr(separator + 1);
}

std::string getFileExtension(const std::string& name) {
    const std::string::size_type dot = name.rfind('.');
    if (dot == std::string::npos) return std::string();
    return name.substr(dot + 1);
}

bool runAndWait(const std::string& commandLine, WORD show, const std::string& directory,
                unsigned long* exitCode, HANDLE stop) {
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');  // CreateProcessA may write into it

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &process))
        return false;
    const fw::UniqueHandle processHandle(process.hProcess);
    const fw::UniqueHandle threadHandle(process.hThread);
    const HANDLE objects[] = {processHandle.get(), stop};
    if (WaitForMultipleObjects(stop ? 2 : 1, objects, FALSE, INFINITE) != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.get(), 1);
        WaitForSingleObject(processHandle.get(), INFINITE);
        return false;
    }
    DWORD code = 0;
    if (exitCode) *exitCode = GetExitCodeProcess(processHandle.get(), &code) ? code : STILL_ACTIVE;
    return true;
}

DWORD findProcessByName(const wchar_t* exeName, DWORD skippedId) {
    fw::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (std::wcscmp(entry.szExeFile, exeName) == 0 && entry.th32ProcessID != skippedId)
            return entry.th32ProcessID;
    }
    return 0;
}

DWORD findEngineProcess() {
    return findProcessByName(kEngineExecutable);
}

void forEachProcessWindow(DWORD processId, const std::function<bool(HWND)>& visit) {
    WindowVisit search = {processId, &visit};
    EnumWindows(visitProcessWindow, reinterpret_cast<LPARAM>(&search));
}

HWND findProcessWindow(DWORD processId) {
    HWND found = nullptr;
    forEachProcessWindow(processId, [&found](HWND window) {
        found = window;
        return false;
    });
    return found;
}

void showCreateFileFailed(const std::string& path) {
    static const char kFormat[] =
        "创建文件（%s）失败! 通常是您没有写文件权限引起，请尝试重置Internet Explorer设置!";
    static const char kCaption[] = "创建文件失败";
    char message[1024] = {};
    std::snprintf(message, sizeof message, kFormat, path.c_str());
    showUserMessage(message, kCaption, MB_OK);
}
