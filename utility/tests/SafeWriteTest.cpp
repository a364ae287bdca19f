#include "utility/SafeWrite.h"

#include "tests/support/DriveFixture.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using testing_support::readBytes;
using testing_support::writeBytes;

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(SafeWrite, ReplacesCreatesAndFailsWithoutTouchingTheFile) {
    testing_support::TempDir dir;
    const std::string file = dir.path() + "/record.dat";

    EXPECT_TRUE(ROVodi::writeFileSafely(file, "new"));  // created
    EXPECT_EQ("new", readBytes(file));
    EXPECT_TRUE(ROVodi::writeFileSafely(file, std::string("a\0\r\nb", 5)));  // bytes as given
    EXPECT_EQ(std::string("a\0\r\nb", 5), readBytes(file));
    EXPECT_TRUE(ROVodi::writeFileSafely(file, ""));
    EXPECT_TRUE(exists(file));
    EXPECT_EQ("", readBytes(file));

    // A directory in the way cannot be replaced; the temporary file goes again.
    const std::string folder = dir.path() + "/folder";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_FALSE(ROVodi::writeFileSafely(folder, "new"));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(exists(folder + ".tmp"));

    EXPECT_FALSE(ROVodi::writeFileSafely(dir.path() + "/missing/record.dat", "new"));
}

// In place, the old contents would be gone before the disk turned out too full for the new.
TEST(SafeWrite, FullDiskKeepsTheOldFile) {
    testing_support::DriveFixture drives;
    MAP_TMPFS_OR_SKIP(drives, 'S', 256 * 1024, testing_support::DriveType::hd);
    const std::string file = "S:/record.dat";
    const std::string old(16 * 1024, 'o');
    writeBytes(file, old);
    ASSERT_TRUE(testing_support::fillDrive("S:/filler"));

    EXPECT_FALSE(ROVodi::writeFileSafely(file, std::string(64 * 1024, 'n')));
    EXPECT_TRUE(readBytes(file) == old) << "the old 16 KiB are no longer there";
    EXPECT_FALSE(exists(file + ".tmp"));
}
