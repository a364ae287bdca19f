#pragma once
// The download tasks of the page: the save and uncompress paths, the task table with its
// workers, progress queries and stopping. Each task is carried out by its own worker
// thread (DownloadWorker.cpp); at most two tasks run at once, apart from the plan file.
#include "framework/UniqueHandle.h"
#include "utility/crCriticalMutex.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

class DataDrive;

struct DownloadTask {
    std::string progress;      // "%.2f|%.2f|%d|%d", empty until the first report
    HANDLE worker = nullptr;   // not owned: the finished-thread queue closes it
    std::string url;
};

class DownloadManager {
public:
    // Results of downloadAndRename.
    static const long kStarted = 0;
    static const long kEmptyUrl = -1;
    static const long kBadName = -2;        // absolute, "..", or not in the ANSI code page
    static const long kTableFull = -3;
    static const long kAlreadyRunning = -4;
    static const long kNoThread = -5;

    static const char kFinishedProgress[];  // "1.0|0|0|0"

    explicit DownloadManager(DataDrive& dataDrive);
    ~DownloadManager();  // stops every worker and waits for it
    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    // dir is relative to the data drive; the directory is created (failure ignored).
    void setSavePath(const std::string& dir);
    void setUnCompressPath(const std::string& dir);
    std::string savePath() const;
    std::string unCompressPath() const;

    long download(const std::string& url) { return downloadAndRename(url, std::string()); }
    long downloadAndRename(const std::string& url, const std::string& name);
    // The page's texts: refused with kBadName when the ANSI code page cannot hold them.
    long downloadAndRename(const std::wstring& url, const std::wstring& name);

    std::string getDownloadingFilenames() const;    // "a.zip|b.zip|"
    float getDownloadProgress(const std::string& name);
    std::string getDownloadProgressInfo(const std::string& name);
    void clearDownload();  // stopDownloads, then downloads may start again

    // The download part of the launcher's shutdown: raise the stop flag, wait until every
    // task has left the table, close the ended workers' handles. The flag stays raised.
    void stopDownloads();
    bool stopRequested() const { return m_stop.load(); }
    // Lets downloads run again after stopDownloads.
    void clearStopFlag() { m_stop = false; }

    // Runs on the worker of a finished engine archive, after its extraction and before
    // its task leaves the table. Nothing by default.
    // The argument says whether the extractor ran and reported success.
    void setEngineArchiveHandler(std::function<void(bool extracted)> handler);

    // Reconnection pauses start at firstMs and double up to maxMs (tests shorten them).
    void setReconnectPauses(unsigned firstMs, unsigned maxMs);

    // Operations of the workers and the update check.
    bool findTask(const std::string& name, DownloadTask& task) const;
    void removeTask(const std::string& name);
    void setTaskProgress(const std::string& name, float fraction, float speed,
                         std::uint32_t received, std::uint32_t total);
    void queueFinishedThread(HANDLE thread);
    void closeFinishedThreads();
    std::size_t taskCount() const;

private:
    friend class DownloadWorker;

    bool takePendingName(std::string& name);
    // The fraction of a running task, 1 for a finished file, -1 otherwise.
    bool runningProgress(const std::string& name, std::string& progress) const;
    bool isFinished(const std::string& name) const;

    DataDrive& m_dataDrive;

    mutable ROVodi::crCriticalMutex m_pathLock;  // the paths are read by workers
    std::string m_savePath;
    std::string m_unCompressPath;

    mutable ROVodi::crCriticalMutex m_taskLock;  // m_tasks and m_pendingNames
    std::map<std::string, DownloadTask> m_tasks;
    std::deque<std::string> m_pendingNames;

    ROVodi::crCriticalMutex m_finishedLock;      // m_finishedThreads only
    std::deque<fw::UniqueHandle> m_finishedThreads;

    std::atomic<bool> m_stop{false};
    std::atomic<unsigned> m_firstPauseMs;
    std::atomic<unsigned> m_maxPauseMs;
    std::function<void(bool)> m_engineArchiveHandler;  // set before downloads start
};
