#pragma once
// The main dialog: asks whether to uninstall at all.
#include "framework/Dialog.h"

class CUnInstallDlg : public fw::Dialog {
public:
    explicit CUnInstallDlg(HWND owner = nullptr);

    // "是": hands over to the second dialog, then ends whatever was chosen there.
    void OnOK() override;

protected:
    BOOL OnInitDialog() override;
    bool OnSysCommand(UINT id, LPARAM lParam) override;
    bool OnPaint() override;
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HICON m_hIcon;       // shared icons: the system frees them
    HICON m_hSmallIcon;
};
