#include "Halcyra/download/HttpSource.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

// Connection attempts to an unreachable host give up after this long, so that a
// reconnection series stays short enough to be stopped.
const DWORD kConnectTimeoutMs = 5000;
// Data is flowing when WinINet's read buffer is full: then a whole block is read at
// once (fast); otherwise only what has arrived (a slow trickle never blocks a block).
const DWORD kFlowingThreshold = 8192;
const DWORD kMinSuccessStatus = 100;

void setTimeout(HINTERNET handle, DWORD option, DWORD milliseconds)
{
    InternetSetOptionW(handle, option, &milliseconds, sizeof milliseconds);
}

bool parseContentRange(const wchar_t* text, std::uint32_t& first, std::uint32_t& total)
{
    unsigned long long from = 0, to = 0, size = 0;
    if (std::swscanf(text, L"bytes %llu-%llu/%llu", &from, &to, &size) != 3) return false;
    if (from > to || to >= size || size > 0xFFFFFFFFull) return false;
    first = static_cast<std::uint32_t>(from);
    total = static_cast<std::uint32_t>(size);
    return true;
}

}  // namespace

void InternetHandle::reset(HINTERNET handle)
{
    if (m_handle) InternetCloseHandle(m_handle);
    m_handle = handle;
}

bool HttpSource::openSession()
{
    m_session.reset(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!m_session) return false;
    setTimeout(m_session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
    return true;
}

bool HttpSource::open(const std::wstring& url, std::uint32_t offset)
{
    close();
    if (!m_session) return false;

    std::vector<wchar_t> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return false;

    m_connection.reset(InternetConnectW(m_session.get(), host.data(), parts.nPort, nullptr,
                                        nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!m_connection) return false;
    // Requests inherit these from their connection when they are sent; changing them on
    // the request afterwards has no effect under Wine.
    setTimeout(m_connection.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
    setTimeout(m_connection.get(), INTERNET_OPTION_SEND_TIMEOUT, kReceiveTimeoutMs);
    setTimeout(m_connection.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);

    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    const std::wstring object = std::wstring(path.data()) + extra.data();
    m_request.reset(HttpOpenRequestW(m_connection.get(), L"GET", object.c_str(), nullptr,
                                     nullptr, nullptr, flags, 0));
    if (!m_request) return false;

    wchar_t range[64] = {};
    if (offset > 0) std::swprintf(range, 64, L"Range: bytes=%lu-\r\n", static_cast<unsigned long>(offset));
    if (!HttpSendRequestW(m_request.get(), offset > 0 ? range : nullptr,
                          offset > 0 ? static_cast<DWORD>(-1) : 0, nullptr, 0)) {
        close();
        return false;
    }
    // A connection that closes without any answer still yields a request handle.
    DWORD status = 0;
    if (!queryNumber(HTTP_QUERY_STATUS_CODE, status) || status < kMinSuccessStatus) {
        close();
        return false;
    }
    m_status = static_cast<int>(status);
    return true;
}

void HttpSource::close()
{
    m_request.reset();
    m_connection.reset();
    m_status = 0;
    m_ended = false;
    m_broken = false;
}

bool HttpSource::queryNumber(DWORD query, DWORD& value) const
{
    DWORD size = sizeof value;
    return HttpQueryInfoW(m_request.get(), query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
}

bool HttpSource::contentLength(std::uint32_t& length) const
{
    // As text: the number form silently wraps lengths of 4 GiB and more.
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    if (!m_request || !HttpQueryInfoW(m_request.get(), HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
        return false;
    unsigned long long value = 0;
    wchar_t tail = 0;
    if (std::swscanf(text, L"%llu%lc", &value, &tail) != 1 || value > 0xFFFFFFFFull) return false;
    length = static_cast<std::uint32_t>(value);
    return true;
}

bool HttpSource::contentRange(std::uint32_t& first, std::uint32_t& total) const
{
    wchar_t text[128] = {};
    DWORD size = sizeof text;
    if (!m_request || !HttpQueryInfoW(m_request.get(), HTTP_QUERY_CONTENT_RANGE, text, &size, nullptr))
        return false;
    return parseContentRange(text, first, total);
}

DWORD HttpSource::read(char* buffer, DWORD size)
{
    if (!m_request) return 0;
    DWORD available = 0;
    if (!InternetQueryDataAvailable(m_request.get(), &available, 0, 0)) {
        m_broken = true;
        return 0;
    }
    if (available == 0) {
        // After a timeout or error the connection reads as ended too; that is no clean end.
        m_ended = !m_broken;
        return 0;
    }
    const DWORD wanted = available >= kFlowingThreshold ? size : (available < size ? available : size);
    DWORD got = 0;
    if (!InternetReadFile(m_request.get(), buffer, wanted, &got)) {
        // A failed read may have consumed bytes it does not report; anything read from
        // this response afterwards would land at the wrong offset. Drop the response: the
        // worker asks again from what it has written.
        m_request.reset();
        m_connection.reset();
        m_broken = true;
        return 0;
    }
    // Data after a timed-out wait: the connection was only slow, not broken.
    if (got > 0) m_broken = false;
    return got;
}
