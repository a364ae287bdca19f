#include "framework/HtmlDialog.h"

#include <dispex.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <mshtml.h>

#include "framework/Bstr.h"
#include "framework/ComObject.h"
#include "framework/Variant.h"

namespace fw {

namespace {

// A property of a page object read by name, as page script reads it.
bool readProperty(IDispatch* object, const wchar_t* name, Variant& value) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) &&
           SUCCEEDED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value.put(),
                                    nullptr, nullptr));
}

// The address of the document whose script makes a call, from the caller the script
// engine hands to InvokeEx: the URL of its window's document. False when the caller
// names no window; when it names one whose address cannot be read, the address is empty.
bool callingDocumentAddress(IServiceProvider* caller, std::wstring& address) {
    address.clear();
    ComPtr<IDispatch> window;
    if (!caller || FAILED(caller->QueryService(SID_SHTMLWindow, IID_IDispatch, window.putVoid())) || !window)
        return false;
    Variant document;
    Variant url;
    if (readProperty(window.get(), L"document", document) && document.type() == VT_DISPATCH &&
        document.get().pdispVal && readProperty(document.get().pdispVal, L"URL", url) && url.type() == VT_BSTR)
        address = url.str();
    return true;
}

}  // namespace

// What page script holds as window.external: one object serves every document the
// control shows, and the control hands it to frames too, so each call asks the dialog
// again whether the calling document may use the external object; when it may not,
// every name is unknown. A call made through InvokeEx is judged by the document its
// caller names (a frame from another site inside a trusted page is refused); a call that
// names none is judged by the document the control shows.
class ExternalGate final : public ComObject<IDispatchEx> {
public:
    explicit ExternalGate(HtmlDialog* owner) : m_owner(owner) {}
    void detach() { m_owner = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IDispatchEx) {
            *object = static_cast<IDispatchEx*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override {
        if (IDispatch* external = allowedFor(nullptr)) return external->GetIDsOfNames(riid, names, count, lcid, ids);
        for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
        if (IDispatch* external = allowedFor(nullptr))
            return external->Invoke(id, riid, lcid, flags, params, result, exception, argError);
        return DISP_E_MEMBERNOTFOUND;
    }

    // IDispatchEx: what script engines call on an object that has it.
    HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD, DISPID* id) override {
        LPOLESTR names[] = {name};
        return GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
    }
    HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                       EXCEPINFO* exception, IServiceProvider* caller) override {
        if (IDispatch* external = allowedFor(caller))
            return external->Invoke(id, IID_NULL, lcid, flags, params, result, exception, nullptr);
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD* properties) override {
        if (properties) *properties = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR* name) override {
        if (name) *name = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID* next) override {
        if (next) *next = DISPID_UNKNOWN;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) override {
        if (parent) *parent = nullptr;
        return E_NOTIMPL;
    }

private:
    ~ExternalGate() override = default;
    // The external object when the calling document may use it, else null.
    IDispatch* allowedFor(IServiceProvider* caller) const {
        try {
            if (!m_owner || !m_owner->m_external) return nullptr;
            std::wstring address;
            const bool trusted = callingDocumentAddress(caller, address)
                                     ? !address.empty() && m_owner->isTrustedDocument(address)
                                     : m_owner->CanAccessExternal();
            return trusted ? m_owner->m_external.get() : nullptr;
        } catch (...) {
            return nullptr;
        }
    }
    HtmlDialog* m_owner;
};

