#include "framework/Dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "TestDialogs.h"

namespace {

const UINT kStep = WM_APP + 1;

// A test dialog: onInit runs in OnInitDialog, onStep whenever kStep arrives (posted, so
// it runs inside the modal loop with the window shown).
class ScriptedDialog : public fw::Dialog {
public:
    using Action = std::function<void(ScriptedDialog&)>;
    explicit ScriptedDialog(Action onInit, Action onStep = nullptr, HWND owner = nullptr)
        : Dialog(IDD_TEST_PLAIN, owner), m_onInit(std::move(onInit)), m_onStep(std::move(onStep)) {}

    void post(UINT message, WPARAM wParam = 0) { ::PostMessageW(hwnd(), message, wParam, 0); }

    std::vector<UINT> commands;
    std::vector<UINT> preTranslated;
    bool swallowInPreTranslate = false;
    bool throwOnCommand = false;

protected:
    BOOL OnInitDialog() override {
        if (m_onInit) m_onInit(*this);
        return TRUE;
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        commands.push_back(LOWORD(wParam));
        if (throwOnCommand) throw std::runtime_error("handler failed");
        if (LOWORD(wParam) == IDC_TEST_BUTTON) {
            EndDialog(IDC_TEST_BUTTON);
            return TRUE;
        }
        return Dialog::OnCommand(wParam, lParam);
    }
    bool OnUserMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        if (message == kStep && m_onStep) {
            m_onStep(*this);
            return true;
        }
        if (message == WM_USER + 7) {
            result = static_cast<LRESULT>(wParam * 2);
            return true;
        }
        return false;
    }
    bool PreTranslateMessage(MSG* msg) override {
        if (msg->hwnd == hwnd() && msg->message == WM_APP + 2) {
            preTranslated.push_back(msg->message);
            return swallowInPreTranslate;
        }
        return false;
    }

private:
    Action m_onInit;
    Action m_onStep;
};

}  // namespace

TEST(Dialog, ButtonsAndCloseEndTheModalRunWithTheirResults) {
    ScriptedDialog ok([](ScriptedDialog& d) { d.post(WM_COMMAND, IDOK); });
    EXPECT_EQ(IDOK, ok.DoModal());

    ScriptedDialog cancel([](ScriptedDialog& d) { d.post(WM_COMMAND, IDCANCEL); });
    EXPECT_EQ(IDCANCEL, cancel.DoModal());

    // WM_CLOSE goes through the cancel handling.
    ScriptedDialog close([](ScriptedDialog& d) { d.post(WM_CLOSE); });
    EXPECT_EQ(IDCANCEL, close.DoModal());

    ScriptedDialog own([](ScriptedDialog& d) { d.post(WM_COMMAND, IDC_TEST_BUTTON); });
    EXPECT_EQ(IDC_TEST_BUTTON, own.DoModal());
    EXPECT_EQ(nullptr, own.hwnd());
}

TEST(Dialog, NestedRunShowsItselfAndDisablesItsOwnerOnlyMeanwhile) {
    bool ownerEnabledDuring = true, nestedVisible = false, ownerEnabledAfter = false;
    INT_PTR nestedResult = 0;
    ScriptedDialog outer([](ScriptedDialog& o) { o.post(kStep); },
                         [&](ScriptedDialog& o) {
                             ScriptedDialog nested([](ScriptedDialog& n) { n.post(kStep); },
                                                   [&](ScriptedDialog& n) {
                                                       ownerEnabledDuring = ::IsWindowEnabled(o.hwnd());
                                                       nestedVisible = ::IsWindowVisible(n.hwnd());
                                                       n.EndDialog(IDCANCEL);
                                                   },
                                                   o.hwnd());
                             nestedResult = nested.DoModal();
                             ownerEnabledAfter = ::IsWindowEnabled(o.hwnd());
                             o.EndDialog(IDOK);
                         });
    EXPECT_EQ(IDOK, outer.DoModal());
    EXPECT_EQ(IDCANCEL, nestedResult);
    EXPECT_FALSE(ownerEnabledDuring);
    EXPECT_TRUE(nestedVisible);
    EXPECT_TRUE(ownerEnabledAfter);
}

TEST(Dialog, OpensCentredOverItsOwnerOrTheWorkAreaUnlessItPlacedItself) {
    RECT work;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    auto middle = [](const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; };
    RECT first = {}, owner = {}, nested = {};
    ScriptedDialog outer([](ScriptedDialog& o) { o.post(kStep); },
                         [&](ScriptedDialog& o) {
                             ::GetWindowRect(o.hwnd(), &first);
                             ::SetWindowPos(o.hwnd(), nullptr, work.left + 20, work.top + 30, 0, 0,
                                            SWP_NOSIZE | SWP_NOZORDER);
                             ::GetWindowRect(o.hwnd(), &owner);
                             ScriptedDialog inner([](ScriptedDialog& n) { n.post(kStep); },
                                                  [&](ScriptedDialog& n) {
                                                      ::GetWindowRect(n.hwnd(), &nested);
                                                      n.EndDialog(IDOK);
                                                  },
                                                  o.hwnd());
                             inner.DoModal();
                             o.EndDialog(IDOK);
                         });
    outer.DoModal();
    EXPECT_NEAR(middle(first).x, middle(work).x, 1);
    EXPECT_NEAR(middle(first).y, middle(work).y, 1);
    EXPECT_NEAR(middle(nested).x, middle(owner).x, 1);
    EXPECT_NEAR(middle(nested).y, middle(owner).y, 1);

    RECT placed = {};
    ScriptedDialog self(
        [](ScriptedDialog& d) {
            ::SetWindowPos(d.hwnd(), nullptr, 5, 7, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            d.post(kStep);
        },
        [&](ScriptedDialog& d) {
            ::GetWindowRect(d.hwnd(), &placed);
            d.EndDialog(IDOK);
        });
    self.DoModal();
    EXPECT_EQ(5, placed.left);
    EXPECT_EQ(7, placed.top);
}

TEST(Dialog, PreTranslateSeesLoopMessagesAndCanSwallowThem) {
    int stepsAfterSwallowed = 0;
    ScriptedDialog dlg(
        [](ScriptedDialog& d) {
            d.swallowInPreTranslate = true;
            d.post(WM_APP + 2);   // swallowed: would otherwise reach OnUserMessage unhandled
            d.post(kStep);
        },
        [&](ScriptedDialog& d) {
            ++stepsAfterSwallowed;
            d.EndDialog(IDOK);
        });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(std::vector<UINT>{WM_APP + 2}, dlg.preTranslated);
    EXPECT_EQ(1, stepsAfterSwallowed);
}

TEST(Dialog, UserMessageResultReachesTheSender) {
    LRESULT answer = 0;
    ScriptedDialog dlg([&](ScriptedDialog& d) {
        answer = ::SendMessageW(d.hwnd(), WM_USER + 7, 21, 0);
        d.post(WM_COMMAND, IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(42, answer);
}

TEST(Dialog, ExceptionInHandlerEndsTheRunInsteadOfEscaping) {
    ScriptedDialog dlg([](ScriptedDialog& d) {
        d.throwOnCommand = true;
        d.post(WM_COMMAND, IDOK);
    });
    EXPECT_EQ(-1, dlg.DoModal());
}

TEST(Dialog, MissingTemplateFailsWithMinusOne) {
    class Missing : public fw::Dialog {
    public:
        Missing() : Dialog(4321) {}
    } missing;
    EXPECT_EQ(-1, missing.DoModal());
}
