#include "Halcyra/pagehost/PageHost.h"

#include <json/json.h>

#include <atomic>
#include <memory>

#include "Halcyra/pagehost/BridgeEndpoint.h"
#include "Halcyra/pagehost/UiThreadCalls.h"
#include "Halcyra/common/Utf8.h"

namespace {

const char kHostPrefix[] = "/.host/";
const char kScriptPath[] = "/.host/external.js";
const char kCallPath[] = "/.host/call";
const char kReportPath[] = "/.host/report";
const char kClosePath[] = "/.host/close";
// A secret the harness that starts the host chose (32 lower-case hex digits).
const char kSecretVariable[] = "HALCYRA_PAGE_HOST_SECRET";
// The served script, a resource of the program (PageRunner.rc).
const wchar_t kScriptResource[] = L"PAGE_HOST_SCRIPT";

std::atomic<DWORD> g_uiThread{0};

BOOL WINAPI onConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    ::PostThreadMessageW(g_uiThread, WM_QUIT, 0, 0);
    return TRUE;
}

bool loadScript(std::string& script) {
    HRSRC found = ::FindResourceW(nullptr, kScriptResource, MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL data = found ? ::LoadResource(nullptr, found) : nullptr;
    const char* bytes = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
    if (!bytes) return false;
    script.assign(bytes, ::SizeofResource(nullptr, found));
    return true;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool isHtml(const HttpResponse& response) { return startsWith(response.contentType, "text/html"); }

// A harness that starts the host may choose the secret, so that it can close the host
// without reading the served page (which may be missing). False without a choice; false
// with a problem when the choice is no secret.
bool chosenSecret(std::string& secret, std::string& problem) {
    char value[64];
    DWORD length = ::GetEnvironmentVariableA(kSecretVariable, value, sizeof value);
    if (length == 0) return false;
    secret.assign(value, length < sizeof value ? length : 0);
    if (secret.size() != 32 || secret.find_first_not_of("0123456789abcdef") != std::string::npos) {
        problem = std::string(kSecretVariable) + " is not 32 lower-case hex digits";
        return false;
    }
    return true;
}

HttpResponse json(const std::string& body) {
    HttpResponse response;
    response.contentType = "application/json";
    response.body = body;
    return response;
}

}  // namespace

PageHost::PageHost(IDispatch* bridge, std::vector<std::wstring> methods, std::unique_ptr<PageSource> pages,
                   Print out, Print err)
    : m_bridge(bridge), m_methods(std::move(methods)), m_pages(std::move(pages)), m_out(std::move(out)),
      m_err(std::move(err)) {}

PageHost::~PageHost() = default;

bool PageHost::serve(std::uint16_t port) {
    if (!loadScript(m_script)) {
        m_err(L"page host: the served script is missing from the program");
        return false;
    }
    std::string secretProblem;
    if (!chosenSecret(m_secret, secretProblem) && secretProblem.empty() && !bridge_endpoint::makeSecret(m_secret))
        secretProblem = "the system's random generator gives no secret";
    if (!secretProblem.empty()) {
        m_err(L"page host: " + utf8::toWide(secretProblem));
        return false;
    }
    m_calls = std::make_unique<UiThreadCalls>();
    HttpServer server([this](const HttpRequest& request, HANDLE stopping) { return handle(request, stopping); });
    std::wstring problem;
    if (!server.start(port, problem)) {
        m_err(L"page host: " + problem);
        return false;
    }
    m_port = server.port();
    g_uiThread = ::GetCurrentThreadId();
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
    m_out(L"page host: serving " + m_pages->describe());
    m_out(L"page host: open http://127.0.0.1:" + std::to_wstring(m_port) + L"/");

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    // Calls still waiting for this thread are answered as refused from here on.
    m_calls->close();
    server.stop();
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    m_out(L"page host: closed");
    return true;
}

HttpResponse PageHost::handle(const HttpRequest& request, HANDLE stopping) {
    std::string refusal = bridge_endpoint::hostRefusal(request, m_port);
    if (!refusal.empty()) return refuse(request, refusal);
    if (startsWith(request.path(), kHostPrefix)) return endpoint(request);
    if (request.method != "GET") return HttpResponse::text(405, "the page's files are read with GET");
    return pageFile(request, stopping);
}

HttpResponse PageHost::pageFile(const HttpRequest& request, HANDLE stopping) {
    std::string path;
    if (!decodePagePath(request.target, path)) return HttpResponse::text(400, "no such path");
    HttpResponse response = m_pages->get(path, request.target, stopping);
    // Browsers ask for an icon on their own; the page's own missing files are worth a line.
    if (response.status == 404 && path != "/favicon.ico") m_err(L"page host: not found: " + utf8::toWide(path));
    if (isHtml(response)) {
        // The page drives the launcher: no other site may put it in a frame.
        response.headers.emplace_back("Content-Security-Policy", "frame-ancestors 'self'");
        response.headers.emplace_back("X-Frame-Options", "DENY");
    }
    if (response.status == 200 && isHtml(response)) {
        std::string names;
        for (const std::wstring& name : m_methods) names += (names.empty() ? "" : ",") + utf8::fromWide(name);
        // One line, so that the page's own line numbers stay as they are.
        response.body = withTag(response.body, std::string("<script src=\"") + kScriptPath + "\" data-secret=\"" +
                                                   m_secret + "\" data-methods=\"" + names + "\"></script>");
    }
    return response;
}

HttpResponse PageHost::endpoint(const HttpRequest& request) {
    std::string path = request.path();
    // The script holds no secret: the page's tag hands it over.
    if (path == kScriptPath && request.method == "GET") {
        HttpResponse script;
        script.contentType = "text/javascript";
        script.body = m_script;
        return script;
    }
    std::string refusal = bridge_endpoint::endpointRefusal(request, m_port, m_secret);
    if (!refusal.empty()) return refuse(request, refusal);
    if (path == kCallPath) return call(request);
    if (path == kReportPath) return report(request);
    if (path == kClosePath) return close();
    return HttpResponse::text(404, "no such endpoint");
}

HttpResponse PageHost::call(const HttpRequest& request) {
    bridge_endpoint::Call call;
    std::string problem;
    if (!bridge_endpoint::parseCall(request.body, call, problem)) return HttpResponse::text(400, problem);
    std::string answer;
    if (!m_calls->run([&] { answer = bridge_endpoint::invoke(m_bridge, call); }))
        return HttpResponse::text(503, "the page host is closing");
    return json(answer);
}

HttpResponse PageHost::report(const HttpRequest& request) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value error;
    if (!reader->parse(request.body.data(), request.body.data() + request.body.size(), &error, nullptr) ||
        !error.isObject())
        return HttpResponse::text(400, "the report is not a JSON object");
    // The page's own files by their path, as a page author knows them.
    std::string source = error["source"].isString() ? error["source"].asString() : std::string();
    std::string origin = bridge_endpoint::pageOrigin(m_port) + "/";
    if (startsWith(source, origin)) source = source.substr(origin.size());
    if (source.empty()) source = "(page)";
    auto number = [&](const char* name) { return error[name].isInt() ? error[name].asInt() : 0; };
    std::string message = error["message"].isString() ? error["message"].asString() : std::string();
    m_err(utf8::toWide(source + ":" + std::to_string(number("line")) + ":" + std::to_string(number("column")) +
                       ": error: " + message));
    return HttpResponse::text(200, "reported");
}

HttpResponse PageHost::close() {
    m_calls->run([this] {
        m_out(L"page host: the page closed the launcher");
        m_calls->close();
        ::PostQuitMessage(0);
    });
    return HttpResponse::text(200, "closing");
}

HttpResponse PageHost::refuse(const HttpRequest& request, const std::string& why) {
    m_err(utf8::toWide("page host: refused " + request.method + " " + request.path() + " (" + why +
                       ", Host " + request.header("host") + ", Origin " + request.header("origin") + ")"));
    return HttpResponse::text(403, "refused: " + why);
}
