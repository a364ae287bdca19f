#include "framework/ScriptHost.h"

#include <activscp.h>

#include <cwchar>

#include "framework/Bstr.h"
#include "framework/ComObject.h"
#include "framework/Dispatch.h"

namespace fw {
namespace {

// {f414c260-6ac0-11cf-b6d1-00aa00bbbb58}; declared in no mingw-w64 header.
const CLSID kJScriptClsid = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
const wchar_t kHelpersItem[] = L"__host";

void pumpMessagesFor(DWORD milliseconds) {
    DWORD start = ::GetTickCount();
    for (;;) {
        DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

std::wstring describeCode(SCODE code) {
    wchar_t text[32];
    swprintf(text, 32, L"error 0x%08lx", static_cast<unsigned long>(code));
    return text;
}

}  // namespace

class ScriptSite final : public ComObject<IActiveScriptSite> {
public:
    explicit ScriptSite(ScriptHost* host) : m_host(host) {}
    void detach() { m_host = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IActiveScriptSite) {
            *object = static_cast<IActiveScriptSite*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT STDMETHODCALLTYPE GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item,
                                          ITypeInfo** typeInfo) override {
        if (typeInfo) *typeInfo = nullptr;
        if (item) *item = nullptr;
        IUnknown* found = nullptr;
        try {
            found = m_host && name ? m_host->findItem(name) : nullptr;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        if (!found) return TYPE_E_ELEMENTNOTFOUND;
        if (mask & SCRIPTINFO_IUNKNOWN) {
            if (!item) return E_POINTER;
            *item = found;
            found->AddRef();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override {
        if (!m_host || !error) return S_OK;
        ScriptError& report = m_host->m_error;
        report = ScriptError{};
        EXCEPINFO info{};
        if (SUCCEEDED(error->GetExceptionInfo(&info))) {
            if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
            // Copying the text allocates; nothing may be thrown back into the engine.
            try {
                if (info.bstrDescription) report.description = info.bstrDescription;
                // Errors raised by a called object may come without a text: name the code.
                if (report.description.empty()) report.description = describeCode(info.scode);
            } catch (...) {
                report.description.clear();
            }
            ::SysFreeString(info.bstrDescription);
            ::SysFreeString(info.bstrSource);
            ::SysFreeString(info.bstrHelpFile);
        }
        DWORD context = 0;
        ULONG line = 0;
        LONG column = 0;
        if (SUCCEEDED(error->GetSourcePosition(&context, &line, &column))) {
            report.context = context;
            report.line = line + 1;
            report.column = column >= 0 ? static_cast<unsigned>(column) + 1 : 0;
        }
        m_host->m_errorReported = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

private:
    ~ScriptSite() override = default;
    ScriptHost* m_host;
};

ScriptHost::ScriptHost() : m_site(ComPtr<ScriptSite>::adopt(new ScriptSite(this))) {
    std::vector<DispatchMethod> helpers;
    helpers.push_back({L"log", 1, [this](const DispatchArgs& args) {
                           m_log.push_back(args[0]);
                           if (m_logListener) m_logListener(args[0]);
                           return Variant();
                       }});
    helpers.push_back({L"sleep", 1, [](const DispatchArgs& args) {
                           long ms = std::wcstol(args[0].c_str(), nullptr, 10);
                           pumpMessagesFor(ms > 0 ? static_cast<DWORD>(ms) : 0);
                           return Variant();
                       }});
    m_helpers = TableDispatch::create(std::move(helpers));
}

ScriptHost::~ScriptHost() {
    if (m_engine) m_engine->Close();
    m_engine.reset();
    m_helpers->detach();
    m_site->detach();
}

void ScriptHost::addObject(const std::wstring& name, IDispatch* object) {
    m_items[name] = ComPtr<IDispatch>::share(object);
    if (m_engine) m_engine->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE);
}

IUnknown* ScriptHost::findItem(const std::wstring& name) const {
    if (name == kHelpersItem) return static_cast<IDispatch*>(m_helpers.get());
    auto it = m_items.find(name);
    return it == m_items.end() ? nullptr : it->second.get();
}

bool ScriptHost::start() {
    if (m_engine) return true;
    m_error = ScriptError{};
    ComPtr<IActiveScript> engine;
    HRESULT hr = ::CoCreateInstance(kJScriptClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                    engine.putVoid());
    ComPtr<IActiveScriptParse> parser = engine.query<IActiveScriptParse>();
    if (FAILED(hr) || !parser || FAILED(engine->SetScriptSite(m_site.get())) ||
        FAILED(parser->InitNew())) {
        m_error.description = L"JScript engine not available";
        return false;
    }
    engine->AddNamedItem(kHelpersItem, SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
    for (const auto& item : m_items) engine->AddNamedItem(item.first.c_str(), SCRIPTITEM_ISVISIBLE);
    if (FAILED(engine->SetScriptState(SCRIPTSTATE_STARTED))) {
        m_error.description = L"JScript engine did not start";
        return false;
    }
    m_engine = std::move(engine);
    return true;
}

bool ScriptHost::parse(const std::wstring& text, DWORD flags, VARIANT* value, DWORD sourceContext) {
    if (!start()) return false;
    ComPtr<IActiveScriptParse> parser = m_engine.query<IActiveScriptParse>();
    m_error = ScriptError{};
    m_errorReported = false;
    EXCEPINFO exception{};
    HRESULT hr = parser->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, sourceContext, 0, flags,
                                         value, &exception);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrHelpFile);
    if (SUCCEEDED(hr) && !m_errorReported) return true;
    if (!m_errorReported) m_error.description = L"script failed";
    return false;
}

bool ScriptHost::run(const std::wstring& script, DWORD sourceContext) {
    return parse(script, SCRIPTTEXT_ISVISIBLE, nullptr, sourceContext);
}

bool ScriptHost::evaluate(const std::wstring& expression, Variant& value) {
    return parse(expression, SCRIPTTEXT_ISEXPRESSION, value.put());
}

}  // namespace fw
