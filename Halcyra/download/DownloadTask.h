#pragma once
// One download as it was admitted: what it fetches, where every file of it goes, the
// worker thread that carries it out and the progress that worker reports. Everything but
// the progress is fixed when the task is made, so a page that changes the save or
// uncompress path meanwhile changes nothing for a task already running.
#include "framework/UniqueHandle.h"
#include "utility/crCriticalMutex.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// The two directories of a download: where its file goes and where a ".7z" is unpacked.
struct DownloadDirs {
    std::string save;
    std::string unCompress;
};

struct TaskProgress {
    bool reported = false;  // false until the worker's first report
    float fraction = 0.0f;  // 0 to 0.99 while the task runs
    float speed = 0.0f;     // KiB per second
    std::uint64_t received = 0;
    std::uint64_t total = 0;
};

// The page's progress text, "%.2f|%.2f|%d|%d" with the counts printed in full (no wrap
// beyond 2 GiB); empty before the first report.
std::string formatProgress(const TaskProgress& progress);

class DownloadTask {
public:
    // The longest text appended to the final path (the resume record's "td"): a name is
    // admitted only when its path leaves room for it.
    static const std::size_t kLongestSuffix = 2;
    // Beside the final name while a download of it is unfinished.
    static constexpr char kRecordSuffix[] = "td";

    DownloadTask(const std::string& name, const std::string& url, const DownloadDirs& dirs);
    DownloadTask(const DownloadTask&) = delete;
    DownloadTask& operator=(const DownloadTask&) = delete;
    // Waits for the worker thread to have ended before its handle closes.
    ~DownloadTask();

    const std::string& name() const { return m_name; }
    const std::string& url() const { return m_url; }
    const DownloadDirs& dirs() const { return m_dirs; }
    const std::string& finalPath() const { return m_finalPath; }
    const std::string& partialPath() const { return m_partialPath; }
    const std::string& recordPath() const { return m_recordPath; }

    // The worker thread, given once it has been created.
    void setThread(HANDLE thread) { m_thread.reset(thread); }

    TaskProgress progress() const;
    void setProgress(const TaskProgress& progress);

private:
    const std::string m_name;
    const std::string m_url;
    const DownloadDirs m_dirs;
    const std::string m_finalPath;    // save directory + "/" + name
    const std::string m_partialPath;  // final path + "~"
    const std::string m_recordPath;   // final path + "td"

    fw::UniqueHandle m_thread;

    mutable ROVodi::crCriticalMutex m_progressLock;  // the worker writes, the page reads
    TaskProgress m_progress;
};
