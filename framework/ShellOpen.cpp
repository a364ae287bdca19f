#include "framework/ShellOpen.h"

#include <shellapi.h>

#include <mutex>

namespace fw {
namespace {

std::mutex recorderLock;
ShellOpenRecorder recorder;

// True when a recorder took the target.
bool record(const std::wstring& target) {
    ShellOpenRecorder current;
    {
        std::lock_guard<std::mutex> guard(recorderLock);
        current = recorder;
    }
    if (!current) return false;
    current(target);
    return true;
}

std::wstring widen(const char* text) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring wide(n, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(n - 1);
    return wide;
}

}  // namespace

void shellOpen(const wchar_t* target) {
    if (record(target ? target : L"")) return;
    ::ShellExecuteW(nullptr, L"open", target, nullptr, nullptr, SW_SHOW);
}

void shellOpen(const char* target) {
    if (record(target ? widen(target) : std::wstring())) return;
    ::ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOW);
}

void setShellOpenRecorder(ShellOpenRecorder newRecorder) {
    std::lock_guard<std::mutex> guard(recorderLock);
    recorder = std::move(newRecorder);
}

}  // namespace fw
