// md5_bench NAME: digests NAME (relative to the current directory) with getFileMD5 and
// prints the digest, the throughput and the process's peak memory. Run by scripts/bench-md5.
#include "Halcyra/download/FileQueries.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: md5_bench NAME\n");
        return 2;
    }
    const std::string name = argv[1];
    const std::int64_t size = getFileSize(".", name);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    const double peakBefore = memory.PeakWorkingSetSize / 1e6;

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const std::string digest = getFileMD5(".", name);
    QueryPerformanceCounter(&end);
    if (digest.empty()) {
        std::fprintf(stderr, "md5_bench: cannot digest %s\n", name.c_str());
        return 1;
    }

    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("getFileMD5 %s  %.0f MB in %.2f s  %.1f MB/s  peak working set %.1f MB"
                " (%.1f MB before the digest)\n",
                digest.c_str(), size / 1e6, seconds, size / 1e6 / seconds,
                memory.PeakWorkingSetSize / 1e6, peakBefore);
    return 0;
}
