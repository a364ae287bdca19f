// download_bench URL SIZE RUNS: downloads URL RUNS times through the launcher's download
// manager into C:/bench-dl, and as many times with a bare WinINet loop (one InternetReadFile
// of 1 MiB, one WriteFile, nothing else): the ceiling of WinINet on this machine. Prints
// one line per run and the process's peak memory. Run by scripts/bench-download, never by
// the tests.
#include "Halcyra/download/DownloadManager.h"
#include "Halcyra/download/FileQueries.h"
#include "Halcyra/storage/DataDrive.h"
#include "framework/MessageBox.h"
#include "framework/UniqueHandle.h"
#include "framework/UniqueInternetHandle.h"

#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kSaveDir[] = "bench-dl";
const char kBarePath[] = "C:/bench-dl/bare.bin";
const DWORD kBareBlock = 1 << 20;

PROCESS_MEMORY_COUNTERS memoryNow()
{
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return memory;
}

double now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

void report(const char* what, long long size, double seconds)
{
    std::printf("%-8s %.0f MB in %.2f s  %.1f MB/s\n", what, size / 1e6, seconds, size / 1e6 / seconds);
}

// Seconds for one download through the manager; negative on failure.
double managerRun(DownloadManager& downloads, const std::string& url, long long expected)
{
    const std::string name = url.substr(url.find_last_of('/') + 1);
    deleteFile(downloads.savePath(), name);
    const double start = now();
    if (downloads.download(url) != DownloadManager::kStarted) {
        std::fprintf(stderr, "download_bench: the download did not start\n");
        return -1;
    }
    while (downloads.taskCount() != 0) Sleep(1);
    const double seconds = now() - start;
    const long long size = getFileSize(downloads.savePath(), name);
    deleteFile(downloads.savePath(), name);
    if (size != expected) {
        std::fprintf(stderr, "download_bench: got %lld bytes, expected %lld\n", size, expected);
        return -1;
    }
    return seconds;
}

// Seconds for the bare loop; negative on failure.
double bareRun(const std::string& url, long long expected)
{
    const double start = now();
    const std::wstring wideUrl(url.begin(), url.end());
    const fw::UniqueInternetHandle session(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    fw::UniqueInternetHandle request(
        session ? InternetOpenUrlW(session.get(), wideUrl.c_str(), nullptr, 0,
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                : nullptr);
    fw::UniqueHandle file(CreateFileA(kBarePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<char> block(kBareBlock);
    long long size = 0;
    DWORD got = 0;
    while (request && file && InternetReadFile(request.get(), block.data(), kBareBlock, &got) && got > 0) {
        DWORD written = 0;
        WriteFile(file.get(), block.data(), got, &written, nullptr);
        size += got;
    }
    request.reset();
    file.reset();
    const double seconds = now() - start;
    DeleteFileA(kBarePath);
    if (size != expected) {
        std::fprintf(stderr, "download_bench: bare loop got %lld bytes, expected %lld\n", size, expected);
        return -1;
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: download_bench URL SIZE RUNS\n");
        return 2;
    }
    const std::string url = argv[1];
    const long long expected = std::atoll(argv[2]);
    const int runs = std::atoi(argv[3]);
    // A message box would wait for a click nobody gives.
    fw::setMessageBoxRecorder([](const fw::MessageBoxCall& call) {
        std::fwprintf(stderr, L"download_bench: message: %ls\n", call.text.c_str());
        return IDOK;
    });

    DataDrive drive;
    drive.setDrive("C");
    DownloadManager downloads(drive);
    downloads.setSavePath(kSaveDir);
    const PROCESS_MEMORY_COUNTERS before = memoryNow();
    for (int run = 0; run < runs; ++run) {
        const double launcher = managerRun(downloads, url, expected);
        const double bare = bareRun(url, expected);
        if (launcher < 0 || bare < 0) return 1;
        report("launcher", expected, launcher);
        report("bare", expected, bare);
    }
    const PROCESS_MEMORY_COUNTERS after = memoryNow();
    std::printf("memory   peak working set %.1f MB (%.1f MB before), peak private %.1f MB (%.1f MB before)\n",
                after.PeakWorkingSetSize / 1e6, before.PeakWorkingSetSize / 1e6,
                after.PeakPagefileUsage / 1e6, before.PeakPagefileUsage / 1e6);
    return 0;
}
