#include "tests/support/DriveFixture.h"

#include "framework/UniqueHandle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using testing_support::DriveFixture;
using testing_support::DriveType;

namespace {

std::string logicalDrives() {
    char buffer[128] = {};
    GetLogicalDriveStringsA(sizeof(buffer), buffer);
    std::string list;
    for (const char* drive = buffer; *drive; drive += lstrlenA(drive) + 1) list += drive;
    return list;
}

}  // namespace

TEST(DriveFixture, MapsRetypesAndUnmapsWhileTheProgramRuns) {
    ASSERT_EQ(logicalDrives(), "C:\\");
    {
        DriveFixture drives;
        ASSERT_TRUE(drives.map('d')) << drives.error();
        ASSERT_TRUE(drives.map('E', DriveType::cdrom)) << drives.error();
        EXPECT_EQ(logicalDrives(), "C:\\D:\\E:\\");
        EXPECT_EQ(GetDriveTypeA("D:\\"), UINT(DRIVE_FIXED));
        EXPECT_EQ(GetDriveTypeA("E:\\"), UINT(DRIVE_CDROM));

        ASSERT_TRUE(drives.setType('D', DriveType::network)) << drives.error();
        EXPECT_EQ(GetDriveTypeA("D:\\"), UINT(DRIVE_REMOTE));
        ASSERT_TRUE(drives.setType('D', DriveType::floppy)) << drives.error();
        EXPECT_EQ(GetDriveTypeA("D:\\"), UINT(DRIVE_REMOVABLE));

        EXPECT_TRUE(CreateDirectoryA("D:\\left-over", nullptr));
        ASSERT_TRUE(drives.map('D')) << drives.error();  // mapped again: empty again
        EXPECT_EQ(GetFileAttributesA("D:\\left-over"), INVALID_FILE_ATTRIBUTES);

        ASSERT_TRUE(drives.unmap('E')) << drives.error();
        EXPECT_EQ(logicalDrives(), "C:\\D:\\");
        EXPECT_FALSE(drives.unmap('E'));
        EXPECT_FALSE(drives.setType('E', DriveType::hd));
        EXPECT_FALSE(drives.map('C'));
    }
    EXPECT_EQ(logicalDrives(), "C:\\");
    EXPECT_EQ(GetFileAttributesA("D:\\"), INVALID_FILE_ATTRIBUTES);
}

TEST(DriveFixture, TmpfsDriveHasItsSizeAndFillsUp) {
    DriveFixture drives;
    MAP_TMPFS_OR_SKIP(drives, 'F', 1 << 20, DriveType::hd);
    ULARGE_INTEGER available = {}, total = {};
    ASSERT_TRUE(GetDiskFreeSpaceExA("F:\\", &available, &total, nullptr));
    EXPECT_EQ(total.QuadPart, 1u << 20);

    const fw::UniqueHandle file(CreateFileA("F:\\big", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    const std::string block(64 * 1024, 'x');
    DWORD written = 0;
    bool full = false;
    for (int i = 0; i < 32 && !full; ++i) {
        full = !WriteFile(file.get(), block.data(), DWORD(block.size()), &written, nullptr) || written < block.size();
    }
    // Read before anything else can set it.
    const DWORD error = GetLastError();
    EXPECT_TRUE(full);
    EXPECT_EQ(error, DWORD(ERROR_DISK_FULL));
}
