#include "Halcyra/shell/HalcyraDlg.h"

#include "Halcyra/common/Helpers.h"
#include "Halcyra/common/UserMessage.h"
#include "Halcyra/res/resource.h"
#include "Halcyra/shell/AboutDlg.h"
#include "Halcyra/shell/BrowserFeatures.h"
#include "Halcyra/shell/ExitDlg.h"
#include "Halcyra/shell/PageTrust.h"
#include "Halcyra/shell/StartPage.h"
#include "framework/PopupMenu.h"

namespace {

const UINT kTrayIconId = 1;
const UINT kTrayMessage = WM_USER + 1;
const wchar_t kTrayTip[] = L"Lumaro";
const wchar_t kTaskbarCreatedMessage[] = L"TaskbarCreated";

const UINT kShowMainWindowCommand = 1026;
const char kShowMainWindowText[] = "打开主窗口";
const char kExitText[] = "退出";

const char kStartPageFile[] = "web.ini";

}  // namespace

CHalcyraDlg::CHalcyraDlg()
    : HtmlDialog(IDD_HALCYRA_DIALOG),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_taskbarCreated(::RegisterWindowMessageW(kTaskbarCreatedMessage)),
      m_programPath(programPath()) {
    // The page's own buttons end the launcher; a page of another site reached by a link
    // may name its elements alike, and its clicks count for nothing.
    onClick(L"ButtonOK", [this] {
        if (CanAccessExternal()) OnOK();
        return S_OK;
    });
    onClick(L"ButtonCancel", [this] {
        if (CanAccessExternal()) OnCancel();
        return S_OK;
    });
}

bool CHalcyraDlg::isTrustedDocument(const std::wstring& address) const {
    return isTrustedPage(address, m_startPage, m_programPath);
}

BOOL CHalcyraDlg::OnInitDialog() {
    HtmlDialog::OnInitDialog();
    addSystemMenuItems();
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    SetExternalDispatch(m_launcher.bridge());
    writeBrowserFeatures();
    ::SetWindowPos(hwnd(), nullptr, 0, 0, 1280, 738, SWP_NOZORDER);
    ::ShowWindow(hwnd(), SW_SHOWMAXIMIZED);
    setMessageOwner(hwnd());
    m_launcher.initStartupState();
    m_startPage = startPageAddress(kStartPageFile);
    Navigate(m_startPage.c_str());
    addTrayIcon();
    return TRUE;
}

void CHalcyraDlg::addSystemMenuItems() {
    HMENU systemMenu = ::GetSystemMenu(hwnd(), FALSE);
    wchar_t text[128] = {};
    if (!systemMenu || ::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 128) <= 0)
        return;
    ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
}

void CHalcyraDlg::addTrayIcon() {
    m_trayIcon.cbSize = sizeof m_trayIcon;
    m_trayIcon.hWnd = hwnd();
    m_trayIcon.uID = kTrayIconId;
    m_trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_trayIcon.uCallbackMessage = kTrayMessage;
    m_trayIcon.hIcon = m_hIcon;
    wcscpy_s(m_trayIcon.szTip, kTrayTip);
    // Without the icon the launcher still runs; a second start shows a hidden window.
    ::Shell_NotifyIconW(NIM_ADD, &m_trayIcon);
}

void CHalcyraDlg::removeTrayIcon() {
    if (m_trayIcon.hWnd) ::Shell_NotifyIconW(NIM_DELETE, &m_trayIcon);
    m_trayIcon.hWnd = nullptr;
}

void CHalcyraDlg::OnDestroy() {
    setMessageOwner(nullptr);
    // An icon left behind would stay in the tray until the pointer passes over it.
    removeTrayIcon();
    HtmlDialog::OnDestroy();
}

INT_PTR CHalcyraDlg::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A restarted shell knows no icons: the tray icon is the way back to a hidden window.
    if (message == m_taskbarCreated && m_taskbarCreated != 0 && m_trayIcon.hWnd) {
        ::Shell_NotifyIconW(NIM_ADD, &m_trayIcon);
        return TRUE;
    }
    return HtmlDialog::handleMessage(message, wParam, lParam);
}

bool CHalcyraDlg::OnSysCommand(UINT id, LPARAM) {
    if ((id & 0xFFF0) != IDM_ABOUTBOX) return false;
    CAboutDlg(hwnd()).DoModal();
    return true;
}

bool CHalcyraDlg::PreTranslateMessage(MSG* msg) {
    // Enter and Escape belong to the page: the dialog manager must not turn them into
    // IDOK / IDCANCEL and close the launcher.
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) {
        ::TranslateMessage(msg);
        ::DispatchMessageW(msg);
        return true;
    }
    return HtmlDialog::PreTranslateMessage(msg);
}

// The launcher's work is stopped while this window still exists and answers: a worker may
// be showing a message box that this window owns, and the user has to be able to see and
// answer it before the launcher can end.
void CHalcyraDlg::endAfterStopping(INT_PTR result) {
    if (m_stopping) return;  // closed again while stopping
    m_stopping = true;
    // A minimised owner hides the boxes it owns.
    if (::IsIconic(hwnd())) ::ShowWindow(hwnd(), SW_RESTORE);
    m_launcher.stopAllWork();
    m_stopping = false;
    EndDialog(result);
}

void CHalcyraDlg::OnClose() {
    if (m_stopping) return;
    if (::IsIconic(hwnd())) {
        HtmlDialog::OnClose();
        return;
    }
    switch (ExitDlg(hwnd()).DoModal()) {
    case ExitDlg::kMinimiseToTray:
        ::ShowWindow(hwnd(), SW_HIDE);
        break;
    case ExitDlg::kExit:
        HtmlDialog::OnClose();
        break;
    default:  // Escape or the prompt's close box: stay
        break;
    }
}

bool CHalcyraDlg::OnUserMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    if (message != kTrayMessage) return false;
    result = onTrayNotify(static_cast<UINT>(lParam));
    return true;
}

LRESULT CHalcyraDlg::onTrayNotify(UINT mouseMessage) {
    switch (mouseMessage) {
    case WM_LBUTTONUP:
        showMaximisedInFront();
        return 1;
    case WM_RBUTTONUP: {
        POINT cursor{};
        ::GetCursorPos(&cursor);
        fw::PopupMenu menu;
        menu.append(kShowMainWindowCommand, kShowMainWindowText);
        menu.append(IDCANCEL, kExitText);
        // Without being in front, the menu would not close when the user clicks elsewhere.
        ::SetForegroundWindow(hwnd());
        menu.track(hwnd(), cursor, 0);
        return 1;
    }
    default:
        return 0;
    }
}

BOOL CHalcyraDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == kShowMainWindowCommand) showMaximisedInFront();
    return HtmlDialog::OnCommand(wParam, lParam);
}

void CHalcyraDlg::showMaximisedInFront() {
    ::ShowWindow(hwnd(), SW_SHOWMAXIMIZED);
    ::SetForegroundWindow(hwnd());
}
