#include "Halcyra/download/DownloadManager.h"

#include "Halcyra/download/DownloadWorker.h"
#include "Halcyra/download/FileQueries.h"
#include "Halcyra/common/Helpers.h"
#include "Halcyra/storage/DataDrive.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char kDriveSeparator[] = ":/";
const char kPlanFileName[] = "planPath.json";
const char kProgressFormat[] = "%.2f|%.2f|%d|%d";
const char kNameSeparator[] = "|";
const std::size_t kMaxRunningTasks = 2;
const DWORD kStopPollMs = 10;
const unsigned kFirstReconnectPauseMs = 250;
const unsigned kMaxReconnectPauseMs = 4000;

// The 8-bit form of a text, or false when the ANSI code page cannot hold it (the
// conversion would substitute characters).
bool toExactNarrow(const std::wstring& text, std::string& narrow)
{
    narrow = toNarrow(text);
    return toWide(narrow) == text;
}

}  // namespace

const char DownloadManager::kFinishedProgress[] = "1.0|0|0|0";

DownloadManager::DownloadManager(DataDrive& dataDrive)
    : m_dataDrive(dataDrive), m_firstPauseMs(kFirstReconnectPauseMs), m_maxPauseMs(kMaxReconnectPauseMs)
{
}

DownloadManager::~DownloadManager()
{
    // Workers use this object until they leave the table; the wait below makes sure
    // none of them outlives it.
    stopDownloads();
}

void DownloadManager::setSavePath(const std::string& dir)
{
    const std::string path = m_dataDrive.drive() + kDriveSeparator + dir;
    {
        ROVodi::ScopedLock guard(m_pathLock);
        m_savePath = path;
    }
    createDirectories(path);
}

void DownloadManager::setUnCompressPath(const std::string& dir)
{
    const std::string path = m_dataDrive.drive() + kDriveSeparator + dir;
    {
        ROVodi::ScopedLock guard(m_pathLock);
        m_unCompressPath = path;
    }
    createDirectories(path);
}

std::string DownloadManager::savePath() const
{
    ROVodi::ScopedLock guard(m_pathLock);
    return m_savePath;
}

std::string DownloadManager::unCompressPath() const
{
    ROVodi::ScopedLock guard(m_pathLock);
    return m_unCompressPath;
}

long DownloadManager::downloadAndRename(const std::wstring& url, const std::wstring& name)
{
    std::string narrowUrl, narrowName;
    const bool exactUrl = toExactNarrow(url, narrowUrl);
    const bool exactName = toExactNarrow(name, narrowName);
    if (narrowUrl.empty()) return kEmptyUrl;
    if (!exactUrl || !exactName) return kBadName;
    return downloadAndRename(narrowUrl, narrowName);
}

long DownloadManager::downloadAndRename(const std::string& url, const std::string& name)
{
    ROVodi::ScopedLock guard(m_taskLock);
    if (url.empty()) return kEmptyUrl;

    const std::string taskName = name.empty() ? getFileName(url) : name;
    // The name becomes a path under the save path; it must stay there.
    if (taskName.empty() || !isSafeName(taskName)) return kBadName;
    if (name != kPlanFileName && m_tasks.size() >= kMaxRunningTasks) return kTableFull;
    if (m_tasks.count(taskName) != 0) return kAlreadyRunning;

    m_pendingNames.push_back(taskName);
    DownloadTask& task = m_tasks[taskName];
    task.url = url;
    task.worker = CreateThread(nullptr, 0, &DownloadWorker::threadProc, this, 0, nullptr);
    if (!task.worker) {
        // stopDownloads waits for an empty table: a task without a worker must not stay.
        m_pendingNames.pop_back();
        m_tasks.erase(taskName);
        return kNoThread;
    }
    return kStarted;
}

std::string DownloadManager::getDownloadingFilenames() const
{
    ROVodi::ScopedLock guard(m_taskLock);
    std::string names;
    for (const auto& entry : m_tasks) names += entry.first + kNameSeparator;
    return names;
}

bool DownloadManager::runningProgress(const std::string& name, std::string& progress) const
{
    DownloadTask task;
    if (!findTask(name, task)) return false;
    progress = task.progress;
    return true;
}

bool DownloadManager::isFinished(const std::string& name) const
{
    return isFileExist(savePath(), name);
}

float DownloadManager::getDownloadProgress(const std::string& name)
{
    if (name.empty()) return -1.0f;
    std::string progress;
    if (runningProgress(name, progress)) return static_cast<float>(std::atof(progress.c_str()));
    if (isFinished(name)) {
        closeFinishedThreads();
        return 1.0f;
    }
    return -1.0f;
}

std::string DownloadManager::getDownloadProgressInfo(const std::string& name)
{
    if (name.empty()) return std::string();
    std::string progress;
    if (runningProgress(name, progress)) return progress;
    if (isFinished(name)) {
        closeFinishedThreads();
        return kFinishedProgress;
    }
    return std::string();
}

void DownloadManager::clearDownload()
{
    stopDownloads();
    clearStopFlag();
}

void DownloadManager::stopDownloads()
{
    m_stop = true;
    while (taskCount() != 0) Sleep(kStopPollMs);
    closeFinishedThreads();
}

void DownloadManager::setEngineArchiveHandler(std::function<void(bool)> handler)
{
    m_engineArchiveHandler = std::move(handler);
}

void DownloadManager::setReconnectPauses(unsigned firstMs, unsigned maxMs)
{
    m_firstPauseMs = firstMs;
    m_maxPauseMs = maxMs;
}

bool DownloadManager::findTask(const std::string& name, DownloadTask& task) const
{
    ROVodi::ScopedLock guard(m_taskLock);
    const auto found = m_tasks.find(name);
    if (found == m_tasks.end()) return false;
    task = found->second;
    return true;
}

void DownloadManager::removeTask(const std::string& name)
{
    ROVodi::ScopedLock guard(m_taskLock);
    m_tasks.erase(name);
}

void DownloadManager::setTaskProgress(const std::string& name, float fraction, float speed,
                                      std::uint32_t received, std::uint32_t total)
{
    char text[64];
    std::snprintf(text, sizeof text, kProgressFormat, fraction, speed, static_cast<int>(received),
                  static_cast<int>(total));
    ROVodi::ScopedLock guard(m_taskLock);
    const auto found = m_tasks.find(name);
    if (found != m_tasks.end()) found->second.progress = text;
}

void DownloadManager::queueFinishedThread(HANDLE thread)
{
    ROVodi::ScopedLock guard(m_finishedLock);
    m_finishedThreads.emplace_back(thread);
}

void DownloadManager::closeFinishedThreads()
{
    std::deque<fw::UniqueHandle> finished;
    {
        ROVodi::ScopedLock guard(m_finishedLock);
        finished.swap(m_finishedThreads);
    }
    // The handles close when `finished` ends.
}

std::size_t DownloadManager::taskCount() const
{
    ROVodi::ScopedLock guard(m_taskLock);
    return m_tasks.size();
}

bool DownloadManager::takePendingName(std::string& name)
{
    ROVodi::ScopedLock guard(m_taskLock);
    if (m_pendingNames.empty()) return false;
    name = m_pendingNames.front();
    m_pendingNames.pop_front();
    return true;
}
