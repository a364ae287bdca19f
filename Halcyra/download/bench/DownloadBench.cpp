// download_bench URL SIZE: downloads URL through the launcher's download manager into
// C:/bench-dl and prints the throughput and the process's peak memory (the worker thread
// runs in it). Run by scripts/bench-download, never by the tests.
#include "Halcyra/download/DownloadManager.h"
#include "Halcyra/download/FileQueries.h"
#include "Halcyra/storage/DataDrive.h"
#include "framework/MessageBox.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kSaveDir[] = "bench-dl";

PROCESS_MEMORY_COUNTERS memoryNow() {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return memory;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: download_bench URL SIZE\n");
        return 2;
    }
    const std::string url = argv[1];
    const long long expected = std::atoll(argv[2]);
    // A message box would wait for a click nobody gives.
    fw::setMessageBoxRecorder([](const fw::MessageBoxCall& call) {
        std::fwprintf(stderr, L"download_bench: message: %ls\n", call.text.c_str());
        return IDOK;
    });

    DataDrive drive;
    drive.setDrive("C");
    DownloadManager downloads(drive);
    downloads.setSavePath(kSaveDir);
    const std::string name = url.substr(url.find_last_of('/') + 1);
    deleteFile(downloads.savePath(), name);
    const PROCESS_MEMORY_COUNTERS before = memoryNow();

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (downloads.download(url) != DownloadManager::kStarted) {
        std::fprintf(stderr, "download_bench: the download did not start\n");
        return 1;
    }
    while (downloads.taskCount() != 0) Sleep(1);
    QueryPerformanceCounter(&end);

    const long long size = getFileSize(downloads.savePath(), name);
    deleteFile(downloads.savePath(), name);
    if (size != expected) {
        std::fprintf(stderr, "download_bench: got %lld bytes, expected %lld\n", size, expected);
        return 1;
    }
    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    const PROCESS_MEMORY_COUNTERS after = memoryNow();
    std::printf("launcher  %.0f MB in %.2f s  %.1f MB/s  peak working set %.1f MB (%.1f MB before),"
                " peak private %.1f MB (%.1f MB before)\n",
                size / 1e6, seconds, size / 1e6 / seconds, after.PeakWorkingSetSize / 1e6,
                before.PeakWorkingSetSize / 1e6, after.PeakPagefileUsage / 1e6,
                before.PeakPagefileUsage / 1e6);
    return 0;
}
