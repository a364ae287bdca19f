#pragma once
// One WinINet session and the response being read from it, for one download worker.
//
// Requests go through InternetConnect/HttpOpenRequest rather than InternetOpenUrl because
// only a connection handle set up before the request is sent gives its socket a receive
// timeout: without one a read on a stalled connection blocks for good and the worker
// could not see the stop flag.
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : m_handle(handle) {}
    ~InternetHandle() { reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    HINTERNET get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void reset(HINTERNET handle = nullptr);

private:
    HINTERNET m_handle = nullptr;
};

class HttpSource {
public:
    // Longest silence of the server within one wait, for the answer's headers as for each
    // read of its body: long enough for a busy server or a slow link to answer, short
    // enough that a worker reading from a stalled server soon sees the stop flag (a
    // blocked read cannot look at it).
    static const DWORD kReceiveTimeoutMs = 2000;

    // Opens the Internet session; false when WinINet cannot start.
    bool openSession();

    // Sends a GET for the URL, asking for the bytes from offset on when offset is not 0.
    // False when no HTTP answer arrives (no connection, no status line).
    bool open(const std::wstring& url, std::uint32_t offset);
    void close();
    bool isOpen() const { return static_cast<bool>(m_request); }

    int status() const { return m_status; }
    // Content-Length of the answer; false when absent or beyond 32 bits.
    bool contentLength(std::uint32_t& length) const;
    // "Content-Range: bytes first-last/total"; false when absent or malformed.
    bool contentRange(std::uint32_t& first, std::uint32_t& total) const;

    // Reads what has arrived, at most size bytes. 0 at the end of the body, after a read
    // error and after kReceiveTimeoutMs without data; ended() tells a clean end apart.
    DWORD read(char* buffer, DWORD size);
    bool ended() const { return m_ended; }

private:
    bool queryNumber(DWORD query, DWORD& value) const;

    InternetHandle m_session;
    InternetHandle m_connection;
    InternetHandle m_request;
    int m_status = 0;
    bool m_ended = false;
    bool m_broken = false;
};
