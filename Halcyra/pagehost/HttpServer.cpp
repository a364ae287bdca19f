#include <winsock2.h>
#include <ws2tcpip.h>

#include "Halcyra/pagehost/HttpServer.h"

#include "Halcyra/common/Helpers.h"

#include <algorithm>
#include <cstdlib>

namespace {

std::string trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

// Waits for the connection's event (FD_READ, FD_WRITE, FD_CLOSE) until the deadline
// (GetTickCount64 time); false at the deadline or when stopping is signalled.
bool waitForSocket(HANDLE ready, HANDLE stopping, ULONGLONG deadline) {
    ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    const HANDLE waits[] = {stopping, ready};
    if (::WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(deadline - now)) != WAIT_OBJECT_0 + 1)
        return false;
    ::WSAResetEvent(ready);
    return true;
}

// recv() on the non-blocking connection; 0, as for a closed connection, at the deadline
// or when stopping is signalled.
int receiveBefore(SOCKET client, HANDLE ready, HANDLE stopping, ULONGLONG deadline, char* buffer, int size) {
    for (;;) {
        int got = recv(client, buffer, size, 0);
        if (got >= 0 || WSAGetLastError() != WSAEWOULDBLOCK) return got;
        if (!waitForSocket(ready, stopping, deadline)) return 0;
    }
}

// All the bytes, unless the client takes none for timeoutMs or stopping is signalled.
bool sendAll(SOCKET client, HANDLE ready, HANDLE stopping, DWORD timeoutMs, const std::string& bytes) {
    size_t sent = 0;
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (sent < bytes.size()) {
        int piece = static_cast<int>(std::min<size_t>(bytes.size() - sent, 256 * 1024));
        int n = send(client, bytes.data() + sent, piece, 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            deadline = ::GetTickCount64() + timeoutMs;
        } else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK || !waitForSocket(ready, stopping, deadline)) {
            return false;
        }
    }
    return true;
}

// Winsock for the life of the process.
bool startWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

}  // namespace

std::string HttpRequest::header(const std::string& lowerCaseName) const {
    auto found = headers.find(lowerCaseName);
    return found == headers.end() ? std::string() : found->second;
}

std::string HttpRequest::path() const { return target.substr(0, target.find('?')); }

HttpResponse HttpResponse::text(int status, const std::string& text) {
    HttpResponse response;
    response.status = status;
    response.contentType = "text/plain; charset=utf-8";
    response.body = text + "\n";
    return response;
}

HttpRequestParser::State HttpRequestParser::feed(const char* data, std::size_t size) {
    m_bytes.append(data, size);
    if (m_headEnd == std::string::npos) {
        size_t end = m_bytes.find("\r\n\r\n");
        if (end == std::string::npos)
            return m_bytes.size() > kMaxHeadBytes ? State::TooLarge : State::NeedMore;
        m_headEnd = end + 4;
        State head = parseHead();
        if (head != State::Complete) return head;
    }
    if (m_bytes.size() - m_headEnd < m_bodyLength) return State::NeedMore;
    m_request.body = m_bytes.substr(m_headEnd, m_bodyLength);
    return State::Complete;
}

HttpRequestParser::State HttpRequestParser::parseHead() {
    size_t lineEnd = m_bytes.find("\r\n");
    std::string line = m_bytes.substr(0, lineEnd);
    size_t firstSpace = line.find(' ');
    size_t secondSpace = line.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos ||
        line.compare(secondSpace + 1, 5, "HTTP/") != 0)
        return State::Malformed;
    m_request.method = line.substr(0, firstSpace);
    m_request.target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    if (m_request.target.empty() || m_request.target[0] != '/') return State::Malformed;

    size_t pos = lineEnd + 2;
    while (pos < m_headEnd - 2) {
        size_t end = m_bytes.find("\r\n", pos);
        std::string field = m_bytes.substr(pos, end - pos);
        size_t colon = field.find(':');
        if (colon == std::string::npos || colon == 0) return State::Malformed;
        std::string name = lowerAscii(field.substr(0, colon));
        // A repeated Host, Origin or length could mean two things to two readers.
        if (m_request.headers.count(name)) return State::Malformed;
        m_request.headers[name] = trim(field.substr(colon + 1));
        pos = end + 2;
    }
    if (!m_request.header("transfer-encoding").empty()) return State::Malformed;
    std::string length = m_request.header("content-length");
    if (!length.empty()) {
        if (length.find_first_not_of("0123456789") != std::string::npos || length.size() > 9)
            return State::Malformed;
        m_bodyLength = static_cast<size_t>(std::strtoul(length.c_str(), nullptr, 10));
        if (m_bodyLength > kMaxBodyBytes) return State::TooLarge;
    }
    return State::Complete;
}

std::string formatResponse(const HttpResponse& response) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + reasonPhrase(response.status) +
                       "\r\nConnection: close\r\nCache-Control: no-store\r\n";
    if (!response.contentType.empty()) head += "Content-Type: " + response.contentType + "\r\n";
    for (const auto& header : response.headers) head += header.first + ": " + header.second + "\r\n";
    head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n\r\n";
    return head + response.body;
}

HttpServer::HttpServer(Handler handler, DWORD requestTimeoutMs)
    : m_handler(std::move(handler)), m_requestTimeoutMs(requestTimeoutMs),
      m_listener(static_cast<Socket>(INVALID_SOCKET)) {}

HttpServer::~HttpServer() { stop(); }

