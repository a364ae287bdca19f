#pragma once
// A small HTTP/1.1 server on 127.0.0.1 that runs inside a test process, so that tests can
// drive real WinINet transfers against answers they script themselves.
//
//     HttpTestServer server;                       // listens on a free port at once
//     HttpReply reply;
//     reply.body = HttpReply::makeBody(5000);
//     reply.closeAfter = 2000;                     // the body ends early
//     server.setReply("/pkg/a.zip", reply);
//     std::string url = server.url("/pkg/a.zip");  // "http://127.0.0.1:<port>/pkg/a.zip"
//     ...
//     server.requests("/pkg/a.zip");               // what clients asked for, in order
//
// Only GET is answered. Every response says "Connection: close" and the connection is
// closed after it, so every request of a client is a new connection that the log shows.
// A path without a reply gets 404. setHandler lets a test answer each request differently
// (for instance the first one stalls, the second one completes).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HttpReply {
    static constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();

    int status = 200;
    std::shared_ptr<const std::string> body = std::make_shared<std::string>();

    // A body made as it is sent instead of `body`, for sizes no test holds in memory: bytes
    // 0..generatedLength-1 of generatedBytes, zeros in [zeroFrom, zeroTo).
    std::uint64_t generatedLength = 0;
    std::uint64_t zeroFrom = 0;
    std::uint64_t zeroTo = 0;

    // Validators, sent when not empty. A request whose If-Range matches neither gets the
    // whole body (200) instead of its range.
    std::string etag;
    std::string lastModified;

    // The head is sent after this pause; neverAnswer: the request is read and never answered.
    unsigned answerDelayMs = 0;
    bool neverAnswer = false;

    // Content-Length: absent, or a value other than the body's size ("wrong" length).
    bool sendLength = true;
    std::uint64_t declaredLength = kUnlimited;  // kUnlimited: the size of what is sent

    // Range: honoured with 206 and Content-Range (416 beyond the end), or ignored (200).
    bool honourRange = true;
    // A 206 whose Content-Range claims a range and a file this many bytes shorter than the
    // body it sends (a body longer than announced).
    std::uint64_t understatedBy = 0;

    // How much of this response's body is sent: after closeAfter bytes the connection is
    // closed; after stallAfter bytes the server holds it open and sends nothing more until
    // the server is destroyed (or the client goes away).
    std::uint64_t closeAfter = kUnlimited;
    std::uint64_t stallAfter = kUnlimited;

    // Slow trickle: the body is sent in pieces of trickleBytes with a pause between them;
    // the bytes before offset trickleFrom of the body go at full speed.
    std::size_t trickleBytes = 0;
    unsigned trickleDelayMs = 0;
    std::uint64_t trickleFrom = 0;

    // The connection is accepted and closed at once, without any answer.
    bool refuse = false;

    // Bytes 0..size-1 of a fixed pseudo-random sequence: distinct at every offset that
    // matters, so a resumed file that is off by some bytes never compares equal.
    static std::shared_ptr<const std::string> makeBody(std::size_t size, unsigned seed = 1);
    // A small body whose head comes after delayMs; or never, the request read and held.
    static HttpReply answeringAfter(unsigned delayMs);
    static HttpReply neverAnswering();
    // Bytes offset..offset+size-1 of this reply's body.
    void bodyBytes(std::uint64_t offset, char* out, std::size_t size) const;
    std::uint64_t bodySize() const { return generatedLength != 0 ? generatedLength : body->size(); }
};

struct HttpRequest {
    std::string path;       // as in the request line, query included
    std::string range;      // value of the Range header, empty when absent
    std::map<std::string, std::string> headers;  // names in lower case
};

class HttpTestServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    HttpTestServer();   // throws std::runtime_error when it cannot listen
    ~HttpTestServer();  // stops accepting, releases stalled connections, joins everything
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::string url(const std::string& path) const;

    void setReply(const std::string& path, const HttpReply& reply);
    void setHandler(const std::string& path, Handler handler);

    std::vector<HttpRequest> requests(const std::string& path) const;
    std::size_t requestCount(const std::string& path) const;
    // Body bytes handed to the network for requests of the path, all answers together.
    std::uint64_t bytesSent(const std::string& path) const;

    // Connections currently being answered (stalled ones included).
    int activeConnections() const;

private:
    using Socket = std::uintptr_t;  // a Winsock SOCKET; winsock2.h stays out of this header

    void acceptLoop();
    void serve(Socket client);
    bool sendBody(Socket client, const std::string& path, std::uint64_t begin, std::uint64_t end,
                  const HttpReply& reply);
    void waitForShutdown(Socket client);
    // False when the server shuts down or the client goes away meanwhile.
    bool pause(Socket client, unsigned milliseconds);

    Socket m_listener = 0;
    std::uint16_t m_port = 0;
    HANDLE m_shutdown = nullptr;  // manual-reset event: set by the destructor
    HANDLE m_acceptReady = nullptr;  // signalled by Winsock when a connection waits

    mutable std::mutex m_lock;
    std::map<std::string, Handler> m_handlers;
    std::vector<HttpRequest> m_log;
    std::map<std::string, std::uint64_t> m_bytesSent;
    std::vector<Socket> m_clients;
    int m_active = 0;

    std::thread m_acceptThread;
    std::vector<std::thread> m_workers;  // guarded by m_lock
};
