#include "Halcyra/storage/DriveSurvey.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const char kTotalFormat[] = "Total=%.1fGB";
const char kRemainFormat[] = "Remain=%.1fGB";
const char kEntrySeparator[] = ";";
const DWORD kSleepPerDriveMs = 10;
const size_t kConsideredDrives = 5;

// The page shows these figures; they are computed in single precision on purpose so the
// texts match what users have always seen.
std::string formatGigabytes(const char* format, unsigned long long bytes)
{
    const float kilo = 1.0f / 1024.0f;
    const float gigabytes = static_cast<float>(bytes) * kilo * kilo * kilo;
    char text[64] = {};
    std::snprintf(text, sizeof text, format, static_cast<double>(gigabytes));
    return text;
}

FixedDrive surveyDrive(const char* root)
{
    FixedDrive drive;
    drive.letter = root[0];
    ULARGE_INTEGER available = {}, total = {}, totalFree = {};
    std::string totalText, remainText;
    if (GetDiskFreeSpaceExA(root, &available, &total, &totalFree)) {
        drive.freeBytes = available.QuadPart;
        totalText = formatGigabytes(kTotalFormat, total.QuadPart);
        remainText = formatGigabytes(kRemainFormat, available.QuadPart);
    }
    drive.entry = std::string(root) + totalText + "," + remainText;
    return drive;
}

}  // namespace

std::vector<FixedDrive> surveyFixedDrives()
{
    std::vector<FixedDrive> drives;
    const DWORD length = GetLogicalDriveStringsA(0, nullptr);
    if (length == 0)
        return drives;
    std::string list(length, '\0');
    // The list may have grown between the calls; a shorter buffer then reports failure.
    const DWORD written = GetLogicalDriveStringsA(length, &list[0]);
    if (written == 0 || written > length)
        return drives;
    list.resize(written);

    for (size_t at = 0; at < list.size() && list[at] != '\0'; at += std::strlen(&list[at]) + 1) {
        const char* root = &list[at];
        Sleep(kSleepPerDriveMs);
        if (GetDriveTypeA(root) == DRIVE_FIXED)
            drives.push_back(surveyDrive(root));
    }
    return drives;
}

bool isFixedDrive(char letter)
{
    const char root[] = {letter, ':', '\\', '\0'};
    return GetDriveTypeA(root) == DRIVE_FIXED;
}

std::string diskInfoText(const std::vector<FixedDrive>& drives)
{
    std::string text;
    for (const FixedDrive& drive : drives) {
        if (!text.empty())
            text += kEntrySeparator;
        text += drive.entry;
    }
    return text;
}

char chooseDataDrive(const std::vector<FixedDrive>& drives)
{
    if (drives.empty())
        return 0;
    char choice = drives.front().letter;
    unsigned long long best = 0;
    const size_t considered = drives.size() < kConsideredDrives ? drives.size() : kConsideredDrives;
    for (size_t i = 0; i < considered; ++i) {
        if (drives[i].freeBytes >= best) {
            best = drives[i].freeBytes;
            choice = drives[i].letter;
        }
    }
    return choice;
}
