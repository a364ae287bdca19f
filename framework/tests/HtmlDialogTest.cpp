#include "framework/HtmlDialog.h"

#include <gtest/gtest.h>

#include <memory>
#include <dispex.h>
#include <mshtml.h>
#include <mshtmhst.h>

#include "TestDialogs.h"
#include "framework/Bstr.h"
#include "framework/ComObject.h"
#include "framework/Dispatch.h"
#include "framework/ScriptHost.h"
#include "framework/Variant.h"
#include "tests/support/BrowserHost.h"

namespace {

const UINT kStep = WM_APP + 1;
const wchar_t kTrustedPage[] = L"http://trusted.test/start.html";
const wchar_t kOtherSitePage[] = L"http://evil.test/ad.html";

class TestHtmlDialog : public fw::HtmlDialog {
public:
    explicit TestHtmlDialog(std::function<void(TestHtmlDialog&)> step)
        : HtmlDialog(IDD_TEST_HTML), m_step(std::move(step)) {}
    // The document the control shows, as the dialog reads it; only trusted.test is trusted.
    std::wstring shownAddress = kTrustedPage;
    std::wstring documentAddress() const override { return shownAddress; }
    bool isTrustedDocument(const std::wstring& address) const override {
        return address.rfind(L"http://trusted.test/", 0) == 0;
    }

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
        d.shownAddress = kOtherSitePage;
        EXPECT_EQ(DISP_E_UNKNOWNNAME, callPing(got.get(), result));
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
                  got->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, result.put(), nullptr, nullptr));
        fw::ComPtr<IDispatch> refused;
        EXPECT_EQ(S_FALSE, handler->GetExternal(refused.put()));
        EXPECT_FALSE(refused);

        d.shownAddress = kTrustedPage;
        EXPECT_EQ(S_OK, callPing(got.get(), result));
        d.EndDialog(IDOK);
    });
    dlg.SetExternalDispatch(external.get());
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(checked);
    EXPECT_EQ(nullptr, dlg.browser());
}

namespace {

// The caller a script engine hands to InvokeEx, as the browser's engine gives it for
// script of a page: it names the window the script runs in. The window and its document
// are stand-ins with the properties the dialog reads.
class CallerNamingWindow final : public fw::ComObject<IServiceProvider> {
public:
    explicit CallerNamingWindow(IDispatch* window) : m_window(fw::ComPtr<IDispatch>::share(window)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid != IID_IUnknown && riid != IID_IServiceProvider) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IServiceProvider*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** object) override {
        *object = nullptr;
        if (service != SID_SHTMLWindow || !m_window) return E_NOINTERFACE;
        return m_window->QueryInterface(riid, object);
    }

private:
    ~CallerNamingWindow() override = default;
    fw::ComPtr<IDispatch> m_window;
};

fw::ComPtr<fw::TableDispatch> windowShowing(const std::wstring& address) {
    auto document = std::make_shared<fw::ComPtr<fw::TableDispatch>>(fw::TableDispatch::create(
        {{L"URL", 0, [address](const fw::DispatchArgs&) { return fw::Variant::fromString(address); }}}));
    return fw::TableDispatch::create({{L"document", 0, [document](const fw::DispatchArgs&) {
                                           return fw::Variant::fromDispatch(document->get());
                                       }}});
}

fw::ComPtr<IServiceProvider> callerFrom(IDispatch* window) {
    return fw::ComPtr<IServiceProvider>::adopt(new CallerNamingWindow(window));
}

HRESULT pingAs(IDispatchEx* external, IServiceProvider* caller, fw::Variant& result) {
    fw::Bstr name(L"ping");
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = external->GetDispID(name.get(), fdexNameCaseSensitive, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return external->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.put(), nullptr, caller);
}

}  // namespace

TEST(HtmlDialog, ExternalCallsAreJudgedByTheDocumentOfTheCallingWindow) {
    int pings = 0;
    auto external = fw::TableDispatch::create({{L"ping", 0, [&pings](const fw::DispatchArgs&) {
                                                    ++pings;
                                                    return fw::Variant::fromInt(7);
                                                }}});
    TestHtmlDialog dlg([&](TestHtmlDialog& d) {
        auto handler = hostHandlerOf(d.browser());
        ASSERT_TRUE(handler);
        fw::ComPtr<IDispatch> got;
        ASSERT_EQ(S_OK, handler->GetExternal(got.put()));
        fw::ComPtr<IDispatchEx> gate = got.query<IDispatchEx>();
        ASSERT_TRUE(gate);
        fw::Variant result;

        // The top-level page is trusted; a frame of another site inside it is not.
        auto frame = windowShowing(kOtherSitePage);
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, pingAs(gate.get(), callerFrom(frame.get()).get(), result));
        EXPECT_EQ(0, pings);
        auto ownFrame = windowShowing(L"http://trusted.test/frame.html");
        EXPECT_EQ(S_OK, pingAs(gate.get(), callerFrom(ownFrame.get()).get(), result));
        EXPECT_EQ(1, pings);
        EXPECT_EQ(7, result.get().lVal);

        // A window whose address cannot be read is refused.
        auto noDocument = fw::TableDispatch::create({});
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, pingAs(gate.get(), callerFrom(noDocument.get()).get(), result));
        EXPECT_EQ(1, pings);

        // A caller naming no window, or none at all: the document shown decides.
        auto windowless = callerFrom(nullptr);
        EXPECT_EQ(S_OK, pingAs(gate.get(), windowless.get(), result));
        EXPECT_EQ(S_OK, pingAs(gate.get(), nullptr, result));
        EXPECT_EQ(3, pings);
        d.shownAddress = kOtherSitePage;
        EXPECT_EQ(DISP_E_UNKNOWNNAME, pingAs(gate.get(), windowless.get(), result));
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
                  gate->InvokeEx(1, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.put(), nullptr, nullptr));
        EXPECT_EQ(3, pings);
        d.EndDialog(IDOK);
    });
    dlg.SetExternalDispatch(external.get());
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(3, pings);
}

TEST(HtmlDialog, ScriptCallsGoThroughTheGate) {
    auto external = fw::TableDispatch::create(
        {{L"ping", 0, [](const fw::DispatchArgs&) { return fw::Variant::fromInt(7); }}});
    TestHtmlDialog dlg([](TestHtmlDialog& d) {
        auto handler = hostHandlerOf(d.browser());
        ASSERT_TRUE(handler);
        fw::ComPtr<IDispatch> got;
        ASSERT_EQ(S_OK, handler->GetExternal(got.put()));
        fw::ScriptHost host;
        host.addObject(L"external", got.get());
        EXPECT_TRUE(host.run(L"log(external.ping())")) << host.error().description;
        d.shownAddress = kOtherSitePage;
        EXPECT_FALSE(host.run(L"log(external.ping())"));
        EXPECT_EQ(std::vector<std::wstring>{L"7"}, host.logLines());
        d.EndDialog(IDOK);
    });
    dlg.SetExternalDispatch(external.get());
    EXPECT_EQ(IDOK, dlg.DoModal());
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
