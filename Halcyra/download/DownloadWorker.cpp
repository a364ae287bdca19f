#include "Halcyra/download/DownloadWorker.h"

#include "Halcyra/download/DownloadManager.h"
#include "Halcyra/download/DownloadTask.h"
#include "Halcyra/download/Extractor.h"
#include "Halcyra/download/FileQueries.h"
#include "Halcyra/download/ResumeRecord.h"
#include "Halcyra/common/Helpers.h"
#include "Halcyra/storage/DataDrive.h"
#include "framework/MessageBox.h"

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
const std::uint32_t kErrorPageLength = 132;
const std::size_t kBlockBytes = 64 * 1024;
const unsigned kMaxEmptyReads = 10;
const int kMaxReconnectAttempts = 20;
const DWORD kSpeedIntervalMs = 1000;
const DWORD kStartElapsedMs = 10;
const float kMaxRunningFraction = 0.99f;
const unsigned kStopCheckMs = 20;
const int kStatusOk = 200;
const int kStatusPartial = 206;

std::uint64_t fileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool pathExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

DownloadWorker::DownloadWorker(DownloadManager& manager, DownloadTask& task)
    : m_manager(manager), m_task(task), m_url(toWide(task.url())), m_block(kBlockBytes),
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
    if (!m_source.openSession() || !m_source.open(m_url, 0)) return false;
    const ResumeRecord record = readResumeRecord(m_task.recordPath());
    createParentDirs(m_task.partialPath());
    m_lengthKnown = m_source.contentLength(m_total);
    if (!m_lengthKnown) m_total = 0;
    if (m_lengthKnown && m_total == kErrorPageLength) return false;

    const bool resume = m_lengthKnown && record.total == m_total && record.received > 0 &&
                        record.received <= m_total &&
                        record.received <= fileSize(m_task.partialPath());
    if (!openPartialFile(resume, resume ? record.received : 0)) {
        showCreateFileFailed(m_task.partialPath());
        return false;
    }
    // Written now so that its space exists when the disk fills up during the transfer.
    writeResumeRecord(m_task.recordPath(), {m_total, m_received});
    if (resume) return resumeTransfer(record.received);
    return true;
}

bool DownloadWorker::openPartialFile(bool resume, std::uint32_t offset)
{
    m_file.reset(CreateFileA(m_task.partialPath().c_str(), GENERIC_WRITE, 0, nullptr,
                             resume ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) return false;
    if (resume) {
        // Bytes beyond the recorded count were never confirmed: drop them.
        LARGE_INTEGER position;
        position.QuadPart = offset;
        if (!SetFilePointerEx(m_file.get(), position, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.get())) {
            m_file.reset();
            return false;
        }
    }
    m_received = offset;
    return true;
}

bool DownloadWorker::resumeTransfer(std::uint32_t offset)
{
    reportProgress();
    if (offset >= m_total) {
        // The launcher ended between recording the last block and renaming the file.
        m_source.close();
        return true;
    }
    if (!positionedOpen(offset)) {
        // No answer to the ranged request: the transfer loop reconnects.
        m_source.close();
    }
    return true;
}

bool DownloadWorker::positionedOpen(std::uint32_t offset)
{
    if (!m_source.open(m_url, offset)) return false;
    if (offset == 0) return restartFile();

    std::uint32_t first = 0, total = 0;
    if (m_source.status() == kStatusPartial && m_source.contentRange(first, total) &&
        first == offset && total == m_total)
        return true;
    // The server did not continue where the file ends; only a whole new body is safe.
    if (m_source.status() != kStatusOk && !m_source.open(m_url, 0)) return false;
    return restartFile();
}

bool DownloadWorker::restartFile()
{
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(m_file.get(), start, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.get()))
        return false;
    m_received = 0;
    m_lengthKnown = m_source.contentLength(m_total);
    if (!m_lengthKnown) m_total = 0;
    return true;
}

