#pragma once
// Modal dialog created from a dialog template in the program's resources.
//
// Use: derive, pass the template id (and an owner window) to the constructor, override
// the handlers you need, call DoModal(). DoModal returns the value given to EndDialog,
// or -1 if the window could not be created.
//
//     class ConfirmDlg : public fw::Dialog {
//     public:
//         explicit ConfirmDlg(HWND owner) : Dialog(IDD_CONFIRM, owner) {}
//     protected:
//         BOOL OnInitDialog() override { ...; return TRUE; }   // TRUE: default focus
//         BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
//             if (LOWORD(wParam) == IDC_MORE) { EndDialog(IDC_MORE); return TRUE; }
//             return Dialog::OnCommand(wParam, lParam);           // IDOK/IDCANCEL
//         }
//     };
//     INT_PTR result = ConfirmDlg(owner).DoModal();
//
// Defaults: IDOK calls OnOK() and IDCANCEL calls OnCancel(), which end the dialog with
// IDOK / IDCANCEL; WM_CLOSE calls OnClose(), which calls OnCancel(). The modal loop is the
// dialog's own (the owner is disabled while it runs), so PreTranslateMessage sees every
// message first. Handlers run inside the window procedure: an exception they throw is
// caught there and ends the dialog with -1 rather than crossing into Windows.
// A dialog that OnInitDialog neither moved nor showed opens centred over its visible
// owner, or over the work area when it has none.
#include <windows.h>

namespace fw {

class Dialog {
public:
    Dialog(UINT templateId, HWND owner = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND hwnd() const { return m_hwnd; }
    UINT templateId() const { return m_templateId; }
    bool isModalRunning() const { return m_running; }

    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    // Returns TRUE when the command was handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // Returns true when handled; false lets the default window processing run.
    virtual bool OnSysCommand(UINT id, LPARAM lParam);
    virtual void OnClose() { OnCancel(); }
    virtual void OnSize(UINT type, int width, int height);
    // Returns true when it painted (BeginPaint/EndPaint done).
    virtual bool OnPaint() { return false; }
    virtual void OnDestroy() {}
    // Messages from WM_USER on; returns true when handled, with result set.
    virtual bool OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Called for every message of the modal loop before it is dispatched; returning
    // true means the message was handled and is not dispatched.
    virtual bool PreTranslateMessage(MSG* msg);

    // The dialog procedure behind the handlers above; subclasses handling further
    // messages override it and call the base for the rest.
    virtual INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR runModalLoop();
    void centreIfUnplaced(const RECT& before);

    UINT m_templateId;
    HWND m_owner;
    HWND m_hwnd = nullptr;
    bool m_running = false;
    bool m_ended = false;
    INT_PTR m_result = -1;
};

}  // namespace fw
