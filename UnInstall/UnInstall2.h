#pragma once
// The second dialog: remove everything, the application only, or nothing.
#include "framework/Dialog.h"

class UnInstall2 : public fw::Dialog {
public:
    explicit UnInstall2(HWND owner = nullptr);

    // "全部删除", also Enter: the full removal.
    void OnOK() override;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
};
