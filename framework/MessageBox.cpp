#include "MessageBox.h"

#include <mutex>

namespace fw {
namespace {

std::mutex recorderLock;
MessageBoxRecorder recorder;

std::wstring widen(const char* text) {
    if (!text || !*text) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(n - 1);
    return wide;
}

// Returns true and sets answer when a recorder took the call.
bool record(const MessageBoxCall& call, int& answer) {
    MessageBoxRecorder current;
    {
        std::lock_guard<std::mutex> guard(recorderLock);
        current = recorder;
    }
    if (!current) return false;
    answer = current(call);
    return true;
}

}  // namespace

int messageBox(HWND owner, const char* text, const char* caption, UINT type) {
    int answer = 0;
    if (record({owner, widen(text), widen(caption), type}, answer)) return answer;
    return MessageBoxA(owner, text, caption, type);
}

int messageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    int answer = 0;
    if (record({owner, text ? text : L"", caption ? caption : L"", type}, answer)) return answer;
    return MessageBoxW(owner, text, caption, type);
}

void setMessageBoxRecorder(MessageBoxRecorder newRecorder) {
    std::lock_guard<std::mutex> guard(recorderLock);
    recorder = std::move(newRecorder);
}

}  // namespace fw
