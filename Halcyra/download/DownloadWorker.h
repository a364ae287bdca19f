#pragma once
// The worker thread of one download task: fetches the URL into the partial file "~",
// resumes from the resume record "td", reconnects after stalls, puts the finished file
// in place, unpacks ".7z" archives, and always takes its task out of the table at the end.
#include "framework/UniqueHandle.h"
#include "Halcyra/download/HttpSource.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class DownloadManager;

class DownloadWorker {
public:
    // Thread procedure; the argument is the DownloadManager.
    static DWORD WINAPI threadProc(void* manager);

private:
    DownloadWorker(DownloadManager& manager, const std::string& name, const std::string& url);

    void run();
    bool start();
    bool openPartialFile(bool resume, std::uint32_t offset);
    bool resumeTransfer(std::uint32_t offset);
    bool restartFile();
    bool positionedOpen(std::uint32_t offset);
    void transfer();
    bool reconnect();
    bool pause(unsigned milliseconds) const;
    void finish();
    void complete();
    void extract();
    void reportProgress();
    void showMessage(const char* format, const std::string& value, const char* caption) const;

    DownloadManager& m_manager;
    const std::string m_name;
    const std::wstring m_url;
    const std::string m_narrowUrl;
    std::string m_finalPath;
    std::string m_partialPath;
    std::string m_recordPath;

    HttpSource m_source;
    fw::UniqueHandle m_file;
    bool m_lengthKnown = false;
    std::uint32_t m_total = 0;
    std::uint32_t m_received = 0;
    std::vector<char> m_block;

    // Speed figure, recomputed about once a second.
    DWORD m_startTick = 0;
    DWORD m_elapsedMs;
    float m_accumulated = 0.0f;
    float m_speed = 0.0f;

    unsigned m_emptyReads = 0;
    unsigned m_nextPauseMs;
};