void DownloadWorker::transfer()
{
    m_startTick = timeGetTime();

    if (m_lengthKnown && m_received >= m_total) return;  // nothing left to fetch
    if (m_manager.stopRequested()) return;
    for (;;) {
        const DWORD got = m_source.read(m_block.data(), static_cast<DWORD>(m_block.size()));
        if (got == 0) {
            if (!m_lengthKnown) {
                // Only the end of the body ends such a file, and it cannot be resumed: a
                // lost connection or a long silence gives it up.
                if (m_source.ended() || !m_source.isOpen() || ++m_emptyReads > kMaxEmptyReads) return;
            } else if (++m_emptyReads > kMaxEmptyReads && !reconnect()) {
                return;
            }
        } else {
            DWORD written = 0;
            if (!WriteFile(m_file.get(), m_block.data(), got, &written, nullptr) || written != got) {
                showMessage(kWriteFailedText, m_manager.dataDrive().drive(), kWriteFailedCaption);
                return;
            }
            m_received += got;
            m_accumulated += static_cast<float>(got);
            const DWORD now = timeGetTime();
            if (m_elapsedMs >= kSpeedIntervalMs) {
                m_speed = m_accumulated / (static_cast<float>(m_elapsedMs) / 1000.0f) / 1024.0f;
                m_startTick = now;
                m_accumulated = 0.0f;
                m_elapsedMs = 0;
            } else {
                m_elapsedMs = now - m_startTick;
            }
            m_emptyReads = 0;
            m_nextPauseMs = m_manager.firstReconnectPauseMs();
            reportProgress();
            if (m_lengthKnown && m_received >= m_total) return;
        }
        if (m_manager.stopRequested()) return;
    }
}

bool DownloadWorker::reconnect()
{
    m_source.close();
    for (int attempt = 0; attempt < kMaxReconnectAttempts; ++attempt) {
        // Paced, so that a server answering without data is not hammered.
        if (!pause(m_nextPauseMs)) return false;
        m_nextPauseMs = std::min(m_nextPauseMs * 2, m_manager.maxReconnectPauseMs());
        if (positionedOpen(m_received)) return true;
        m_source.close();
    }
    showMessage(kUnreachableText, m_task.url(), kUnreachableCaption);
    return false;
}

bool DownloadWorker::pause(unsigned milliseconds) const
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (m_manager.stopRequested()) return false;
        const DWORD waited = GetTickCount() - start;
        if (waited >= milliseconds) return true;
        Sleep(std::min<DWORD>(kStopCheckMs, milliseconds - waited));
    }
}

void DownloadWorker::finish()
{
    writeResumeRecord(m_task.recordPath(), {m_total, m_received});
    const bool endedCleanly = m_source.ended();
    m_source.close();
    m_file.reset();

    if (!m_lengthKnown) {
        // Read to its end it is complete; cut off it cannot be resumed.
        if (endedCleanly) {
            complete();
        } else {
            DeleteFileA(m_task.recordPath().c_str());
            DeleteFileA(m_task.partialPath().c_str());
        }
        return;
    }
    if (m_received > m_total) {
        DeleteFileA(m_task.recordPath().c_str());
        DeleteFileA(m_task.partialPath().c_str());
    } else if (m_received == m_total) {
        complete();
    }
    // Fewer bytes: partial file and resume record stay for a later resume.
}

void DownloadWorker::complete()
{
    if (pathExists(m_task.finalPath())) DeleteFileA(m_task.finalPath().c_str());
    // A final file that cannot be replaced (in use, or a directory of that name) leaves the
    // download unfinished: partial file and record stay for a later attempt, and nothing
    // stale is unpacked or installed.
    if (std::rename(m_task.partialPath().c_str(), m_task.finalPath().c_str()) != 0) return;
    DeleteFileA(m_task.recordPath().c_str());
    if (getFileExtension(m_task.finalPath()) == kArchiveExtension) extract();
}

void DownloadWorker::extract()
{
    const std::string systemRoot = m_manager.dataDrive().systemRoot();
    const std::string command =
        extractorCommand(systemRoot, m_task.finalPath(), m_task.dirs().unCompress);
    const bool extracted = runExtractor(command, systemRoot);
    if (!extracted)
        showMessage(kExtractFailedText, m_manager.dataDrive().drive(), kExtractFailedCaption);
    // The installation learns whether the archive really came out whole: installing after
    // a failed extraction would record the new version over the old engine files.
    if (m_task.finalPath().find(kEngineArchive) != std::string::npos)
        m_manager.handOverEngineArchive(m_task, extracted);
}

void DownloadWorker::reportProgress()
{
    const float fraction =
        m_total == 0 ? 0.0f
                     : std::min(kMaxRunningFraction, static_cast<float>(m_received) / static_cast<float>(m_total));
    TaskProgress progress;
    progress.reported = true;
    progress.fraction = fraction;
    progress.speed = m_speed;
    progress.received = m_received;
    progress.total = m_total;
    m_task.setProgress(progress);
}

void DownloadWorker::showMessage(const char* format, const std::string& value, const char* caption) const
{
    char text[1024];
    std::snprintf(text, sizeof text, format, value.c_str());
    fw::messageBox(GetActiveWindow(), text, caption, MB_OK);
}
