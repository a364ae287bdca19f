#include "utility/Directories.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <io.h>

#include <fstream>

using namespace ROVodi;
using testing_support::TempDir;

TEST(Directories, GetFilePathCutsAtTheLastSeparatorOfEitherKind) {
    EXPECT_EQ(getFilePath("file.txt"), "");
    EXPECT_EQ(getFilePath("C:/a\\b/c"), "C:/a\\b");
    EXPECT_EQ(getFilePath("C:/a/b\\c"), "C:/a/b");
    EXPECT_EQ(getFilePath("a/b/"), "a/b");
    EXPECT_EQ(getFilePath("/x"), "");
}

TEST(Directories, CreatesEveryMissingLevel) {
    TempDir dir;
    const std::string deep = dir.path() + "/x\\y/z";
    EXPECT_TRUE(createDirectories(deep));
    EXPECT_EQ(_access(deep.c_str(), 0), 0);
    EXPECT_TRUE(createDirectories(deep));  // already there
    EXPECT_TRUE(createParentDirs(dir / "p\\q\\file.txt"));
    EXPECT_EQ(_access((dir / "p\\q").c_str(), 0), 0);
    EXPECT_EQ(_access((dir / "p\\q\\file.txt").c_str(), 0), -1);
}

TEST(Directories, RefusesFilesInTheWayAndEmptyPaths) {
    TempDir dir;
    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(createDirectories(dir / "file"));
    EXPECT_FALSE(createDirectories(dir / "file\\below"));
    EXPECT_FALSE(createDirectories(""));
    EXPECT_FALSE(createParentDirs("nameonly.txt"));
}
