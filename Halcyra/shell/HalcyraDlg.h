#pragma once
// The launcher's main window: a browser dialog showing the start page, with the tray icon,
// the close prompt and the system menu. It owns the launcher and hands its script bridge
// to the browser as the page's external object.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "Halcyra/launcher/Launcher.h"
#include "framework/HtmlDialog.h"

class CHalcyraDlg : public fw::HtmlDialog {
public:
    CHalcyraDlg();

    Launcher& launcher() { return m_launcher; }

    // Only the launcher's own pages and those of the start page's site may use the
    // bridge, decided from the address of the calling document at the time of asking.
    bool isTrustedDocument(const std::wstring& address) const override;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    bool OnSysCommand(UINT id, LPARAM lParam) override;
    void OnClose() override;
    void OnOK() override { endAfterStopping(IDOK); }
    void OnCancel() override { endAfterStopping(IDCANCEL); }
    bool OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool PreTranslateMessage(MSG* msg) override;
    void OnDestroy() override;
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void addSystemMenuItems();
    void addTrayIcon();
    void removeTrayIcon();
    LRESULT onTrayNotify(UINT mouseMessage);
    void showMaximisedInFront();
    void endAfterStopping(INT_PTR result);

    HICON m_hIcon;
    NOTIFYICONDATAW m_trayIcon{};
    const UINT m_taskbarCreated;  // the shell's "TaskbarCreated": it (re)started
    std::wstring m_startPage;  // the address opened at start; its host is trusted
    std::wstring m_programPath;
    Launcher m_launcher;
    bool m_stopping = false;  // while the work stops before the window ends
};
