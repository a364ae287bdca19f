#pragma once
// A small HTTP/1.1 server for the page host, on 127.0.0.1 only.
//
// Every connection gets a thread of its own and carries one request: each answer says
// "Connection: close". The handler runs on that thread and may block (a bridge call
// waits for the user-interface thread). At most kMaxConnections are served at once;
// further clients wait in the listen queue.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/UniqueHandle.h"

struct HttpRequest {
    std::string method;   // "GET", "POST", ...
    std::string target;   // as in the request line: path and query
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    // The value of a header, "" when absent.
    std::string header(const std::string& lowerCaseName) const;
    // The target's path without the query.
    std::string path() const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType;   // none when empty
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    static HttpResponse text(int status, const std::string& text);
};

// Reads one request (head and a body of Content-Length bytes) from the bytes that arrive;
// used by the server and by tests on literal requests.
class HttpRequestParser {
public:
    static const std::size_t kMaxHeadBytes = 64 * 1024;
    static const std::size_t kMaxBodyBytes = 4 * 1024 * 1024;

    enum class State { NeedMore, Complete, Malformed, TooLarge };

    State feed(const char* data, std::size_t size);
    const HttpRequest& request() const { return m_request; }

private:
    State parseHead();

    std::string m_bytes;
    std::size_t m_headEnd = std::string::npos;
    std::size_t m_bodyLength = 0;
    HttpRequest m_request;
};

// The bytes of a response as sent: status line, headers, Content-Length, body.
std::string formatResponse(const HttpResponse& response);

class HttpServer {
public:
    // stopping is signalled when stop() begins: a handler that waits for something else
    // (another server's answer) gives up then.
    using Handler = std::function<HttpResponse(const HttpRequest& request, HANDLE stopping)>;
    static const int kMaxConnections = 16;
    // A client that has not sent its whole request (head and body) this long after it
    // connected loses its connection, however it trickles the bytes.
    static const DWORD kRequestTimeoutMs = 30000;

    explicit HttpServer(Handler handler, DWORD requestTimeoutMs = kRequestTimeoutMs);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free port); false with a message when it cannot.
    bool start(std::uint16_t port, std::wstring& problem);
    std::uint16_t port() const { return m_port; }

    // Stops accepting, ends open connections and waits for their threads. While it waits,
    // messages sent to this thread's windows are delivered, so that a handler blocked in
    // a call to the calling thread can finish.
    void stop();

private:
    using Socket = std::uintptr_t;  // a Winsock SOCKET; winsock2.h stays out of this header

    void acceptLoop();
    void serve(unsigned id, Socket client);
    void reapEndedThreads();

    Handler m_handler;
    DWORD m_requestTimeoutMs;
    Socket m_listener;
    std::uint16_t m_port = 0;
    fw::UniqueHandle m_shutdown;      // manual reset: set by stop()
    fw::UniqueHandle m_acceptReady;   // Winsock's event for a waiting connection
    fw::UniqueHandle m_slotFree;      // auto reset: a connection ended
    fw::UniqueHandle m_allEnded;      // manual reset: no connection is open

    std::mutex m_lock;
    std::vector<Socket> m_clients;                 // open connections
    std::map<unsigned, std::thread> m_threads;     // by connection number
    std::vector<unsigned> m_ended;                 // connections whose thread is ending
    unsigned m_nextId = 0;
    std::thread m_acceptThread;
    bool m_started = false;
};
