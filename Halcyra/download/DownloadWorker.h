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
class DownloadTask;

class DownloadWorker {
public:
    DownloadWorker(DownloadManager& manager, DownloadTask& task);
    void run();

private:
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
    DownloadTask& m_task;
    const std::wstring m_url;

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
