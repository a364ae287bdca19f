#include "framework/Dialog.h"

#include <algorithm>

namespace fw {

Dialog::Dialog(UINT templateId, HWND owner) : m_templateId(templateId), m_owner(owner) {}

Dialog::~Dialog() {
    if (m_hwnd) {
        ::SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
        ::DestroyWindow(m_hwnd);
    }
}

INT_PTR Dialog::DoModal() {
    if (m_hwnd) return -1;
    m_ended = false;
    m_result = -1;

    // Disable the owner as DialogBox does; remember whether it was enabled before.
    bool ownerWasEnabled = m_owner && ::IsWindowEnabled(m_owner);
    if (ownerWasEnabled) ::EnableWindow(m_owner, FALSE);

    HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId),
                                     m_owner, dialogProc, reinterpret_cast<LPARAM>(this));
    INT_PTR result = -1;
    if (hwnd) {
        m_running = true;
        result = runModalLoop();
        m_running = false;
    }
    // Enable the owner before destroying, so that activation returns to it.
    if (ownerWasEnabled) ::EnableWindow(m_owner, TRUE);
    if (m_hwnd) ::DestroyWindow(m_hwnd);
    return result;
}

INT_PTR Dialog::runModalLoop() {
    // Templates without WS_VISIBLE are shown once, as DialogBox would, unless
    // OnInitDialog showed (or ended) the dialog itself.
    if (!m_ended && !::IsWindowVisible(m_hwnd)) ::ShowWindow(m_hwnd, SW_SHOWNORMAL);
    MSG msg;
    while (!m_ended) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Leave WM_QUIT for the loop outside.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        bool handled = false;
        try {
            handled = PreTranslateMessage(&msg);
        } catch (...) {
            EndDialog(-1);
            handled = true;
        }
        if (!handled && !(m_hwnd && ::IsDialogMessageW(m_hwnd, &msg))) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return m_result;
}

void Dialog::EndDialog(INT_PTR result) {
    m_result = result;
    m_ended = true;
    // Wakes the modal loop when called from outside a message handler.
    if (m_hwnd) ::PostMessageW(m_hwnd, WM_NULL, 0, 0);
}

BOOL Dialog::OnCommand(WPARAM wParam, LPARAM) {
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}

void Dialog::centreIfUnplaced(const RECT& before) {
    if (!m_hwnd || ::IsWindowVisible(m_hwnd) || (::GetWindowLongW(m_hwnd, GWL_STYLE) & WS_CHILD)) return;
    RECT now;
    ::GetWindowRect(m_hwnd, &now);
    if (now.left != before.left || now.top != before.top) return;

    HWND owner = ::GetWindow(m_hwnd, GW_OWNER);
    const bool overOwner = owner && ::IsWindowVisible(owner) && !::IsIconic(owner);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(overOwner ? owner : m_hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    RECT area = monitor.rcWork;
    if (overOwner) ::GetWindowRect(owner, &area);

    // Centred, but never beyond the work area of the monitor it lands on.
    const RECT& work = monitor.rcWork;
    const int width = now.right - now.left;
    const int height = now.bottom - now.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    x = (std::max)(static_cast<int>(work.left), (std::min)(x, static_cast<int>(work.right) - width));
    y = (std::max)(static_cast<int>(work.top), (std::min)(y, static_cast<int>(work.bottom) - height));
    ::SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Dialog::OnSysCommand(UINT, LPARAM) { return false; }

void Dialog::OnSize(UINT, int, int) {}

bool Dialog::OnUserMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

bool Dialog::PreTranslateMessage(MSG*) { return false; }

INT_PTR Dialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        RECT before;
        ::GetWindowRect(m_hwnd, &before);
        const BOOL result = OnInitDialog();
        centreIfUnplaced(before);
        return result;
    }
    case WM_COMMAND:
        return OnCommand(wParam, lParam);
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam), lParam) ? TRUE : FALSE;
    case WM_CLOSE:
        OnClose();
        return TRUE;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return TRUE;
    case WM_PAINT:
        return OnPaint() ? TRUE : FALSE;
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    default:
        if (message >= WM_USER && message <= 0xBFFF) {
            LRESULT result = 0;
            if (!OnUserMessage(message, wParam, lParam, result)) return FALSE;
            ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
}

INT_PTR CALLBACK Dialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT, ...) get the default processing.
    if (!self) return FALSE;

    INT_PTR handled = FALSE;
    try {
        handled = self->handleMessage(message, wParam, lParam);
    } catch (...) {
        self->EndDialog(-1);
        handled = FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hwnd = nullptr;
    }
    return handled;
}

}  // namespace fw
