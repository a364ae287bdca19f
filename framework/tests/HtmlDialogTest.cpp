#include "framework/HtmlDialog.h"

#include <gtest/gtest.h>
#include <mshtmhst.h>

#include "TestDialogs.h"
#include "framework/Dispatch.h"
#include "framework/Variant.h"
#include "tests/support/BrowserHost.h"

namespace {

const UINT kStep = WM_APP + 1;

class TestHtmlDialog : public fw::HtmlDialog {
public:
    explicit TestHtmlDialog(std::function<void(TestHtmlDialog&)> step)
        : HtmlDialog(IDD_TEST_HTML), m_step(std::move(step)) {}
    BOOL allowExternal = TRUE;
    BOOL CanAccessExternal() override { return allowExternal; }

protected:
    BOOL OnInitDialog() override {
        HtmlDialog::OnInitDialog();
        ::PostMessageW(hwnd(), kStep, 0, 0);
        return TRUE;
    }
    bool OnUserMessage(UINT message, WPARAM, LPARAM, LRESULT&) override {
        if (message != kStep) return false;
        m_step(*this);
        return true;
    }

private:
    std::function<void(TestHtmlDialog&)> m_step;
};

using testing_support::hostHandlerOf;

}  // namespace

namespace {

HRESULT callPing(IDispatch* external, fw::Variant& result) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"ping")};
    DISPID id = 0;
    HRESULT hr = external->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return external->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, result.put(), nullptr, nullptr);
}

}  // namespace

TEST(HtmlDialog, HostsTheBrowserFillingTheClientAreaAndHandsOutExternal) {
    auto external = fw::TableDispatch::create(
        {{L"ping", 0, [](const fw::DispatchArgs&) { return fw::Variant::fromInt(7); }}});
    bool checked = false;
    TestHtmlDialog dlg([&](TestHtmlDialog& d) {
        checked = true;
        ASSERT_NE(nullptr, d.browser());
        d.Navigate(L"http://127.0.0.1:9/start\r\n");
        EXPECT_EQ(L"http://127.0.0.1:9/start\r\n", d.requestedUrl());

        ::SetWindowPos(d.hwnd(), nullptr, 0, 0, 500, 400, SWP_NOZORDER | SWP_NOMOVE);
        RECT client, control;
        ::GetClientRect(d.hwnd(), &client);
        HWND child = ::GetWindow(d.hwnd(), GW_CHILD);
        ASSERT_NE(nullptr, child);
        ::GetWindowRect(child, &control);
        EXPECT_EQ(client.right, control.right - control.left);
        EXPECT_EQ(client.bottom, control.bottom - control.top);

        auto handler = hostHandlerOf(d.browser());
        ASSERT_TRUE(handler);
        fw::ComPtr<IDispatch> got;
        ASSERT_EQ(S_OK, handler->GetExternal(got.put()));
        fw::Variant result;
        ASSERT_EQ(S_OK, callPing(got.get(), result));
        EXPECT_EQ(7, result.get().lVal);

        // Refused from now on: no object for a page that asks, and every call through the
        // object a page already holds fails as an unknown name.
        d.allowExternal = FALSE;
        EXPECT_EQ(DISP_E_UNKNOWNNAME, callPing(got.get(), result));
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
                  got->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, result.put(), nullptr, nullptr));
        fw::ComPtr<IDispatch> refused;
        EXPECT_EQ(S_FALSE, handler->GetExternal(refused.put()));
        EXPECT_FALSE(refused);

        d.allowExternal = TRUE;
        EXPECT_EQ(S_OK, callPing(got.get(), result));
        d.EndDialog(IDOK);
    });
    dlg.SetExternalDispatch(external.get());
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(checked);
    EXPECT_EQ(nullptr, dlg.browser());
}

TEST(HtmlDialog, ElementClicksRunTheirHandlers) {
    TestHtmlDialog dlg([](TestHtmlDialog& d) {
        EXPECT_FALSE(d.clickElement(L"Nothing"));
        EXPECT_TRUE(d.clickElement(L"ButtonCancel"));
    });
    dlg.onClick(L"ButtonCancel", [&dlg] {
        dlg.OnCancel();
        return S_OK;
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
}
