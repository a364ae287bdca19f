#pragma once
// The download tasks of the page: the save and uncompress paths, the task table with its
// workers, progress queries and stopping. Each task is carried out by its own worker
// thread (DownloadWorker.cpp); at most two tasks run at once, apart from the plan file.
//
// The manager owns every task: in the table while its worker runs, then among the ended
// tasks until the manager waits for the thread's end and closes its handle (at the next
// admission or stop).
#include "Halcyra/download/DownloadTask.h"
#include "framework/UniqueHandle.h"
#include "utility/crCriticalMutex.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class DataDrive;

class DownloadManager {
public:
    // Results of downloadAndRename.
    static const long kStarted = 0;
    static const long kEmptyUrl = -1;
    static const long kBadName = -2;        // refused by resolveName (no save path yet, a
                                            // name outside it, a device, too long), or not
                                            // in the ANSI code page
    static const long kTableFull = -3;
    static const long kAlreadyRunning = -4;
    static const long kNoThread = -5;

    static const char kFinishedProgress[];  // "1.0|0|0|0"

    // Runs on the worker of a finished engine archive, after its extraction and before its
    // task leaves the table; `extracted` says whether the extractor ran and reported success.
    using EngineArchiveHandler = std::function<void(const DownloadTask& task, bool extracted)>;

    explicit DownloadManager(DataDrive& dataDrive);
    ~DownloadManager();  // stops every worker and waits for it
    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    // dir is relative to the data drive; the directory is created (failure ignored), unless
    // its path is too long for the file functions, in which case every name under it is
    // refused (resolveName).
    void setSavePath(const std::string& dir);
    void setUnCompressPath(const std::string& dir);
    std::string savePath() const;
    std::string unCompressPath() const;
    // The directories of the data drive below which downloads of `dir` go.
    std::string onDataDrive(const std::string& dir) const;

    long download(const std::string& url) { return downloadAndRename(url, std::string()); }
    // Admits a task into the save and uncompress paths of this moment.
    long downloadAndRename(const std::string& url, const std::string& name);
    // The page's texts: refused with kBadName when the ANSI code page cannot hold them.
    long downloadAndRename(const std::wstring& url, const std::wstring& name);
    // Admits a task into directories of its own, leaving the page's paths alone.
    long downloadAndRename(const std::string& url, const std::string& name, const DownloadDirs& dirs);

    std::string getDownloadingFilenames() const;    // "a.zip|b.zip|"
    float getDownloadProgress(const std::string& name) const;
    std::string getDownloadProgressInfo(const std::string& name) const;
    // As getDownloadProgress, for a task whose file goes to saveDir.
    float getDownloadProgressIn(const std::string& saveDir, const std::string& name) const;
    void clearDownload();  // stopDownloads, then downloads may start again

    // The download part of the launcher's shutdown: raise the stop flag, wait until every
    // task has left the table (dispatching this thread's messages meanwhile), close the
    // ended workers' handles. The flag stays raised.
    void stopDownloads();
    // Lets downloads run again after stopDownloads.
    void clearStopFlag();

    void setEngineArchiveHandler(EngineArchiveHandler handler);
    // Reconnection pauses start at firstMs and double up to maxMs (tests shorten them).
    void setReconnectPauses(unsigned firstMs, unsigned maxMs);
    // A body that brings nothing for this long is given up and asked for again (tests
    // shorten it).
    void setStallTimeout(unsigned milliseconds) { m_stallMs = milliseconds; }

    std::size_t taskCount() const;
    // The progress of a running task; false when the name is not in the table. Names that
    // Windows takes for the same file (isSameFileName) are the same task.
    bool findProgress(const std::string& name, TaskProgress& progress) const;

    // What the workers use.
    bool stopRequested() const { return m_stop.load(); }
    // Signalled while the stop flag is raised, for waits that must end at once.
    HANDLE stopEvent() const { return m_stopEvent.get(); }
    unsigned firstReconnectPauseMs() const { return m_firstPauseMs; }
    unsigned maxReconnectPauseMs() const { return m_maxPauseMs; }
    unsigned stallTimeoutMs() const { return m_stallMs; }
    DataDrive& dataDrive() const { return m_dataDrive; }
    void handOverEngineArchive(const DownloadTask& task, bool extracted) const;
    // The worker's last call: its task leaves the table for the ended tasks.
    void endTask(const DownloadTask& task);

private:
    using TaskTable = std::map<std::string, std::unique_ptr<DownloadTask>>;
    struct WorkerStart;
    static DWORD WINAPI threadProc(void* start);

    float progressOf(const std::string& saveDir, const std::string& name) const;
    // The task of this name or of one that names the same file; m_taskLock is held.
    TaskTable::const_iterator findSameFile(const std::string& name) const;
    void closeEndedTasks();

    DataDrive& m_dataDrive;

    mutable ROVodi::crCriticalMutex m_pathLock;  // the paths are read by the update's worker
    std::string m_savePath;
    std::string m_unCompressPath;

    mutable ROVodi::crCriticalMutex m_taskLock;  // m_tasks and m_ended
    TaskTable m_tasks;
    std::vector<std::unique_ptr<DownloadTask>> m_ended;

    std::atomic<bool> m_stop{false};
    fw::UniqueHandle m_stopEvent;  // manual reset, set with m_stop
    std::atomic<unsigned> m_firstPauseMs;
    std::atomic<unsigned> m_maxPauseMs;
    std::atomic<unsigned> m_stallMs;
    EngineArchiveHandler m_engineArchiveHandler;  // set before downloads start
};
