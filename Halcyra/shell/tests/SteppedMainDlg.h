#pragma once
// The launcher's main window run modally inside a test program: step runs on the window's
// thread once the window is up, as the first thing its message loop does.
#include "Halcyra/shell/HalcyraDlg.h"

#include <functional>
#include <string>

class SteppedMainDlg : public CHalcyraDlg {
public:
    static const UINT kStepMessage = WM_APP + 1;

    explicit SteppedMainDlg(std::function<void(SteppedMainDlg&)> step) : m_step(std::move(step)) {}

    // The address of the document as the browser would report it (under Wine it shows
    // none): the start page built into the program unless a test says otherwise.
    // cmake/wine-run runs every test program from C:\halcyra.
    std::wstring shownAddress = L"res://C:\\halcyra\\shell_tests.exe/start.html";
    std::wstring documentAddress() const override { return shownAddress; }
    // Runs while the window is being destroyed, after the main window's own handling.
    std::function<void(HWND)> whileDestroyed;

protected:
    void OnDestroy() override {
        CHalcyraDlg::OnDestroy();
        if (whileDestroyed) whileDestroyed(hwnd());
    }
    BOOL OnInitDialog() override {
        BOOL result = CHalcyraDlg::OnInitDialog();
        ::PostMessageW(hwnd(), kStepMessage, 0, 0);
        return result;
    }
    bool OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message != kStepMessage) return CHalcyraDlg::OnUserMessage(message, wParam, lParam, result);
        m_step(*this);
        return true;
    }

private:
    std::function<void(SteppedMainDlg&)> m_step;
};
