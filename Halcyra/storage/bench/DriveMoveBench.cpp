// Throughput of the drive move against `cp -r` of the same tree between the same two
// tmpfs drives, for many small files and for a few large ones. scripts/bench-drivemove
// runs it; it is never part of the tests.
#include "Halcyra/storage/DataDrive.h"
#include "Halcyra/storage/DriveMove.h"
#include "framework/UniqueHandle.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/LinuxProgram.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char kSystemRoot[] = "C:/Orbelune/";
const char kStatus[] = "C:/Orbelune/cp-tree.status";
const std::uint64_t kDriveBytes = 640ull << 20;
const DWORD kAnswerTimeoutMs = 10 * 60 * 1000;
const int kRounds = 3;

struct Shape {
    const char* name;
    int files;
    std::size_t fileBytes;
};

double seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

std::string besideThis(const std::string& name)
{
    char module[MAX_PATH];
    const std::string self(module, GetModuleFileNameA(nullptr, module, MAX_PATH));
    return self.substr(0, self.find_last_of('\\') + 1) + name;
}

// Files of the shape under D:/Orbelune/420/, 64 to a subdirectory.
bool writeTree(const Shape& shape)
{
    std::vector<char> content(shape.fileBytes);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 131 + 7);
    CreateDirectoryA("D:/Orbelune", nullptr);
    CreateDirectoryA("D:/Orbelune/420", nullptr);
    for (int i = 0; i < shape.files; ++i) {
        const std::string dir = "D:/Orbelune/420/d" + std::to_string(i / 64);
        CreateDirectoryA(dir.c_str(), nullptr);
        fw::UniqueHandle file(CreateFileA((dir + "/f" + std::to_string(i)).c_str(), GENERIC_WRITE,
                                          0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                          nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()),
                                &written, nullptr) ||
            written != content.size())
            return false;
    }
    return true;
}

// Seconds that cp -r took, measured on the Linux side; negative on failure.
double timeCopy()
{
    DeleteFileA(kStatus);
    const std::string command = "\"" + besideThis("cp-tree.sh") + "\" D:/Orbelune/420 E:/cp/420 " + kStatus;
    if (!testing_support::startLinuxProgram(std::wstring(command.begin(), command.end()))) return -1.0;
    // The status file tells when it is done.
    for (DWORD waited = 0; waited < kAnswerTimeoutMs; waited += 20) {
        std::ifstream in(kStatus);
        std::string word;
        double value = -1.0;
        if (in >> word) {
            if (word == "ok" && in >> value)
                return value;
            return -1.0;
        }
        Sleep(20);
    }
    return -1.0;
}

// One round on fresh drives: cp -r of the tree, then the drive move of the same tree.
bool measure(const Shape& shape, double& copySeconds, double& moveSeconds)
{
    testing_support::DriveFixture drives;
    if (!drives.mapTmpfs('D', kDriveBytes) || !drives.mapTmpfs('E', kDriveBytes)) {
        std::printf("cannot map tmpfs drives: %s\n", drives.error().c_str());
        return false;
    }
    if (!writeTree(shape)) {
        std::printf("cannot write the tree\n");
        return false;
    }
    copySeconds = timeCopy();
    if (copySeconds < 0) {
        std::printf("cp -r failed\n");
        return false;
    }

    std::ofstream(std::string(kSystemRoot) + "disk.dat") << "D";
    DataDrive dataDrive;
    dataDrive.init();
    DriveMove move(dataDrive);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    move.changeDisk("E");
    move.waitForEnd();
    QueryPerformanceCounter(&end);
    if (move.progress() != 1.0f) {
        std::printf("the drive move failed\n");
        return false;
    }
    moveSeconds = seconds(start, end);
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Rounds of both, each figure the median of its rounds: the machine is shared, and one
// round alone says more about the neighbours than about the copy.
bool run(const Shape& shape)
{
    const double megabytes = static_cast<double>(shape.files) * shape.fileBytes / 1e6;
    std::printf("%-6s %5d files x %7zu bytes = %6.1f MB\n", shape.name, shape.files,
                shape.fileBytes, megabytes);
    std::vector<double> copies, moves, ratios;
    for (int round = 0; round < kRounds; ++round) {
        double copySeconds = 0, moveSeconds = 0;
        if (!measure(shape, copySeconds, moveSeconds))
            return false;
        std::printf("  round %d     drive move %.3f s, cp -r %.3f s\n", round + 1, moveSeconds,
                    copySeconds);
        copies.push_back(copySeconds);
        moves.push_back(moveSeconds);
        ratios.push_back(copySeconds / moveSeconds);
    }
    std::printf("  median of %d rounds:\n", kRounds);
    std::printf("  drive move  %7.3f s  %7.1f MB/s\n", median(moves), megabytes / median(moves));
    std::printf("  cp -r       %7.3f s  %7.1f MB/s\n", median(copies), megabytes / median(copies));
    std::printf("  ratio       %7.2f x cp -r\n", median(ratios));
    return true;
}

}  // namespace

int main()
{
    CreateDirectoryA(kSystemRoot, nullptr);
    const Shape shapes[] = {
        {"small", 2048, 128 * 1024},
        {"large", 4, 64 * 1024 * 1024},
    };
    for (const Shape& shape : shapes)
        if (!run(shape))
            return 1;
    return 0;
}