// The control's container: client site, in-place site and frame, host UI handler and
// the sink of the browser's events. A separate COM object with a back pointer that the
// dialog clears at teardown, so that late calls from the control never reach a dead
// dialog.
class BrowserSite final : public ComObject<IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame,
                                           IDocHostUIHandler, IDispatch> {
public:
    explicit BrowserSite(HtmlDialog* owner) : m_owner(owner) {}
    void detach() { m_owner = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *object = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
            *object = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
            *object = static_cast<IOleInPlaceFrame*>(this);
        else if (riid == IID_IDocHostUIHandler)
            *object = static_cast<IDocHostUIHandler*>(this);
        else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2)
            *object = static_cast<IDispatch*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override {
        if (!hwnd) return E_POINTER;
        *hwnd = m_owner ? m_owner->hwnd() : nullptr;
        return *hwnd ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return m_owner ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !doc || !position || !clip || !info) return E_POINTER;
        if (!m_owner || !m_owner->hwnd()) return E_UNEXPECTED;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        ::GetClientRect(m_owner->hwnd(), position);
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = m_owner->hwnd();
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override {
        if (m_owner) m_owner->resizeBrowser();
        return S_OK;
    }

    // IOleInPlaceUIWindow / IOleInPlaceFrame: no toolbars, menus or status bar.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return S_FALSE;  // the control's own menu
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
        if (!info) return E_POINTER;
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_DPI_AWARE;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                     IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) *key = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** target) override {
        if (target) *target = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override {
        if (!external) return E_POINTER;
        *external = nullptr;
        try {
            if (!m_owner || !m_owner->m_external || !m_owner->CanAccessExternal()) return S_FALSE;
        } catch (...) {
            return S_FALSE;
        }
        *external = static_cast<IDispatch*>(m_owner->m_externalGate.get());
        (*external)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }

    // IDispatch: DWebBrowserEvents2
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        // NavigateComplete2(pDisp, URL): arguments arrive last first.
        if (id != DISPID_NAVIGATECOMPLETE2 || !m_owner || !params || params->cArgs < 2)
            return S_OK;
        const VARIANT& frame = params->rgvarg[params->cArgs - 1];
        if (frame.vt == VT_DISPATCH) {
            try {
                m_owner->onNavigateComplete(frame.pdispVal);
            } catch (...) {
            }
        }
        return S_OK;
    }

private:
    ~BrowserSite() override = default;
    HtmlDialog* m_owner;
};

// Sink of HTMLDocumentEvents: forwards onclick to the dialog's click map.
class DocumentClickSink final : public ComObject<IDispatch> {
public:
    explicit DocumentClickSink(HtmlDialog* owner) : m_owner(owner) {}
    void detach() { m_owner = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_HTMLDocumentEvents) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        if (id == DISPID_HTMLDOCUMENTEVENTS_ONCLICK && m_owner) {
            try {
                m_owner->onDocumentClick();
            } catch (...) {
            }
        }
        return S_OK;
    }

private:
    ~DocumentClickSink() override = default;
    HtmlDialog* m_owner;
};

namespace {

// Connects a sink to a connection point of the source; returns the point on success.
ComPtr<IConnectionPoint> advise(IUnknown* source, REFIID events, IUnknown* sink, DWORD& cookie) {
    cookie = 0;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (!source || FAILED(source->QueryInterface(IID_IConnectionPointContainer, container.putVoid())) ||
        FAILED(container->FindConnectionPoint(events, point.put())) ||
        FAILED(point->Advise(sink, &cookie)))
        return nullptr;
    return point;
}

void unadvise(ComPtr<IConnectionPoint>& point, DWORD& cookie) {
    if (point) point->Unadvise(cookie);
    point.reset();
    cookie = 0;
}

}  // namespace

HtmlDialog::HtmlDialog(UINT templateId, HWND owner)
    : Dialog(templateId, owner),
      m_site(ComPtr<BrowserSite>::adopt(new BrowserSite(this))),
      m_clickSink(ComPtr<DocumentClickSink>::adopt(new DocumentClickSink(this))),
      m_externalGate(ComPtr<ExternalGate>::adopt(new ExternalGate(this))) {}

HtmlDialog::~HtmlDialog() {
    destroyBrowser();
    m_site->detach();
    m_clickSink->detach();
    m_externalGate->detach();
}

void HtmlDialog::SetExternalDispatch(IDispatch* external) { m_external = ComPtr<IDispatch>::share(external); }

void HtmlDialog::onClick(const std::wstring& elementId, std::function<HRESULT()> handler) {
    m_clickHandlers[elementId] = std::move(handler);
}

bool HtmlDialog::clickElement(const std::wstring& elementId) {
    auto it = m_clickHandlers.find(elementId);
    if (it == m_clickHandlers.end()) return false;
    std::function<HRESULT()> handler = it->second;
    handler();
    return true;
}

BOOL HtmlDialog::OnInitDialog() {
    createBrowser();
    return TRUE;
}

void HtmlDialog::createBrowser() {
    if (!m_ole.ok() || m_oleObject) return;
    if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  m_oleObject.putVoid())))
        return;
    IOleClientSite* site = static_cast<IOleClientSite*>(m_site.get());
    m_oleObject->SetClientSite(site);
    RECT client;
    ::GetClientRect(hwnd(), &client);
    m_oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, hwnd(), &client);
    m_browser = m_oleObject.query<IWebBrowser2>();
    m_browserEvents = advise(m_browser.get(), DIID_DWebBrowserEvents2,
                             static_cast<IDispatch*>(m_site.get()), m_browserEventsCookie);
    resizeBrowser();
}

