#include "Halcyra/pagehost/UiThreadCalls.h"

namespace {

const wchar_t kWindowClass[] = L"HalcyraPageHostCalls";
const UINT kRunMessage = WM_APP + 1;

struct Call {
    const std::function<void()>* work;
    const std::atomic<bool>* closed;
    bool ran;
};

}  // namespace

UiThreadCalls::UiThreadCalls() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);  // fails harmlessly when registered already
    m_window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
}

UiThreadCalls::~UiThreadCalls() {
    if (m_window) ::DestroyWindow(m_window);
}

bool UiThreadCalls::run(const std::function<void()>& work) {
    std::lock_guard<std::mutex> oneAtATime(m_oneAtATime);
    if (m_closed || !m_window) return false;
    Call call{&work, &m_closed, false};
    ::SendMessageW(m_window, kRunMessage, 0, reinterpret_cast<LPARAM>(&call));
    return call.ran;
}

LRESULT CALLBACK UiThreadCalls::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kRunMessage) return ::DefWindowProcW(window, message, wParam, lParam);
    Call& call = *reinterpret_cast<Call*>(lParam);
    // Closed while this call waited for the thread (it was shutting down).
    if (*call.closed) return 0;
    (*call.work)();
    call.ran = true;
    return 0;
}
