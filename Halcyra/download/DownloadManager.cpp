#include "Halcyra/download/DownloadManager.h"

#include "Halcyra/download/DownloadWorker.h"
#include "Halcyra/download/FileQueries.h"
#include "Halcyra/download/NameResolution.h"
#include "Halcyra/common/Helpers.h"
#include "Halcyra/storage/DataDrive.h"
#include "framework/MessagePump.h"

#include <algorithm>
#include <cstdlib>

namespace {

// A file of the name, and no unfinished download of it (one whose final file could not be
// put in place keeps its resume record beside it).
bool isFinished(const std::string& saveDir, const std::string& name)
{
    return isFileExist(saveDir, name) && !isFileExist(saveDir, name + DownloadTask::kRecordSuffix);
}

const char kDriveSeparator[] = ":/";
const char kPlanFileName[] = "planPath.json";
const char kNameSeparator[] = "|";
const std::size_t kMaxRunningTasks = 2;
const DWORD kStopPollMs = 10;
const unsigned kFirstReconnectPauseMs = 250;
const unsigned kMaxReconnectPauseMs = 4000;
const unsigned kStallMs = 20000;

// The 8-bit form of a text, or false when the ANSI code page cannot hold it (the
// conversion would substitute characters).
bool toExactNarrow(const std::wstring& text, std::string& narrow)
{
    narrow = toNarrow(text);
    return toWide(narrow) == text;
}

}  // namespace

const char DownloadManager::kFinishedProgress[] = "1.0|0|0|0";

struct DownloadManager::WorkerStart {
    DownloadManager* manager;
    DownloadTask* task;
};

DownloadManager::DownloadManager(DataDrive& dataDrive)
    : m_dataDrive(dataDrive), m_stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_firstPauseMs(kFirstReconnectPauseMs), m_maxPauseMs(kMaxReconnectPauseMs), m_stallMs(kStallMs)
{
}

DownloadManager::~DownloadManager()
{
    // Workers use this object until they leave the table; the wait below makes sure
    // none of them outlives it.
    stopDownloads();
}

std::string DownloadManager::onDataDrive(const std::string& dir) const
{
    return m_dataDrive.drive() + kDriveSeparator + dir;
}

void DownloadManager::setSavePath(const std::string& dir)
{
    const std::string path = onDataDrive(dir);
    {
        ROVodi::ScopedLock guard(m_pathLock);
        m_savePath = path;
    }
    // A path too long for the file functions is kept (every name under it is refused)
    // but not created.
    if (fitsDirectoryLimit(path)) createDirectories(path);
}

void DownloadManager::setUnCompressPath(const std::string& dir)
{
    const std::string path = onDataDrive(dir);
    {
        ROVodi::ScopedLock guard(m_pathLock);
        m_unCompressPath = path;
    }
    // A path too long for the file functions is kept (every name under it is refused)
    // but not created.
    if (fitsDirectoryLimit(path)) createDirectories(path);
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
    DownloadDirs dirs;
    {
        ROVodi::ScopedLock guard(m_pathLock);
        dirs.save = m_savePath;
        dirs.unCompress = m_unCompressPath;
    }
    return downloadAndRename(url, name, dirs);
}

long DownloadManager::downloadAndRename(const std::string& url, const std::string& name,
                                        const DownloadDirs& dirs)
{
    closeEndedTasks();
    ROVodi::ScopedLock guard(m_taskLock);
    if (url.empty()) return kEmptyUrl;

    const std::string taskName = name.empty() ? getFileName(url) : name;
    // The name becomes a path under the save path, with the task's suffixes after it.
    if (resolveName(dirs.save, taskName, DownloadTask::kLongestSuffix).empty()) return kBadName;
    if (name != kPlanFileName && m_tasks.size() >= kMaxRunningTasks) return kTableFull;
    if (findSameFile(taskName) != m_tasks.end()) return kAlreadyRunning;

    auto task = std::make_unique<DownloadTask>(taskName, url, dirs);
    auto start = std::make_unique<WorkerStart>(WorkerStart{this, task.get()});
    // The worker finds its task in the table: the lock is held until it is there.
    const HANDLE thread = CreateThread(nullptr, 0, &DownloadManager::threadProc, start.get(), 0, nullptr);
    if (!thread) return kNoThread;
    start.release();
    task->setThread(thread);
    m_tasks[taskName] = std::move(task);
    return kStarted;
}

