#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/support/HttpTestServer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

const std::size_t kMaxHeaderBytes = 64 * 1024;
const std::size_t kSendChunk = 256 * 1024;

const char* reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Reads up to the blank line that ends the request head; false if the client went away.
bool readHead(SOCKET client, std::string& head)
{
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxHeaderBytes) return false;
        const int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        head.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

bool parseRequest(const std::string& head, HttpRequest& request)
{
    const auto lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const auto firstSpace = line.find(' ');
    const auto secondSpace = line.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos) return false;
    if (line.compare(0, firstSpace, "GET") != 0) return false;
    request.path = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);

    std::size_t pos = lineEnd + 2;
    while (pos < head.size()) {
        const auto end = head.find("\r\n", pos);
        if (end == std::string::npos || end == pos) break;
        const std::string field = head.substr(pos, end - pos);
        const auto colon = field.find(':');
        if (colon != std::string::npos)
            request.headers[lower(trim(field.substr(0, colon)))] = trim(field.substr(colon + 1));
        pos = end + 2;
    }
    const auto range = request.headers.find("range");
    if (range != request.headers.end()) request.range = range->second;
    return true;
}

// "bytes=N-" or "bytes=N-M"; false for anything else (then the range is not honoured).
bool parseRange(const std::string& range, std::uint64_t& first, std::uint64_t& last)
{
    unsigned long long from = 0, to = 0;
    char tail = 0;
    if (std::sscanf(range.c_str(), "bytes=%llu-%llu%c", &from, &to, &tail) == 2) {
        if (to < from) return false;
        first = from;
        last = to;
        return true;
    }
    if (std::sscanf(range.c_str(), "bytes=%llu-%c", &from, &tail) == 1 && range.back() == '-') {
        first = from;
        last = HttpReply::kUnlimited;
        return true;
    }
    return false;
}

bool sendAll(SOCKET client, const char* data, std::size_t size)
{
    while (size > 0) {
        const int piece = static_cast<int>(std::min<std::size_t>(size, kSendChunk));
        const int sent = send(client, data, piece, 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

class WinsockSession {
public:
    WinsockSession()
    {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
            throw std::runtime_error("HttpTestServer: WSAStartup failed");
    }
    ~WinsockSession() { WSACleanup(); }
};

}  // namespace

std::shared_ptr<const std::string> HttpReply::makeBody(std::size_t size, unsigned seed)
{
    auto body = std::make_shared<std::string>(size, '\0');
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        (*body)[i] = static_cast<char>(state >> 24);
    }
    return body;
}

HttpReply HttpReply::answeringAfter(unsigned delayMs)
{
    HttpReply reply;
    reply.body = makeBody(4096);
    reply.answerDelayMs = delayMs;
    return reply;
}

HttpReply HttpReply::neverAnswering()
{
    HttpReply reply;
    reply.body = makeBody(4096);
    reply.neverAnswer = true;
    return reply;
}

void HttpReply::bodyBytes(std::uint64_t offset, char* out, std::size_t size) const
{
    if (generatedLength == 0) {
        std::memcpy(out, body->data() + offset, size);
        return;
    }
    // Each byte from its offset alone, so that any piece can be made (or checked) on its own.
    std::size_t i = 0;
    while (i < size) {
        const std::uint64_t at = offset + i;
        if (at >= zeroFrom && at < zeroTo) {
            const std::size_t zeros = static_cast<std::size_t>(std::min<std::uint64_t>(zeroTo - at, size - i));
            std::memset(out + i, 0, zeros);
            i += zeros;
            continue;
        }
        std::uint64_t word = (at >> 3) * 0x9E3779B97F4A7C15ull;
        word ^= word >> 29;
        out[i++] = static_cast<char>(word >> ((at & 7) * 8));
    }
}

HttpTestServer::HttpTestServer()
{
    static WinsockSession winsock;  // one start-up for the process; released at exit

    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_listener == static_cast<Socket>(INVALID_SOCKET)) throw std::runtime_error("HttpTestServer: socket failed");
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, SOMAXCONN) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(m_listener);
        throw std::runtime_error("HttpTestServer: cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_shutdown = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // The accept thread waits for a connection or the shutdown, whichever comes first.
    // Closing the listener under a blocked accept() is no way to stop it: under Wine the
    // accept sometimes goes on waiting, and the freed handle value may be reused meanwhile.
    m_acceptReady = WSACreateEvent();
    if (!m_shutdown || m_acceptReady == WSA_INVALID_EVENT ||
        WSAEventSelect(m_listener, m_acceptReady, FD_ACCEPT) != 0) {
        closesocket(m_listener);
        if (m_shutdown) CloseHandle(m_shutdown);
        if (m_acceptReady != WSA_INVALID_EVENT) WSACloseEvent(m_acceptReady);
        throw std::runtime_error("HttpTestServer: cannot wait for connections");
    }
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer()
{
    SetEvent(m_shutdown);
    m_acceptThread.join();
    closesocket(m_listener);
    WSACloseEvent(m_acceptReady);
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (SOCKET client : m_clients) shutdown(client, SD_BOTH);
        workers.swap(m_workers);
    }
    for (auto& worker : workers) worker.join();
    CloseHandle(m_shutdown);
}

