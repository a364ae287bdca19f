#include "Halcyra/download/DownloadWorker.h"

#include "Halcyra/common/Helpers.h"
#include "Halcyra/download/DownloadManager.h"
#include "Halcyra/download/DownloadTask.h"
#include "Halcyra/download/Extractor.h"
#include "Halcyra/storage/DataDrive.h"
#include "Halcyra/common/UserMessage.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstdio>

namespace {

const char kArchiveExtension[] = "7z";
const char kEngineArchive[] = "Vistaweaver.7z";

const char kUnreachableText[] = "url:%s";
const char kUnreachableCaption[] = "网络地址已尝试数次无法打开";
const char kWriteFailedText[] = "写文件出错，请检查%s盘剩余空间是否充足！";
const char kWriteFailedCaption[] = "文件下载出错";
const char kExtractFailedText[] = "文件无法正常解压，请检查%s盘剩余空间是否充足！";
const char kExtractFailedCaption[] = "文件解压出错";

// A server answering this many bytes sends an error page, not a file.
const std::uint64_t kErrorPageLength = 132;
// The first range asked for, and the largest: a ranged request given up costs at most this.
const std::uint64_t kFirstWindow = 1 << 20;
const std::uint64_t kMaxWindow = 32 << 20;
const unsigned kMaxFailedAttempts = 20;
// Bytes between two records made durable during a transfer.
const std::uint64_t kRecordInterval = 64ull << 20;
const DWORD kSpeedIntervalMs = 1000;
const DWORD kStartElapsedMs = 10;
const float kMaxRunningFraction = 0.99f;
const int kStatusPartial = 206;
const int kStatusRangeNotSatisfiable = 416;

bool isSuccess(int status) { return status >= 200 && status <= 299; }

std::uint64_t fileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool cutAt(HANDLE file, std::uint64_t size)
{
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

}  // namespace

DownloadWorker::DownloadWorker(DownloadManager& manager, DownloadTask& task)
    : m_manager(manager), m_task(task), m_url(toWide(task.url())), m_window(kFirstWindow),
      m_elapsedMs(kStartElapsedMs), m_nextPauseMs(manager.firstReconnectPauseMs())
{
}

void DownloadWorker::run()
{
    if (!start()) return;
    transfer();
    finish();
}

bool DownloadWorker::start()
{
    const ResumeRecord record = readResumeRecord(m_task.recordPath());
    createParentDirs(m_task.partialPath());
    const std::uint64_t partialSize = fileSize(m_task.partialPath());
    const bool recorded = record.total > 0 && record.received > 0 && record.received <= record.total &&
                          record.received <= partialSize;
    return recorded ? resume(record) : startFresh();
}

bool DownloadWorker::startFresh()
{
    HttpAnswer answer;
    if (!request(rangeFrom(0), answer)) return false;
    // Nothing at offset 0: an empty file, or a server that refuses ranges. Ask for it whole.
    if (answer.status == kStatusRangeNotSatisfiable && !request(HttpRange(), answer)) return false;
    // The URL cannot be opened: the task ends, the disk stays as it was.
    if (!isSuccess(answer.status)) return false;
    if (answer.status == kStatusPartial) {
        if (!answer.hasRange || answer.first != 0) return false;
        m_lengthKnown = true;
        m_total = answer.total;
        m_rangeEnd = answer.last + 1;
    } else {
        m_lengthKnown = answer.hasLength;
        m_total = answer.hasLength ? answer.length : 0;
    }
    if (m_lengthKnown && m_total == kErrorPageLength) return false;
    m_validatorKind = answer.validatorKind;
    m_validator = answer.validator;

    m_file.reset(CreateFileA(m_task.partialPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
        showCreateFileFailed(m_task.partialPath());
        return false;
    }
    m_received = 0;
    // Written now, so that its space exists when the disk fills up during the transfer.
    recordProgress();
    m_nextRecordAt = kRecordInterval;
    return true;
}

bool DownloadWorker::resume(const ResumeRecord& record)
{
    m_file.reset(CreateFileA(m_task.partialPath().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
        showCreateFileFailed(m_task.partialPath());
        return false;
    }
    // Bytes beyond the recorded count were never confirmed: they go before anything is
    // appended after the count.
    if (!cutAt(m_file.get(), record.received)) {
        m_file.reset();
        showCreateFileFailed(m_task.partialPath());
        return false;
    }
    m_lengthKnown = true;
    m_total = record.total;
    m_received = record.received;
    m_nextRecordAt = m_received + kRecordInterval;
    m_validatorKind = record.validatorKind;
    m_validator = record.validator;
    reportProgress();
    // The launcher ended between recording the last block and renaming the file.
    if (m_received == m_total) return true;

    HttpAnswer answer;
    if (!request(rangeFrom(m_received), answer)) return true;  // the transfer reconnects
    // An answer that does not fit is one failed attempt: the transfer reconnects.
    if (judge(answer) == Fit::refuse) m_fetch.reset();
    return true;
}

bool DownloadWorker::validatorChanged(const HttpAnswer& answer) const
{
    // Only an answer to an If-Range can say that the remote file is another one.
    return m_validatorKind != 0 && answer.validatorKind != 0 &&
           (answer.validatorKind != m_validatorKind || answer.validator != m_validator);
}

HttpRange DownloadWorker::rangeFrom(std::uint64_t offset)
{
    HttpRange range;
    range.ranged = true;
    range.first = offset;
    range.last = offset + m_window - 1;
    if (m_lengthKnown && m_total > offset) range.last = std::min(range.last, m_total - 1);
    if (m_validatorKind != 0) range.ifRange = m_validator;
    m_window = std::min(m_window * 2, kMaxWindow);
    return range;
}

bool DownloadWorker::request(const HttpRange& range, HttpAnswer& answer)
{
    m_restartPending = false;
    m_fetch.reset(new HttpFetch(m_url, range));
    if (m_fetch->waitForAnswer(m_manager.stopEvent(), HttpFetch::kAnswerTimeoutMs, answer) ==
        HttpFetch::Result::ok)
        return true;
    m_fetch.reset();
    return false;
}

DownloadWorker::Fit DownloadWorker::judge(const HttpAnswer& answer)
{
    // A restart belongs to the answer that announced it; a new answer decides afresh.
    m_restartPending = false;
    if (answer.status == kStatusPartial) {
        if (!answer.hasRange || answer.first != m_received || answer.total != m_total) return Fit::refuse;
        m_rangeEnd = answer.last + 1;
        return Fit::append;
    }
    // The whole file again: as it was (a server that ignores ranges), or a remote file that
    // changed since the partial file was started. Any other whole body (a maintenance page,
    // say) is no reason to give up the bytes already here.
    if (!isSuccess(answer.status) || !answer.hasLength || answer.length == 0 ||
        answer.length == kErrorPageLength || (answer.length != m_total && !validatorChanged(answer)))
        return Fit::refuse;
    m_restartPending = true;
    m_pendingTotal = answer.length;
    m_pendingValidatorKind = answer.validatorKind;
    m_pendingValidator = answer.validator;
    return Fit::restart;
}

void DownloadWorker::transfer()
{
    m_startTick = timeGetTime();
    bool failed = !m_fetch;
    for (;;) {
        if (m_manager.stopRequested()) return;
        if (m_lengthKnown && m_received >= m_total && !m_restartPending) return;
        if (!m_fetch) {
            // Unknown length: only the end of its one body ends such a file; it cannot be
            // asked for again.
            if (!m_lengthKnown) return;
            const Ahead ahead = failed ? Ahead::none : takeAhead();
            if (ahead != Ahead::taken && !nextRequest(failed || ahead == Ahead::refused)) return;
        }
        const std::uint64_t before = m_received;
        const Body body = readBody();
        m_fetch.reset();
        m_restartPending = false;  // a restart whose body brought nothing is dropped with it
        if (body != Body::ended) m_ahead.reset();
        if (body == Body::stopped || body == Body::writeFailed) return;
        if (!m_lengthKnown) {
            m_bodyEnded = body == Body::ended;
            return;
        }
        // A body that brought nothing counts as a failed attempt; one that brought bytes
        // and ended is simply continued.
        failed = body != Body::ended || m_received == before;
    }
}

bool DownloadWorker::nextRequest(bool failedBefore)
{
    for (;;) {
        if (failedBefore) {
            if (++m_failedAttempts >= kMaxFailedAttempts) {
                showMessage(kUnreachableText, m_task.url(), kUnreachableCaption);
                return false;
            }
            // Paced, so that a server answering without data is not hammered.
            if (!pause(m_nextPauseMs)) return false;
            m_nextPauseMs = std::min(m_nextPauseMs * 2, m_manager.maxReconnectPauseMs());
        }
        HttpAnswer answer;
        if (request(rangeFrom(m_received), answer) && judge(answer) != Fit::refuse) return true;
        m_fetch.reset();
        if (m_manager.stopRequested()) return false;
        failedBefore = true;
    }
}

void DownloadWorker::askAhead()
{
    if (m_ahead || m_restartPending || m_rangeEnd == 0 || m_rangeEnd >= m_total) return;
    m_aheadFrom = m_rangeEnd;
    m_ahead.reset(new HttpFetch(m_url, rangeFrom(m_aheadFrom)));
}

DownloadWorker::Ahead DownloadWorker::takeAhead()
{
    std::unique_ptr<HttpFetch> ahead = std::move(m_ahead);
    // Sent for where the range was to end; the body may have ended elsewhere.
    if (!ahead || m_aheadFrom != m_received) return Ahead::none;
    m_fetch = std::move(ahead);
    HttpAnswer answer;
    if (m_fetch->waitForAnswer(m_manager.stopEvent(), HttpFetch::kAnswerTimeoutMs, answer) ==
            HttpFetch::Result::ok &&
        judge(answer) != Fit::refuse)
        return Ahead::taken;
    m_fetch.reset();
    return Ahead::refused;
}

DownloadWorker::Body DownloadWorker::readBody()
{
    std::vector<char> piece;
    for (;;) {
        switch (m_fetch->read(m_manager.stopEvent(), m_manager.stallTimeoutMs(), piece)) {
        case HttpFetch::Result::stopped: return Body::stopped;
        case HttpFetch::Result::failed: return Body::broken;
        case HttpFetch::Result::timedOut: return Body::stalled;
        case HttpFetch::Result::ok: break;
        }
        if (piece.empty()) return Body::ended;
        // The whole range is here while its last pieces are written: the next range is
        // asked for meanwhile.
        if (m_fetch->bodyArrived()) askAhead();
        if (m_restartPending && !restart()) return Body::writeFailed;
        // Never more than the range and the file announced: a longer body is a broken one,
        // and the bytes before its surplus are kept.
        std::uint64_t room = UINT64_MAX;
        if (m_lengthKnown) room = (m_rangeEnd != 0 ? std::min(m_rangeEnd, m_total) : m_total) - m_received;
        const bool overlong = piece.size() > room;
        if (!write(piece.data(), overlong ? static_cast<std::size_t>(room) : piece.size()))
            return Body::writeFailed;
        if (overlong) return Body::broken;
        // The range is complete: nothing is left to wait for.
        if (m_lengthKnown && m_received >= m_total) return Body::ended;
    }
}

bool DownloadWorker::restart()
{
    // The new body's first bytes are here: only now does the old content go.
    if (!cutAt(m_file.get(), 0)) {
        showMessage(kWriteFailedText, m_manager.dataDrive().drive(), kWriteFailedCaption);
        return false;
    }
    m_restartPending = false;
    m_received = 0;
    m_total = m_pendingTotal;
    m_rangeEnd = 0;  // the whole file, not a range
    m_validatorKind = m_pendingValidatorKind;
    m_validator = m_pendingValidator;
    recordProgress();
    m_nextRecordAt = kRecordInterval;
    return true;
}

bool DownloadWorker::write(const char* data, std::size_t size)
{
    DWORD written = 0;
    if (!WriteFile(m_file.get(), data, static_cast<DWORD>(size), &written, nullptr) || written != size) {
        showMessage(kWriteFailedText, m_manager.dataDrive().drive(), kWriteFailedCaption);
        return false;
    }
    m_received += size;
    m_accumulated += static_cast<float>(size);
    const DWORD now = timeGetTime();
    if (m_elapsedMs >= kSpeedIntervalMs) {
        m_speed = m_accumulated / (static_cast<float>(m_elapsedMs) / 1000.0f) / 1024.0f;
        m_startTick = now;
        m_accumulated = 0.0f;
        m_elapsedMs = 0;
    } else {
        m_elapsedMs = now - m_startTick;
    }
    m_failedAttempts = 0;
    m_nextPauseMs = m_manager.firstReconnectPauseMs();
    // Now and then the bytes so far are made durable and recorded, so that a crash or a
    // power cut costs at most the bytes since.
    if (m_received >= m_nextRecordAt) keepProgress();
    reportProgress();
    return true;
}

bool DownloadWorker::pause(unsigned milliseconds) const
{
    return WaitForSingleObject(m_manager.stopEvent(), milliseconds) == WAIT_TIMEOUT;
}

void DownloadWorker::keepProgress()
{
    // The record never claims bytes that are not yet on the disk.
    if (m_file) FlushFileBuffers(m_file.get());
    recordProgress();
    m_nextRecordAt = m_received + kRecordInterval;
}

void DownloadWorker::recordProgress()
{
    ResumeRecord record;
    record.total = m_total;
    record.received = m_received;
    record.validatorKind = m_validatorKind;
    record.validator = m_validator;
    writeResumeRecord(m_task.recordPath(), record);
}

void DownloadWorker::finish()
{
    keepProgress();
    m_ahead.reset();
    m_fetch.reset();
    m_file.reset();

    if (!m_lengthKnown) {
        // Read to its end it is complete; cut off it cannot be resumed.
        if (m_bodyEnded) {
            complete();
        } else {
            DeleteFileA(m_task.recordPath().c_str());
            DeleteFileA(m_task.partialPath().c_str());
        }
        return;
    }
    if (m_received == m_total) complete();
    // Fewer bytes: partial file and resume record stay for a later resume.
}

void DownloadWorker::complete()
{
    // A final file that cannot be replaced (in use, or a directory of that name) leaves the
    // download unfinished: the old file, the partial file and the record stay as they are,
    // and nothing stale is unpacked or installed.
    if (!MoveFileExA(m_task.partialPath().c_str(), m_task.finalPath().c_str(), MOVEFILE_REPLACE_EXISTING)) {
        showCreateFileFailed(m_task.finalPath());
        return;
    }
    DeleteFileA(m_task.recordPath().c_str());
    if (getFileExtension(m_task.finalPath()) == kArchiveExtension) extract();
}

void DownloadWorker::extract()
{
    const std::string systemRoot = m_manager.dataDrive().systemRoot();
    const std::string command =
        extractorCommand(systemRoot, m_task.finalPath(), m_task.dirs().unCompress);
    const bool extracted = runExtractor(command, systemRoot, m_manager.stopEvent());
    // An extraction ended by the launcher's stop is no failure to report.
    if (!extracted && !m_manager.stopRequested())
        showMessage(kExtractFailedText, m_manager.dataDrive().drive(), kExtractFailedCaption);
    // The installation learns whether the archive really came out whole: installing after
    // a failed extraction would record the new version over the old engine files.
    if (m_task.finalPath().find(kEngineArchive) != std::string::npos)
        m_manager.handOverEngineArchive(m_task, extracted);
}

void DownloadWorker::reportProgress()
{
    TaskProgress progress;
    progress.reported = true;
    progress.fraction = m_total == 0 ? 0.0f
                                     : std::min(kMaxRunningFraction,
                                                static_cast<float>(static_cast<double>(m_received) /
                                                                   static_cast<double>(m_total)));
    progress.speed = m_speed;
    progress.received = m_received;
    progress.total = m_total;
    m_task.setProgress(progress);
}

void DownloadWorker::showMessage(const char* format, const std::string& value, const char* caption) const
{
    char text[1024];
    std::snprintf(text, sizeof text, format, value.c_str());
    showUserMessage(text, caption, MB_OK);
}
