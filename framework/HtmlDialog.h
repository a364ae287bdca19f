#pragma once
// A modal dialog whose client area is filled by the web browser control.
//
// OnInitDialog creates the control (in-place active, resized on WM_SIZE). Page script
// reaches the object set with SetExternalDispatch as window.external, when the dialog
// trusts the document: asked when a page asks for the object and again on every call
// through it, since one object serves every document and frame the control shows; a
// call whose script engine names the calling window is judged by that window's document.
// Clicks in the page are routed to handlers registered with onClick() by the id of the
// clicked element or of the nearest parent that has a handler: a document-level click
// sink is connected when the top-level browser completes a navigation. Keyboard messages
// for the control go through its TranslateAccelerator first. The control is torn down on
// WM_DESTROY: sinks unadvised, Close(OLECLOSE_NOSAVE), SetClientSite(NULL).
#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include <functional>
#include <map>
#include <string>

#include "framework/ComPtr.h"
#include "framework/Dialog.h"
#include "framework/OleScope.h"

namespace fw {

class BrowserSite;
class DocumentClickSink;
class ExternalGate;

class HtmlDialog : public Dialog {
public:
    HtmlDialog(UINT templateId, HWND owner = nullptr);
    ~HtmlDialog() override;

    void Navigate(const wchar_t* url);
    void SetExternalDispatch(IDispatch* external);
    IDispatch* externalDispatch() const { return m_external.get(); }
    // What the control was last asked to open, as given to Navigate.
    const std::wstring& requestedUrl() const { return m_requestedUrl; }
    IWebBrowser2* browser() const { return m_browser.get(); }

    // Element id -> handler, as clicks in the page are matched (srcElement's id).
    void onClick(const std::wstring& elementId, std::function<HRESULT()> handler);
    // Runs the handler for a click on the element with this id; false if there is none.
    bool clickElement(const std::wstring& elementId);
    // A click whose source is this page element (an IHTMLElement, or any object with "id"
    // and "parentElement" properties): the handler of the nearest element, from the source
    // up through its parents, whose id has one runs, so that a click on an image or a span
    // inside a button counts for the button. False if no element on the way has a handler.
    bool clickFrom(IDispatch* source);

    // Whether script of the document at this address may use the external object; the
    // default refuses. Asked for the calling document when a call names it (a frame's).
    virtual bool isTrustedDocument(const std::wstring& /*address*/) const { return false; }
    // Whether the document shown now may: asked when a page asks for the object and on
    // every call through it that does not name its calling document.
    virtual BOOL CanAccessExternal() { return isTrustedDocument(documentAddress()) ? TRUE : FALSE; }
    // The address of the document the control shows now; empty when it shows none.
    virtual std::wstring documentAddress() const;

protected:
    BOOL OnInitDialog() override;
    void OnSize(UINT type, int width, int height) override;
    void OnDestroy() override;
    bool PreTranslateMessage(MSG* msg) override;

private:
    friend class BrowserSite;
    friend class DocumentClickSink;
    friend class ExternalGate;

    void createBrowser();
    void destroyBrowser();
    void resizeBrowser();
    void onNavigateComplete(IDispatch* frame);
    void onDocumentClick();
    void disconnectDocument();

    OleScope m_ole;
    ComPtr<BrowserSite> m_site;
    ComPtr<DocumentClickSink> m_clickSink;
    ComPtr<ExternalGate> m_externalGate;
    ComPtr<IOleObject> m_oleObject;
    ComPtr<IWebBrowser2> m_browser;
    ComPtr<IConnectionPoint> m_browserEvents;
    DWORD m_browserEventsCookie = 0;
    ComPtr<IConnectionPoint> m_documentEvents;
    DWORD m_documentEventsCookie = 0;
    ComPtr<IDispatch> m_external;
    std::wstring m_requestedUrl;
    std::map<std::wstring, std::function<HRESULT()>> m_clickHandlers;
};

}  // namespace fw