void HtmlDialog::destroyBrowser() {
    disconnectDocument();
    unadvise(m_browserEvents, m_browserEventsCookie);
    if (m_oleObject) {
        if (ComPtr<IOleInPlaceObject> inPlace = m_oleObject.query<IOleInPlaceObject>())
            inPlace->InPlaceDeactivate();
        m_oleObject->Close(OLECLOSE_NOSAVE);
        m_oleObject->SetClientSite(nullptr);
    }
    m_browser.reset();
    m_oleObject.reset();
}

void HtmlDialog::resizeBrowser() {
    if (!m_oleObject || !hwnd()) return;
    RECT client;
    ::GetClientRect(hwnd(), &client);
    if (ComPtr<IOleInPlaceObject> inPlace = m_oleObject.query<IOleInPlaceObject>())
        inPlace->SetObjectRects(&client, &client);
}

void HtmlDialog::OnSize(UINT, int, int) { resizeBrowser(); }

void HtmlDialog::OnDestroy() { destroyBrowser(); }

void HtmlDialog::Navigate(const wchar_t* url) {
    m_requestedUrl = url ? url : L"";
    if (!m_browser) return;
    Bstr target(m_requestedUrl);
    VARIANT none;
    ::VariantInit(&none);
    m_browser->Navigate(target.get(), &none, &none, &none, &none);
}

std::wstring HtmlDialog::documentAddress() const {
    ComPtr<IDispatch> document;
    if (!m_browser || FAILED(m_browser->get_Document(document.put())) || !document) return std::wstring();
    ComPtr<IHTMLDocument2> html = document.query<IHTMLDocument2>();
    Bstr address;
    if (!html || FAILED(html->get_URL(address.put()))) return std::wstring();
    return address.str();
}

void HtmlDialog::onNavigateComplete(IDispatch* frame) {
    // Frames complete too; only the top-level document carries the click sink.
    if (!m_browser || !sameObject(frame, m_browser.get())) return;
    disconnectDocument();
    ComPtr<IDispatch> document;
    // The control may answer S_FALSE with no document: check the pointer.
    if (FAILED(m_browser->get_Document(document.put())) || !document) return;
    m_documentEvents = advise(document.get(), DIID_HTMLDocumentEvents,
                              static_cast<IDispatch*>(m_clickSink.get()), m_documentEventsCookie);
}

void HtmlDialog::disconnectDocument() { unadvise(m_documentEvents, m_documentEventsCookie); }

void HtmlDialog::onDocumentClick() {
    if (!m_browser) return;
    ComPtr<IDispatch> documentDispatch;
    if (FAILED(m_browser->get_Document(documentDispatch.put())) || !documentDispatch) return;
    ComPtr<IHTMLDocument2> document = documentDispatch.query<IHTMLDocument2>();
    ComPtr<IHTMLWindow2> window;
    ComPtr<IHTMLEventObj> event;
    ComPtr<IHTMLElement> element;
    if (!document || FAILED(document->get_parentWindow(window.put())) || !window ||
        FAILED(window->get_event(event.put())) || !event ||
        FAILED(event->get_srcElement(element.put())) || !element)
        return;
    clickFrom(element.get());
}

bool HtmlDialog::clickFrom(IDispatch* source) {
    ComPtr<IDispatch> element = ComPtr<IDispatch>::share(source);
    while (element) {
        Variant id;
        if (readProperty(element.get(), L"id", id) && id.type() == VT_BSTR && clickElement(id.str())) return true;
        Variant parent;
        if (!readProperty(element.get(), L"parentElement", parent) || parent.type() != VT_DISPATCH) return false;
        element = ComPtr<IDispatch>::share(parent.get().pdispVal);
    }
    return false;
}

bool HtmlDialog::PreTranslateMessage(MSG* msg) {
    if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST || !m_oleObject) return false;
    if (msg->hwnd != hwnd() && !::IsChild(hwnd(), msg->hwnd)) return false;
    ComPtr<IOleInPlaceActiveObject> active = m_oleObject.query<IOleInPlaceActiveObject>();
    return active && active->TranslateAccelerator(msg) == S_OK;
}

}  // namespace fw
