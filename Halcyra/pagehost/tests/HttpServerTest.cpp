#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include "Halcyra/pagehost/HttpServer.h"

namespace {

// A client socket connected to the server on 127.0.0.1.
class Client {
public:
    explicit Client(std::uint16_t port) : m_socket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        m_connected = m_socket != INVALID_SOCKET &&
                      connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() {
        if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    }
    bool connected() const { return m_connected; }
    bool send(const std::string& bytes) {
        return ::send(m_socket, bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
    }
    // True when the server has closed the connection, within waitMs; what it sent before
    // goes to received.
    bool closedWithin(DWORD waitMs, std::string& received) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval timeout{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000};
        if (select(0, &readable, nullptr, nullptr, &timeout) != 1) return false;
        char buffer[4096];
        int got = recv(m_socket, buffer, sizeof buffer, 0);
        if (got > 0) received.append(buffer, static_cast<size_t>(got));
        return got <= 0;
    }

private:
    SOCKET m_socket;
    bool m_connected = false;
};

TEST(HttpServer, ClosesOnAClientThatTricklesItsRequestPastTheDeadline) {
    HttpServer server([](const HttpRequest&, HANDLE) { return HttpResponse::text(200, "served"); }, 1500);
    std::wstring problem;
    ASSERT_TRUE(server.start(0, problem)) << problem.size();
    Client client(server.port());
    ASSERT_TRUE(client.connected());
    // A header line every 200 ms: each receive gets bytes well within any per-receive limit.
    ASSERT_TRUE(client.send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
    std::string received;
    bool closed = false;
    for (int line = 0; line < 40 && !closed; ++line) {
        closed = client.closedWithin(200, received);
        if (!closed) client.send("X-Slow: " + std::to_string(line) + "\r\n");
    }
    EXPECT_TRUE(closed) << "the connection stayed open for 8 s";
    EXPECT_EQ("", received);
    server.stop();
}

TEST(HttpServer, AnswersARequestThatArrivesInTime) {
    HttpServer server([](const HttpRequest& request, HANDLE) { return HttpResponse::text(200, request.target); });
    std::wstring problem;
    ASSERT_TRUE(server.start(0, problem));
    Client client(server.port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send("GET /a.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    std::string received;
    bool closed = false;
    for (int i = 0; i < 50 && !closed; ++i) closed = client.closedWithin(200, received);
    EXPECT_TRUE(closed);
    EXPECT_EQ(0u, received.find("HTTP/1.1 200 OK\r\n")) << received;
    EXPECT_NE(std::string::npos, received.find("\r\n\r\n/a.html\n")) << received;
    server.stop();
}

}  // namespace
