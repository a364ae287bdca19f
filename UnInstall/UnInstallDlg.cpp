#include "UnInstall/UnInstallDlg.h"

#include "UnInstall/AboutDlg.h"
#include "UnInstall/UnInstall2.h"
#include "UnInstall/resource.h"

namespace {

HICON loadAppIcon(int width, int height) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                           IMAGE_ICON, width, height, LR_SHARED));
}

}  // namespace

CUnInstallDlg::CUnInstallDlg(HWND owner)
    : Dialog(IDD_UNINSTALL_DIALOG, owner),
      m_hIcon(loadAppIcon(::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON))),
      m_hSmallIcon(loadAppIcon(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON))) {}

BOOL CUnInstallDlg::OnInitDialog() {
    Dialog::OnInitDialog();

    static_assert((IDM_ABOUTBOX & 0xFFF0) == IDM_ABOUTBOX && IDM_ABOUTBOX < 0xF000,
                  "system commands keep the low four bits and the range from 0xF000");
    if (HMENU systemMenu = ::GetSystemMenu(hwnd(), FALSE)) {
        wchar_t aboutText[64] = {};
        if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutText, 64) > 0) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
        }
    }
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    return TRUE;
}

bool CUnInstallDlg::OnSysCommand(UINT id, LPARAM lParam) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg(hwnd()).DoModal();
        return true;
    }
    return Dialog::OnSysCommand(id, lParam);
}

bool CUnInstallDlg::OnPaint() {
    if (!::IsIconic(hwnd())) return false;

    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd(), &paint);
    ::SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(hwnd(), &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(hwnd(), &paint);
    return true;
}

INT_PTR CUnInstallDlg::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The cursor shown while the minimised window is dragged; a dialog procedure returns
    // this one directly.
    if (message == WM_QUERYDRAGICON) return reinterpret_cast<INT_PTR>(m_hIcon);
    return Dialog::handleMessage(message, wParam, lParam);
}

void CUnInstallDlg::OnOK() {
    ::ShowWindow(hwnd(), SW_HIDE);
    UnInstall2(hwnd()).DoModal();
    Dialog::OnOK();
}
