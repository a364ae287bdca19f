#pragma once
// An action run on this thread when a message posted now is dispatched: by a message loop,
// or by a wait of the code under test that dispatches this thread's messages meanwhile. A
// test that posts it just before a call knows, when the action runs, that the call has got
// as far as such a wait (a page timer firing while the launcher stops, a worker released
// only once the stop waits for it).
#include <windows.h>

#include <functional>

namespace testing_support {

class DispatchedAction {
public:
    explicit DispatchedAction(std::function<void()> action) : m_action(std::move(action)) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        ::RegisterClassW(&windowClass);  // fails harmlessly once the class exists
        m_window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     windowClass.hInstance, this);
    }
    ~DispatchedAction() {
        if (m_window) ::DestroyWindow(m_window);
    }
    DispatchedAction(const DispatchedAction&) = delete;
    DispatchedAction& operator=(const DispatchedAction&) = delete;

    // Posts the message behind those already waiting; false when it could not be posted.
    bool post() { return m_window && ::PostMessageW(m_window, WM_APP, 0, 0); }
    bool ran() const { return m_ran; }

private:
    static constexpr const wchar_t* kClassName = L"TestDispatchedAction";

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE)
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<DispatchedAction*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_APP && self) {
            self->m_ran = true;
            self->m_action();
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    std::function<void()> m_action;
    HWND m_window = nullptr;
    bool m_ran = false;
};

}  // namespace testing_support
