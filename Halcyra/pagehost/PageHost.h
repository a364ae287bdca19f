#pragma once
// The page host: serves the start page (or another page) on 127.0.0.1 to any browser on
// this machine and gives it the launcher's script bridge as window.external.
//
// Every HTML file it serves gets one script tag put in before the page's own scripts:
// the served script (/.host/external.js) reads the per-run secret from that tag and
// turns each of the bridge's methods into a synchronous request to the call endpoint.
// Each call runs on the thread that runs serve(), one at a time, as the browser calls the
// bridge in the launcher. The endpoint's paths:
//
//     POST /.host/call     {"method", "args"}: runs a bridge method (see BridgeEndpoint.h)
//     POST /.host/report   {"message", "source", "line", "column"}: a script error of the
//                          page, printed as FILE:LINE:COLUMN: error: TEXT
//     POST /.host/close    the page's ButtonOK or ButtonCancel: ends the host, as those
//                          end the launcher
//
// The secret is fresh for each run, or the one a harness put in the environment variable
// HALCYRA_PAGE_HOST_SECRET (32 lower-case hex digits) to close the host with. Every HTML
// answer forbids other sites to frame the page. The endpoint answers only requests with the secret, Host 127.0.0.1:PORT and the page's
// own Origin; refusals are printed.
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Halcyra/pagehost/HttpServer.h"
#include "Halcyra/pagehost/PageSource.h"

class UiThreadCalls;

class PageHost {
public:
    using Print = std::function<void(const std::wstring&)>;

    // bridge: the launcher's script bridge with these method names, in table order.
    PageHost(IDispatch* bridge, std::vector<std::wstring> methods, std::unique_ptr<PageSource> pages,
             Print out, Print err);
    ~PageHost();

    // Serves on 127.0.0.1:port (0: any free port) until the page closes the host or the
    // console's Ctrl+C; the calling thread is the user-interface thread. False when it
    // cannot start.
    bool serve(std::uint16_t port);

private:
    HttpResponse handle(const HttpRequest& request, HANDLE stopping);
    HttpResponse pageFile(const HttpRequest& request, HANDLE stopping);
    HttpResponse endpoint(const HttpRequest& request);
    HttpResponse call(const HttpRequest& request);
    HttpResponse report(const HttpRequest& request);
    HttpResponse close();
    HttpResponse refuse(const HttpRequest& request, const std::string& why);

    IDispatch* m_bridge;
    std::vector<std::wstring> m_methods;
    std::unique_ptr<PageSource> m_pages;
    Print m_out;
    Print m_err;
    std::string m_script;
    std::string m_secret;
    std::uint16_t m_port = 0;
    std::unique_ptr<UiThreadCalls> m_calls;
};