std::string HttpTestServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpTestServer::setReply(const std::string& path, const HttpReply& reply)
{
    setHandler(path, [reply](const HttpRequest&) { return reply; });
}

void HttpTestServer::setHandler(const std::string& path, Handler handler)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_handlers[path] = std::move(handler);
}

std::vector<HttpRequest> HttpTestServer::requests(const std::string& path) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<HttpRequest> result;
    for (const auto& request : m_log)
        if (request.path == path) result.push_back(request);
    return result;
}

std::size_t HttpTestServer::requestCount(const std::string& path) const
{
    return requests(path).size();
}

std::uint64_t HttpTestServer::bytesSent(const std::string& path) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_bytesSent.find(path);
    return found == m_bytesSent.end() ? 0 : found->second;
}

int HttpTestServer::activeConnections() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_active;
}

void HttpTestServer::acceptLoop()
{
    const HANDLE events[] = {m_shutdown, m_acceptReady};
    for (;;) {
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
        WSANETWORKEVENTS happened;
        if (WSAEnumNetworkEvents(m_listener, m_acceptReady, &happened) != 0) return;
        // Every connection that waits, not only the one that signalled: connections that
        // arrive together may be announced once.
        for (;;) {
            const SOCKET client = accept(m_listener, nullptr, nullptr);
            if (client == INVALID_SOCKET) {
                if (WSAGetLastError() == WSAEWOULDBLOCK) break;  // none left waiting
                return;
            }
            // An accepted socket inherits the listener's event selection and with it
            // non-blocking mode; the connection's thread wants plain blocking calls.
            u_long blocking = 0;
            if (WSAEventSelect(client, nullptr, 0) != 0 || ioctlsocket(client, FIONBIO, &blocking) != 0) {
                closesocket(client);
                continue;
            }
            std::lock_guard<std::mutex> guard(m_lock);
            m_clients.push_back(client);
            ++m_active;
            m_workers.emplace_back([this, client] { serve(client); });
        }
    }
}

