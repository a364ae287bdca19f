#include "tests/support/TempDir.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

using testing_support::TempDir;

namespace {

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

TEST(RemoveTree, RemovesNestedAndReadOnlyFiles) {
    TempDir dir;
    const std::string tree = dir / "tree";
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
    std::ofstream(tree + "\\sub\\file") << "x";
    std::ofstream(tree + "\\locked") << "x";
    ASSERT_TRUE(SetFileAttributesA((tree + "\\locked").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_TRUE(testing_support::removeTree(tree));
    EXPECT_FALSE(exists(tree));
}

TEST(RemoveTree, LeavesWhatADirectoryLinkPointsAt) {
    TempDir dir;
    const std::string outside = dir / "outside";
    const std::string tree = dir / "tree";
    ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
    std::ofstream(outside + "\\keep") << "x";
    ASSERT_TRUE(testing_support::makeLinuxLink(tree, "../outside", "link"));

    // Wine may refuse to remove a link whose target holds anything; only the target matters.
    testing_support::removeTree(tree);
    EXPECT_TRUE(exists(outside + "\\keep"));
    testing_support::removeLinuxLink(tree, "link");
}
