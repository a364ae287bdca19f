#include "Halcyra/download/HttpSource.h"

#include "framework/UniqueHandle.h"
#include "framework/UniqueInternetHandle.h"

#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <deque>
#include <mutex>

namespace {

// Connection attempts to an unreachable host give up after this long.
const DWORD kConnectTimeoutMs = 5000;
// Data is flowing when WinINet's own buffer is full: then a whole piece is read;
// otherwise only what has arrived, so that a slow server's bytes reach the file as they
// come. A whole piece grows while it fills quickly and shrinks while it fills slowly.
// A read returns only once its buffer is full, so a piece is read a slice at a time and
// handed over once it has taken kSlowPieceMs: a server that turns slow after a fast
// start holds its bytes back for the time of one slice, not of a whole piece.
const DWORD kFlowingThreshold = 8192;
const DWORD kMinPieceBytes = 16 * 1024;
const DWORD kMaxPieceBytes = 1 << 20;
const DWORD kSliceBytes = 128 * 1024;
const DWORD kQuickPieceMs = 20;
const DWORD kSlowPieceMs = 100;
// Pieces read ahead of the worker's writes, at most.
const std::size_t kMaxQueuedPieces = 8;
const DWORD kMinStatus = 100;
const int kStatusPartial = 206;

using InternetHandle = fw::UniqueInternetHandle;

void setTimeout(HINTERNET handle, DWORD option, DWORD milliseconds)
{
    InternetSetOptionW(handle, option, &milliseconds, sizeof milliseconds);
}

// The header's text; empty when it is absent.
std::wstring queryText(HINTERNET request, DWORD query)
{
    wchar_t text[512] = {};
    DWORD size = sizeof text - sizeof text[0];
    if (!HttpQueryInfoW(request, query, text, &size, nullptr)) return std::wstring();
    return text;
}

bool parseCount(const std::wstring& text, std::uint64_t& value)
{
    unsigned long long number = 0;
    wchar_t tail = 0;
    if (std::swscanf(text.c_str(), L"%llu%lc", &number, &tail) != 1) return false;
    value = number;
    return true;
}

// "bytes first-last/total"; false when absent or malformed.
bool parseContentRange(const std::wstring& text, HttpAnswer& answer)
{
    unsigned long long first = 0, last = 0, total = 0;
    wchar_t tail = 0;
    if (std::swscanf(text.c_str(), L"bytes %llu-%llu/%llu%lc", &first, &last, &total, &tail) != 3)
        return false;
    if (first > last || last >= total) return false;
    answer.first = first;
    answer.last = last;
    answer.total = total;
    return true;
}

// Header texts are ASCII; anything else is not a validator worth sending back.
bool toAscii(const std::wstring& text, std::string& ascii)
{
    ascii.clear();
    for (wchar_t c : text) {
        if (c < 0x20 || c > 0x7E) return false;
        ascii += static_cast<char>(c);
    }
    return !ascii.empty();
}

void readAnswer(HINTERNET request, HttpAnswer& answer)
{
    answer.hasLength = parseCount(queryText(request, HTTP_QUERY_CONTENT_LENGTH), answer.length);
    answer.hasRange = parseContentRange(queryText(request, HTTP_QUERY_CONTENT_RANGE), answer);
    // A weak ETag cannot be used with If-Range.
    const std::wstring etag = queryText(request, HTTP_QUERY_ETAG);
    if (!etag.empty() && etag.compare(0, 2, L"W/") != 0 && toAscii(etag, answer.validator)) {
        answer.validatorKind = 'E';
    } else if (toAscii(queryText(request, HTTP_QUERY_LAST_MODIFIED), answer.validator)) {
        answer.validatorKind = 'L';
    } else {
        answer.validator.clear();
    }
    toAscii(queryText(request, HTTP_QUERY_CONTENT_TYPE), answer.contentType);
}

}  // namespace