void HttpTestServer::serve(Socket client)
{
    std::string head;
    HttpRequest request;
    if (readHead(client, head) && parseRequest(head, request)) {
        Handler handler;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_log.push_back(request);
            const auto found = m_handlers.find(request.path);
            if (found != m_handlers.end()) handler = found->second;
        }
        HttpReply reply;
        if (handler) {
            reply = handler(request);
        } else {
            reply.status = 404;
        }

        if (reply.neverAnswer) {
            waitForShutdown(client);
        } else if (!reply.refuse && pause(client, reply.answerDelayMs)) {
            const std::uint64_t size = reply.bodySize();
            std::uint64_t begin = 0, end = size;
            int status = reply.status;
            std::string extra;
            std::uint64_t first = 0, last = 0;
            // If-Range: the range only while the validator still matches.
            const auto ifRange = request.headers.find("if-range");
            const bool current = ifRange == request.headers.end() ||
                                 (!reply.etag.empty() && ifRange->second == reply.etag) ||
                                 (!reply.lastModified.empty() && ifRange->second == reply.lastModified);
            if (status == 200 && reply.honourRange && current && !request.range.empty() &&
                parseRange(request.range, first, last)) {
                if (first >= size) {
                    status = 416;
                    extra = "Content-Range: bytes */" + std::to_string(size) + "\r\n";
                    end = 0;
                } else {
                    status = 206;
                    begin = first;
                    end = std::min(size, last == HttpReply::kUnlimited ? size : last + 1);
                    extra = "Content-Range: bytes " + std::to_string(begin) + "-" +
                            std::to_string(end - 1 - reply.understatedBy) + "/" +
                            std::to_string(size - reply.understatedBy) + "\r\n";
                }
            }
            if (!reply.etag.empty()) extra += "ETag: " + reply.etag + "\r\n";
            if (!reply.lastModified.empty()) extra += "Last-Modified: " + reply.lastModified + "\r\n";

            std::string header = "HTTP/1.1 " + std::to_string(status) + " " +
                                 reasonPhrase(status) + "\r\n";
            header += "Connection: close\r\nContent-Type: application/octet-stream\r\n";
            header += extra;
            if (reply.sendLength) {
                const std::uint64_t length =
                    reply.declaredLength != HttpReply::kUnlimited ? reply.declaredLength : end - begin;
                header += "Content-Length: " + std::to_string(length) + "\r\n";
            }
            header += "\r\n";
            if (sendAll(client, header.data(), header.size()) &&
                sendBody(client, request.path, begin, end, reply) &&
                reply.stallAfter != HttpReply::kUnlimited) {
                waitForShutdown(client);
            }
        }
    }
    // Polite close: the client reads the end of the body before it sees the close.
    shutdown(client, SD_SEND);
    std::lock_guard<std::mutex> guard(m_lock);
    m_clients.erase(std::find(m_clients.begin(), m_clients.end(), client));
    closesocket(client);
    --m_active;
}

bool HttpTestServer::sendBody(Socket client, const std::string& path, std::uint64_t begin,
                              std::uint64_t end, const HttpReply& reply)
{
    const std::uint64_t limit = std::min(reply.closeAfter, reply.stallAfter);
    if (limit != HttpReply::kUnlimited) end = std::min(end, begin + limit);
    std::vector<char> chunk;
    std::uint64_t pos = begin;
    while (pos < end) {
        std::uint64_t piece = std::min<std::uint64_t>(end - pos, kSendChunk);
        const bool trickling = reply.trickleBytes > 0 && pos >= reply.trickleFrom;
        if (trickling) piece = std::min<std::uint64_t>(piece, reply.trickleBytes);
        else if (pos < reply.trickleFrom) piece = std::min<std::uint64_t>(piece, reply.trickleFrom - pos);
        chunk.resize(static_cast<std::size_t>(piece));
        reply.bodyBytes(pos, chunk.data(), chunk.size());
        const bool sent = sendAll(client, chunk.data(), chunk.size());
        if (sent) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_bytesSent[path] += piece;
        }
        if (!sent) return false;
        pos += piece;
        if (trickling && pos < end &&
            WaitForSingleObject(m_shutdown, reply.trickleDelayMs) == WAIT_OBJECT_0)
            return false;
    }
    return true;
}

bool HttpTestServer::pause(Socket client, unsigned milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        if (WaitForSingleObject(m_shutdown, 20) == WAIT_OBJECT_0) return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        timeval immediately = {0, 0};
        char byte;
        if (select(0, &readable, nullptr, nullptr, &immediately) > 0 && recv(client, &byte, 1, MSG_PEEK) <= 0)
            return false;
    }
    return true;
}

void HttpTestServer::waitForShutdown(Socket client)
{
    // Silent until the server ends or the client closes its side.
    for (;;) {
        if (WaitForSingleObject(m_shutdown, 20) == WAIT_OBJECT_0) return;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        timeval immediately = {0, 0};
        if (select(0, &readable, nullptr, nullptr, &immediately) > 0) {
            char byte;
            if (recv(client, &byte, 1, MSG_PEEK) <= 0) return;
        }
    }
}