bool HttpServer::start(std::uint16_t port, std::wstring& problem) {
    if (!startWinsock()) {
        problem = L"Winsock does not start";
        return false;
    }
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        problem = L"no socket (error " + std::to_wstring(WSAGetLastError()) + L")";
        return false;
    }
    // Another program listening on the same port must make this one fail, not share it.
    BOOL exclusive = TRUE;
    setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        problem = L"cannot listen on 127.0.0.1:" + std::to_wstring(port) + L" (error " +
                  std::to_wstring(WSAGetLastError()) + L")";
        closesocket(listener);
        return false;
    }
    m_listener = static_cast<Socket>(listener);
    m_port = ntohs(address.sin_port);
    m_shutdown.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_slotFree.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_allEnded.reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    m_acceptReady.reset(WSACreateEvent());
    // The accept thread waits for a connection or the shutdown, whichever comes first:
    // closing the listener under a blocked accept() does not reliably end it under Wine.
    if (!m_shutdown || !m_slotFree || !m_allEnded || !m_acceptReady ||
        WSAEventSelect(listener, m_acceptReady.get(), FD_ACCEPT) != 0) {
        problem = L"cannot wait for connections";
        closesocket(listener);
        m_listener = static_cast<Socket>(INVALID_SOCKET);
        return false;
    }
    m_started = true;
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void HttpServer::stop() {
    if (!m_started) return;
    m_started = false;
    ::SetEvent(m_shutdown.get());
    m_acceptThread.join();
    closesocket(m_listener);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (Socket client : m_clients) shutdown(client, SD_BOTH);
    }
    // A handler may be waiting for this very thread (a call sent to its window).
    HANDLE allEnded = m_allEnded.get();
    for (;;) {
        DWORD woke = ::MsgWaitForMultipleObjects(1, &allEnded, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    std::map<unsigned, std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        threads.swap(m_threads);
        m_ended.clear();
    }
    for (auto& entry : threads) entry.second.join();
}

void HttpServer::reapEndedThreads() {
    std::vector<std::thread> ended;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (unsigned id : m_ended) {
            ended.push_back(std::move(m_threads[id]));
            m_threads.erase(id);
        }
        m_ended.clear();
    }
    for (std::thread& thread : ended) thread.join();
}

void HttpServer::acceptLoop() {
    const HANDLE connectionWaits[] = {m_shutdown.get(), m_acceptReady.get()};
    const HANDLE slotWaits[] = {m_shutdown.get(), m_slotFree.get()};
    for (;;) {
        reapEndedThreads();
        bool full;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            full = m_clients.size() >= static_cast<size_t>(kMaxConnections);
        }
        if (full) {
            if (::WaitForMultipleObjects(2, slotWaits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
            continue;
        }
        if (::WaitForMultipleObjects(2, connectionWaits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
        WSANETWORKEVENTS happened;
        if (WSAEnumNetworkEvents(m_listener, m_acceptReady.get(), &happened) != 0) return;
        SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) continue;  // the client gave up already
            return;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        unsigned id = m_nextId++;
        m_clients.push_back(static_cast<Socket>(client));
        ::ResetEvent(m_allEnded.get());
        m_threads[id] = std::thread([this, id, client] { serve(id, static_cast<Socket>(client)); });
    }
}

void HttpServer::serve(unsigned id, Socket socket) {
    SOCKET client = static_cast<SOCKET>(socket);
    HANDLE stopping = m_shutdown.get();
    // The connection waits on its event and on stop(), never in a blocking call: under Wine
    // neither shutdown() nor closesocket() reliably ends a recv() another thread is in.
    // The selection replaces the one the socket inherits from the listener.
    fw::UniqueHandle ready(WSACreateEvent());
    HttpRequestParser parser;
    HttpRequestParser::State state = HttpRequestParser::State::NeedMore;
    char buffer[8192];
    if (ready && WSAEventSelect(client, ready.get(), FD_READ | FD_WRITE | FD_CLOSE) == 0) {
        const ULONGLONG deadline = ::GetTickCount64() + m_requestTimeoutMs;
        while (state == HttpRequestParser::State::NeedMore) {
            int got = receiveBefore(client, ready.get(), stopping, deadline, buffer, sizeof buffer);
            if (got <= 0) break;
            state = parser.feed(buffer, static_cast<size_t>(got));
        }
    }
    HttpResponse response;
    bool answer = true;
    switch (state) {
    case HttpRequestParser::State::Complete:
        try {
            response = m_handler(parser.request(), stopping);
        } catch (...) {
            response = HttpResponse::text(500, "the page host failed on this request");
        }
        break;
    case HttpRequestParser::State::Malformed: response = HttpResponse::text(400, "malformed request"); break;
    case HttpRequestParser::State::TooLarge: response = HttpResponse::text(413, "request too large"); break;
    case HttpRequestParser::State::NeedMore: answer = false; break;  // gone, too slow, or stopped
    }
    if (answer && sendAll(client, ready.get(), stopping, m_requestTimeoutMs, formatResponse(response))) {
        // Let the client read the whole answer before it sees the connection close.
        shutdown(client, SD_SEND);
        const ULONGLONG closing = ::GetTickCount64() + m_requestTimeoutMs;
        while (receiveBefore(client, ready.get(), stopping, closing, buffer, sizeof buffer) > 0) {
        }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_clients.erase(std::find(m_clients.begin(), m_clients.end(), socket));
    closesocket(client);
    m_ended.push_back(id);
    ::SetEvent(m_slotFree.get());
    if (m_clients.empty()) ::SetEvent(m_allEnded.get());
}
