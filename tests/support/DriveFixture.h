#pragma once
// DriveFixture: drive letters for a test, in the test program's own Wine prefix.
//
//     testing_support::DriveFixture drives;
//     ASSERT_TRUE(drives.map('D')) << drives.error();              // D:\ empty, fixed disk
//     ASSERT_TRUE(drives.map('E', DriveType::cdrom)) << drives.error();
//     MAP_TMPFS_OR_SKIP(drives, 'F', 8 << 20, DriveType::hd);       // 8 MiB, really fills up
//     drives.setType('D', DriveType::network);
//
// Each mapped letter is a fresh empty directory (or tmpfs mount) in the prefix, seen at
// once by GetLogicalDrives/GetLogicalDriveStrings, GetDriveType, GetDiskFreeSpaceEx and
// every file function. The fixture unmaps and deletes everything it mapped when it ends.
// Letters are 'A'..'Z' except 'C' (the prefix's system drive); either case is accepted.
//
// How: the Linux side (directory, tmpfs mount, clean-up) is drive-fixture.sh, copied
// beside the test programs and started with CreateProcess. The drive itself is announced
// to Wine's mount manager with its IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE extension, which
// makes the dosdevices link, writes the type under HKLM\Software\Wine\Drives and creates
// the DOS device. Measured under Wine 8.0: a dosdevices link made from Linux while the
// prefix runs is usable by path (GetDriveType says fixed, free space is right), but
// GetLogicalDrives never lists it, and a type written to the registry then is ignored:
// the mount manager reads that key only when it starts. No wineserver restart is needed
// with the ioctl, and a restart is impossible anyway while the test program runs.
#include <cstdint>
#include <map>
#include <string>

namespace testing_support {

// Wine's drive types, as named in HKLM\Software\Wine\Drives; GetDriveType then reports
// DRIVE_FIXED, DRIVE_CDROM, DRIVE_REMOVABLE and DRIVE_REMOTE.
enum class DriveType { hd, cdrom, floppy, network };

class DriveFixture {
public:
    DriveFixture() = default;
    DriveFixture(const DriveFixture&) = delete;
    DriveFixture& operator=(const DriveFixture&) = delete;
    ~DriveFixture();

    // Maps the letter to a fresh empty directory (replacing an earlier mapping of it).
    bool map(char letter, DriveType type = DriveType::hd);
    // The same on a tmpfs mount of the given size. When the machine cannot mount
    // (not root, no tmpfs), false with mountUnavailable() true.
    bool mapTmpfs(char letter, std::uint64_t bytes, DriveType type = DriveType::hd);
    // Maps the letter onto the directory of a letter this fixture mapped: two letters
    // naming one drive, as a substituted drive does.
    bool mapSameAs(char letter, char mapped, DriveType type = DriveType::hd);
    // Changes the type of a letter this fixture mapped.
    bool setType(char letter, DriveType type);
    // Removes the letter and deletes its contents.
    bool unmap(char letter);

    // Why the last call that returned false failed.
    const std::string& error() const { return m_error; }
    bool mountUnavailable() const { return m_mountUnavailable; }

private:
    bool mapDirectory(char letter, std::uint64_t bytes, DriveType type);
    bool fail(const std::string& message);

    std::map<char, std::string> m_linuxDirs;  // by lower-case letter
    std::map<char, char> m_sameAs;            // second letters onto those above
    std::string m_error;
    bool m_mountUnavailable = false;
};

}  // namespace testing_support

// Inside a test: maps a tmpfs drive, skips the test when this machine cannot mount
// tmpfs, and fails it on any other error.
#define MAP_TMPFS_OR_SKIP(fixture, letter, bytes, type)                             \
    do {                                                                          \
        if (!(fixture).mapTmpfs((letter), (bytes), (type))) {                     \
            if ((fixture).mountUnavailable()) GTEST_SKIP() << (fixture).error();  \
            FAIL() << (fixture).error();                                          \
        }                                                                         \
    } while (false)
