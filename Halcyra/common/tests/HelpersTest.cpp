#include "Halcyra/common/Helpers.h"

#include "tests/support/DriveFixture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <io.h>

#include <fstream>

using testing_support::DriveFixture;
using testing_support::TempDir;

TEST(Conversion, ChineseTextRoundTripsThroughTheAnsiCodePage) {
    ASSERT_EQ(GetACP(), 936u) << "tests run with the Chinese code page";
    const std::string gbk = "下载完成 C:/数据/场景.pak";  // GBK bytes in this program
    const std::wstring wide = toWide(gbk);
    EXPECT_EQ(wide, L"\u4E0B\u8F7D\u5B8C\u6210 C:/\u6570\u636E/\u573A\u666F.pak");
    EXPECT_EQ(toNarrow(wide), gbk);
    EXPECT_EQ(toNarrow(wide.c_str(), 2), "下载");
    EXPECT_EQ(toWide(gbk.c_str(), 2), L"\u4E0B");
}

TEST(Conversion, EmptyOrAbsentTextGivesEmptyText) {
    EXPECT_EQ(toNarrow(L""), "");
    EXPECT_EQ(toNarrow(L"abc", 0), "");
    EXPECT_EQ(toNarrow(nullptr, 3), "");
    EXPECT_EQ(toWide(""), L"");
    EXPECT_EQ(toWide(nullptr, 3), L"");
    // Embedded zeros are text like any other: the length counts, not a terminator.
    EXPECT_EQ(toNarrow(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

TEST(Paths, SplitAtTheLastSeparatorOrDot) {
    EXPECT_EQ(getFilePath("C:/a\\b/c"), "C:/a\\b");
    EXPECT_EQ(getFileName("C:/a\\b/c.pak"), "c.pak");
    EXPECT_EQ(getFileName("C:/a/b\\c.pak"), "c.pak");
    EXPECT_EQ(getFileName("c.pak"), "c.pak");
    EXPECT_EQ(getFileName("a/b/"), "");
    EXPECT_EQ(getFileExtension("scene.ver2.pak"), "pak");
    EXPECT_EQ(getFileExtension("readme"), "");
    EXPECT_EQ(getFileExtension("name."), "");
    EXPECT_EQ(getFileExtension("dir.ver2/file"), "ver2/file");
    EXPECT_EQ(getFileExtension(""), "");
}

TEST(Directories, CreateOnAnExistingFileFails) {
    TempDir dir;
    std::ofstream(dir / "taken") << "x";
    EXPECT_FALSE(createDirectories(dir / "taken"));
    EXPECT_FALSE(createParentDirs(dir / "taken\\sub\\file.txt"));
    EXPECT_TRUE(createParentDirs(dir / "new\\中文\\file.txt"));
    EXPECT_TRUE(createDirectories(dir / "new\\中文"));
    EXPECT_FALSE(createParentDirs("file.txt"));
}

TEST(Directories, CreatesEveryLevelBelowABareDrive) {
    DriveFixture drives;
    ASSERT_TRUE(drives.map('D')) << drives.error();
    EXPECT_TRUE(createDirectories("D:/x/y/z"));
    EXPECT_EQ(_access("D:\\x\\y\\z", 0), 0);
    EXPECT_TRUE(createDirectories("D:\\x"));
    EXPECT_TRUE(createParentDirs("D:/a/b.txt"));
    EXPECT_EQ(_access("D:/a", 0), 0);
    EXPECT_FALSE(createDirectories("Q:/x/y"));  // no such drive
}
