#pragma once
// The worker thread of one download task: fetches the URL into the partial file "~",
// resumes from the resume record "td", reconnects after stalls and failed answers, puts the
// finished file in place and unpacks ".7z" archives.
//
// The body is asked for in ranges that grow from one request to the next, each with the
// remote file's validator (If-Range) once it is known: a request given up (stop, stall)
// costs the rest of its range (the rest of the file from a server that ignores ranges), and
// a remote file that changed is fetched whole instead of spliced onto old bytes.
#include "framework/UniqueHandle.h"
#include "Halcyra/download/HttpSource.h"
#include "Halcyra/download/ResumeRecord.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DownloadManager;
class DownloadTask;

class DownloadWorker {
public:
    DownloadWorker(DownloadManager& manager, DownloadTask& task);
    void run();

private:
    // How an answer to a resume or a continuation fits the partial file: bytes to append
    // at the written count, the whole file again (the partial file is emptied when its
    // first bytes arrive), or one failed attempt.
    enum class Fit { append, restart, refuse };
    // How a body being read came to an end.
    enum class Body { ended, broken, stalled, stopped, writeFailed };

    bool start();
    bool startFresh();
    bool resume(const ResumeRecord& record);
    void transfer();
    bool nextRequest(bool failedBefore);
    void askAhead();
    enum class Ahead { none, taken, refused };
    Ahead takeAhead();
    Fit judge(const HttpAnswer& answer);
    bool validatorChanged(const HttpAnswer& answer) const;
    bool restart();
    bool request(const HttpRange& range, HttpAnswer& answer);
    HttpRange rangeFrom(std::uint64_t offset);
    Body readBody();
    bool write(const char* data, std::size_t size);
    bool pause(unsigned milliseconds) const;
    void recordProgress();
    void keepProgress();
    void finish();
    void complete();
    void extract();
    void reportProgress();
    void showMessage(const char* format, const std::string& value, const char* caption) const;

    DownloadManager& m_manager;
    DownloadTask& m_task;
    const std::wstring m_url;

    std::unique_ptr<HttpFetch> m_fetch;  // the request being read
    // The request for the range after it, sent while the last pieces of the one being read
    // are written, and the offset where that range starts.
    std::unique_ptr<HttpFetch> m_ahead;
    std::uint64_t m_rangeEnd = 0;        // the end of the range being read, when it is one
    std::uint64_t m_aheadFrom = 0;
    bool m_bodyEnded = false;            // the current request's body came to its end
    // The body being read is the remote file from its start: the partial file is emptied
    // when its first bytes arrive, and these take over then. Dropped with that body.
    bool m_restartPending = false;
    std::uint64_t m_pendingTotal = 0;
    char m_pendingValidatorKind = 0;
    std::string m_pendingValidator;
    fw::UniqueHandle m_file;
    bool m_lengthKnown = false;
    std::uint64_t m_total = 0;
    std::uint64_t m_received = 0;
    char m_validatorKind = 0;
    std::string m_validator;
    std::uint64_t m_window;              // bytes asked for by the next ranged request
    std::uint64_t m_nextRecordAt = 0;    // the count at which the record is next made durable

    // Speed figure, recomputed about once a second.
    DWORD m_startTick = 0;
    DWORD m_elapsedMs;
    float m_accumulated = 0.0f;
    float m_speed = 0.0f;

    unsigned m_failedAttempts = 0;
    unsigned m_nextPauseMs;
};
