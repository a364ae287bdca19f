#pragma once
// The host side of a browser control as the control itself sees it, for tests of the
// dialogs that host one.
#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>

#include "framework/ComPtr.h"

namespace testing_support {

// The host UI handler the control asks for window.external, reached through its client
// site; empty when the control has none.
inline fw::ComPtr<IDocHostUIHandler> hostHandlerOf(IWebBrowser2* browser) {
    fw::ComPtr<IOleObject> object;
    fw::ComPtr<IOleClientSite> site;
    if (!browser || FAILED(browser->QueryInterface(IID_IOleObject, object.putVoid())) ||
        FAILED(object->GetClientSite(site.put())) || !site)
        return nullptr;
    return site.query<IDocHostUIHandler>();
}

}  // namespace testing_support