DWORD WINAPI DownloadManager::threadProc(void* argument)
{
    const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(argument));
    DownloadManager& manager = *start->manager;
    DownloadTask& task = *start->task;
    try {
        // Admission finishes (and releases the table) before the worker looks at anything.
        { ROVodi::ScopedLock guard(manager.m_taskLock); }
        DownloadWorker(manager, task).run();
    } catch (...) {
        // Nothing may escape the thread; the task still has to leave the table.
    }
    // The last use of the manager and the task: once the table is empty both may go.
    manager.endTask(task);
    return 0;
}

std::string DownloadManager::getDownloadingFilenames() const
{
    ROVodi::ScopedLock guard(m_taskLock);
    std::string names;
    for (const auto& entry : m_tasks) names += entry.first + kNameSeparator;
    return names;
}

bool DownloadManager::findProgress(const std::string& name, TaskProgress& progress) const
{
    ROVodi::ScopedLock guard(m_taskLock);
    const auto found = findSameFile(name);
    if (found == m_tasks.end()) return false;
    progress = found->second->progress();
    return true;
}

DownloadManager::TaskTable::const_iterator DownloadManager::findSameFile(const std::string& name) const
{
    const auto exact = m_tasks.find(name);
    if (exact != m_tasks.end()) return exact;
    return std::find_if(m_tasks.begin(), m_tasks.end(),
                        [&name](const TaskTable::value_type& task) { return isSameFileName(task.first, name); });
}

float DownloadManager::progressOf(const std::string& saveDir, const std::string& name) const
{
    if (name.empty()) return -1.0f;
    TaskProgress progress;
    // The number the page would read from the progress text: two decimals, 0 before the
    // first report.
    if (findProgress(name, progress)) return static_cast<float>(std::atof(formatProgress(progress).c_str()));
    if (isFinished(saveDir, name)) return 1.0f;
    return -1.0f;
}

float DownloadManager::getDownloadProgress(const std::string& name) const
{
    return progressOf(savePath(), name);
}

float DownloadManager::getDownloadProgressIn(const std::string& saveDir, const std::string& name) const
{
    return progressOf(saveDir, name);
}

std::string DownloadManager::getDownloadProgressInfo(const std::string& name) const
{
    if (name.empty()) return std::string();
    TaskProgress progress;
    if (findProgress(name, progress)) return formatProgress(progress);
    if (isFinished(savePath(), name)) return kFinishedProgress;
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
    SetEvent(m_stopEvent.get());
    // A worker may be showing a message box owned by the main window: the window must
    // answer it while waiting.
    while (taskCount() != 0) fw::waitPumping(nullptr, kStopPollMs);
    closeEndedTasks();
}

void DownloadManager::clearStopFlag()
{
    ResetEvent(m_stopEvent.get());
    m_stop = false;
}

void DownloadManager::setEngineArchiveHandler(EngineArchiveHandler handler)
{
    m_engineArchiveHandler = std::move(handler);
}

void DownloadManager::setReconnectPauses(unsigned firstMs, unsigned maxMs)
{
    m_firstPauseMs = firstMs;
    m_maxPauseMs = maxMs;
}

std::size_t DownloadManager::taskCount() const
{
    ROVodi::ScopedLock guard(m_taskLock);
    return m_tasks.size();
}

void DownloadManager::handOverEngineArchive(const DownloadTask& task, bool extracted) const
{
    if (m_engineArchiveHandler) m_engineArchiveHandler(task, extracted);
}

void DownloadManager::endTask(const DownloadTask& task)
{
    ROVodi::ScopedLock guard(m_taskLock);
    const auto found = m_tasks.find(task.name());
    if (found == m_tasks.end() || found->second.get() != &task) return;
    m_ended.push_back(std::move(found->second));
    m_tasks.erase(found);
}

void DownloadManager::closeEndedTasks()
{
    std::vector<std::unique_ptr<DownloadTask>> ended;
    {
        ROVodi::ScopedLock guard(m_taskLock);
        ended.swap(m_ended);
    }
    // Each task waits for its thread's last instructions, then closes the handle.
}
