#pragma once
// One HTTP GET carried out with WinINet on a thread of its own, for one download worker.
//
// The worker never blocks inside WinINet: it waits for the answer and for each piece of the
// body with the manager's stop event beside it, and walks away from a request it no longer
// wants (stop, stall, a wrong answer). The request's thread then ends at its next step and
// closes its handles itself. Under Wine, closing a request reads the rest of its body to
// keep the connection, so the worker asks for bounded ranges (HttpRange): a request it walks
// away from costs the rest of its range, or the rest of the whole file when the server
// ignored the range and answered with the whole body.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The head of an answer, as far as a download needs it.
struct HttpAnswer {
    int status = 0;
    bool hasLength = false;  // Content-Length
    std::uint64_t length = 0;
    bool hasRange = false;   // Content-Range: bytes first-last/total
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t total = 0;
    // The remote file's validator for If-Range: a strong ETag ('E') or, without one, the
    // Last-Modified date ('L'); 0 when the answer has neither.
    char validatorKind = 0;
    std::string validator;
    std::string contentType;  // Content-Type; empty when absent
};

// What to ask for: the whole file (ranged false) or bytes first to last, only if the remote
// file still matches the validator (If-Range) when one is given.
struct HttpRange {
    bool ranged = false;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::string ifRange;  // a validator as HttpAnswer gives it; empty for none
};

class HttpFetch {
public:
    enum class Result {
        ok,        // the answer, or a piece of the body (empty at the body's clean end)
        failed,    // no answer, or the connection broke before the body's end
        stopped,   // the stop event was signalled
        timedOut,  // nothing new within the time allowed
    };

    // Longest wait for an answer's head: a busy server may take half a minute.
    static const DWORD kAnswerTimeoutMs = 60000;

    // Sends the GET on a thread of its own. The fetch fails at once when the URL is not
    // an http or https URL or no thread can start.
    HttpFetch(const std::wstring& url, const HttpRange& range);
    // Walks away from the request if it is still running; never waits for it.
    ~HttpFetch();
    HttpFetch(const HttpFetch&) = delete;
    HttpFetch& operator=(const HttpFetch&) = delete;

    Result waitForAnswer(HANDLE stopEvent, DWORD timeoutMs, HttpAnswer& answer);
    // The next piece of the body, in the order it arrived.
    Result read(HANDLE stopEvent, DWORD timeoutMs, std::vector<char>& piece);
    // True once the whole body has arrived, though pieces of it may still wait to be read.
    bool bodyArrived() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};