// What the request's thread and the worker share.
struct HttpFetch::State {
    State() : changed(CreateEventW(nullptr, FALSE, FALSE, nullptr)), space(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    std::wstring urlText;
    HttpRange range;

    std::mutex lock;
    fw::UniqueHandle changed;  // auto reset: the thread has published something
    fw::UniqueHandle space;    // auto reset: the worker took a piece or walked away
    bool answered = false;
    bool failed = false;
    bool ended = false;
    bool abandoned = false;
    HttpAnswer answer;
    std::deque<std::vector<char>> pieces;
    std::vector<std::vector<char>> spare;  // pieces the worker has written, for reuse

    void publish() { SetEvent(changed.get()); }
    void fail()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            failed = true;
        }
        publish();
    }

    void run();
    bool send(InternetHandle& session, InternetHandle& connection, InternetHandle& request);
    void readBody(HINTERNET request);
};

namespace {

DWORD WINAPI fetchThread(void* argument)
{
    const std::unique_ptr<std::shared_ptr<HttpFetch::State>> state(
        static_cast<std::shared_ptr<HttpFetch::State>*>(argument));
    try {
        (*state)->run();
    } catch (...) {
        (*state)->fail();
    }
    return 0;
}

}  // namespace

void HttpFetch::State::run()
{
    InternetHandle session, connection, request;
    if (!send(session, connection, request)) {
        fail();
        return;
    }
    readBody(request.get());
    // The handles close here, on this thread, whatever the worker is doing by then.
}

bool HttpFetch::State::send(InternetHandle& session, InternetHandle& connection, InternetHandle& request)
{
    std::vector<wchar_t> host(urlText.size() + 1), path(urlText.size() + 1), extra(urlText.size() + 1);
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlW(urlText.c_str(), 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;

    session.reset(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return false;
    connection.reset(InternetConnectW(session.get(), host.data(), parts.nPort, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return false;
    // Requests take these from their connection when they are sent.
    setTimeout(connection.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
    setTimeout(connection.get(), INTERNET_OPTION_SEND_TIMEOUT, kAnswerTimeoutMs);
    setTimeout(connection.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kAnswerTimeoutMs);

    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    const std::wstring object = std::wstring(path.data()) + extra.data();
    request.reset(HttpOpenRequestW(connection.get(), L"GET", object.c_str(), nullptr, nullptr,
                                   nullptr, flags, 0));
    if (!request) return false;

    std::wstring headers;
    if (range.ranged) {
        wchar_t text[96];
        std::swprintf(text, 96, L"Range: bytes=%llu-%llu\r\n", static_cast<unsigned long long>(range.first),
                      static_cast<unsigned long long>(range.last));
        headers = text;
        if (!range.ifRange.empty())
            headers += L"If-Range: " + std::wstring(range.ifRange.begin(), range.ifRange.end()) + L"\r\n";
    }
    if (!HttpSendRequestW(request.get(), headers.empty() ? nullptr : headers.c_str(),
                          static_cast<DWORD>(headers.size()), nullptr, 0))
        return false;
    // A connection that closes without any answer still yields a request handle.
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
        status < kMinStatus)
        return false;

    HttpAnswer head;
    head.status = static_cast<int>(status);
    readAnswer(request.get(), head);
    {
        std::lock_guard<std::mutex> guard(lock);
        answer = head;
        answered = true;
    }
    publish();
    return true;
}

void HttpFetch::State::readBody(HINTERNET request)
{
    DWORD pieceBytes = kMinPieceBytes;
    for (;;) {
        // Wait for room, unless the worker has gone.
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(lock);
                if (abandoned) return;
                if (pieces.size() < kMaxQueuedPieces) break;
            }
            WaitForSingleObject(space.get(), INFINITE);
        }
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
            fail();
            return;
        }
        const bool flowing = available >= kFlowingThreshold;
        std::vector<char> piece;
        {
            // Buffers go round between the two threads rather than being made anew.
            std::lock_guard<std::mutex> guard(lock);
            if (!spare.empty()) {
                piece = std::move(spare.back());
                spare.pop_back();
            }
        }
        piece.resize(flowing ? pieceBytes : available);
        const DWORD started = GetTickCount();
        DWORD filled = 0;
        bool end = piece.empty();
        DWORD took = 0;
        while (filled < piece.size()) {
            const DWORD slice = std::min<DWORD>(static_cast<DWORD>(piece.size()) - filled, kSliceBytes);
            DWORD got = 0;
            if (!InternetReadFile(request, piece.data() + filled, slice, &got)) {
                fail();
                return;
            }
            filled += got;
            took = GetTickCount() - started;
            if (got == 0) {
                end = true;
                break;
            }
            if (took >= kSlowPieceMs) break;
        }
        if (flowing) {
            if (took <= kQuickPieceMs && pieceBytes < kMaxPieceBytes) pieceBytes *= 2;
            if (took >= kSlowPieceMs && pieceBytes > kMinPieceBytes) pieceBytes /= 2;
        }
        piece.resize(filled);
        {
            std::lock_guard<std::mutex> guard(lock);
            if (filled != 0) pieces.push_back(std::move(piece));
            if (end) ended = true;
        }
        publish();
        if (end) return;
    }
}

HttpFetch::HttpFetch(const std::wstring& url, const HttpRange& range) : m_state(std::make_shared<State>())
{
    m_state->urlText = url;
    m_state->range = range;
    auto* argument = new std::shared_ptr<State>(m_state);
    const HANDLE thread = m_state->changed && m_state->space
                              ? CreateThread(nullptr, 0, &fetchThread, argument, 0, nullptr)
                              : nullptr;
    if (!thread) {
        delete argument;
        m_state->failed = true;
        return;
    }
    // Nobody waits for the thread: it ends on its own once it has nothing more to do.
    CloseHandle(thread);
}

HttpFetch::~HttpFetch()
{
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->abandoned = true;
        m_state->pieces.clear();
    }
    SetEvent(m_state->space.get());
}

namespace {

// Waits for `changed` or the stop event within the time left; false when the time is up.
HttpFetch::Result waitStep(HANDLE changed, HANDLE stopEvent, DWORD start, DWORD timeoutMs, bool& again)
{
    const DWORD waited = GetTickCount() - start;
    if (waited >= timeoutMs) {
        again = false;
        return HttpFetch::Result::timedOut;
    }
    const HANDLE events[] = {stopEvent, changed};
    const DWORD woke = WaitForMultipleObjects(2, events, FALSE, timeoutMs - waited);
    again = woke == WAIT_OBJECT_0 + 1;
    if (woke == WAIT_OBJECT_0) return HttpFetch::Result::stopped;
    return HttpFetch::Result::timedOut;
}

}  // namespace

HttpFetch::Result HttpFetch::waitForAnswer(HANDLE stopEvent, DWORD timeoutMs, HttpAnswer& answer)
{
    const DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(m_state->lock);
            if (m_state->answered) {
                answer = m_state->answer;
                return Result::ok;
            }
            if (m_state->failed) return Result::failed;
        }
        bool again = false;
        const Result result = waitStep(m_state->changed.get(), stopEvent, start, timeoutMs, again);
        if (!again) return result;
    }
}

bool HttpFetch::bodyArrived() const
{
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->ended;
}

HttpFetch::Result HttpFetch::read(HANDLE stopEvent, DWORD timeoutMs, std::vector<char>& piece)
{
    const DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(m_state->lock);
            if (!m_state->pieces.empty()) {
                if (piece.capacity() != 0) m_state->spare.push_back(std::move(piece));
                piece = std::move(m_state->pieces.front());
                m_state->pieces.pop_front();
                SetEvent(m_state->space.get());
                return Result::ok;
            }
            if (m_state->ended) {
                piece.clear();
                return Result::ok;
            }
            if (m_state->failed) return Result::failed;
        }
        bool again = false;
        const Result result = waitStep(m_state->changed.get(), stopEvent, start, timeoutMs, again);
        if (!again) return result;
    }
}
