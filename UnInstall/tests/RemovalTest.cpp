#include "UnInstall/Removal.h"

#include <windows.h>

#include "UnInstall/tests/TreeFiles.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using uninstall_test::contents;
using uninstall_test::makeInstallation;
using uninstall_test::writeFile;
using testing_support::makeLinuxLink;
using testing_support::removeLinuxLink;

namespace {

const std::string kSystemRoot = "C:/Orbelune/";

// Position of path in list, or -1.
long indexOf(const PathList& list, const std::string& path) {
    auto it = std::find(list.begin(), list.end(), path);
    return it == list.end() ? -1 : static_cast<long>(it - list.begin());
}

class Listing : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    void TearDown() override { fs::remove_all(m_root); }

    const std::string m_root = "C:/listing/";
    PathList m_files;
    PathList m_directories;
};

TEST_F(Listing, ListsDepthFirstWithEveryDirectoryAfterItsContents) {
    writeFile(m_root + "top.txt");
    writeFile(m_root + "a/one.txt");
    writeFile(m_root + "a/b/two.txt");
    writeFile(m_root + "a/b/c/three.txt");
    fs::create_directories(m_root + "empty");

    listTree(m_root, "", m_files, m_directories);

    std::vector<std::string> files = m_files;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"C:/listing/a\\b\\c\\three.txt", "C:/listing/a\\b\\two.txt",
                                               "C:/listing/a\\one.txt", "C:/listing/top.txt"}));
    ASSERT_EQ(m_directories.size(), 4u);
    const long a = indexOf(m_directories, "C:/listing/a\\");
    const long b = indexOf(m_directories, "C:/listing/a\\b\\");
    const long c = indexOf(m_directories, "C:/listing/a\\b\\c\\");
    EXPECT_NE(indexOf(m_directories, "C:/listing/empty\\"), -1);
    EXPECT_NE(c, -1);
    EXPECT_LT(c, b);
    EXPECT_LT(b, a);
}

TEST_F(Listing, AppendsToWhatTheListsHoldAndAcceptsEitherSeparator) {
    writeFile(m_root + "sub/file.txt");
    m_files.push_back("earlier");

    listTree("C:\\listing\\", "", m_files, m_directories);
    listTree("C:\\listing", "", m_files, m_directories);

    EXPECT_EQ(m_files, (PathList{"earlier", "C:\\listing\\sub\\file.txt", "C:\\listing\\sub\\file.txt"}));
    EXPECT_EQ(m_directories, (PathList{"C:\\listing\\sub\\", "C:\\listing\\sub\\"}));
}

TEST_F(Listing, ExclusionSkipsMatchingFileNamesAtEveryDepthButNoDirectory) {
    writeFile(m_root + "disk.dat");
    writeFile(m_root + "old/disk.dat.old");
    writeFile(m_root + "old/mydisk.dat");
    writeFile(m_root + "old/DISK.DAT.bak");
    writeFile(m_root + "disk.dat.d/inside.txt");

    listTree(m_root, "disk.dat", m_files, m_directories);

    std::vector<std::string> files = m_files;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"C:/listing/disk.dat.d\\inside.txt", "C:/listing/old\\DISK.DAT.bak"}));
    std::sort(m_directories.begin(), m_directories.end());
    EXPECT_EQ(m_directories, (PathList{"C:/listing/disk.dat.d\\", "C:/listing/old\\"}));
}

TEST_F(Listing, MissingEmptyAndUnsearchableDirectoriesContributeNoEntries) {
    listTree("C:/no such directory/", "", m_files, m_directories);
    listTree("", "", m_files, m_directories);
    EXPECT_TRUE(m_files.empty());
    EXPECT_TRUE(m_directories.empty());

    writeFile(m_root + "locked/hidden.txt");
    writeFile(m_root + "open.txt");
    // A handle that shares nothing keeps every other opener, the search included, out.
    HANDLE lock = CreateFileA((m_root + "locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    listTree(m_root, "", m_files, m_directories);
    CloseHandle(lock);

    EXPECT_EQ(m_files, PathList{"C:/listing/open.txt"});
    EXPECT_EQ(m_directories, PathList{"C:/listing/locked\\"});
}

TEST_F(Listing, ListsADirectoryLinkAsItselfAndNothingBehindIt) {
    writeFile("C:/outside/kept.txt");
    writeFile(m_root + "own.txt");
    ASSERT_TRUE(makeLinuxLink(m_root, "../outside", "link"));

    listTree(m_root, "", m_files, m_directories);
    removeLinuxLink(m_root, "link");

    EXPECT_EQ(m_files, PathList{"C:/listing/own.txt"});
    EXPECT_EQ(m_directories, PathList{"C:/listing/link"});
    fs::remove_all("C:/outside");
}

// The removals work on the real system-drive root of the test's prefix.
class Removal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(systemDriveRoot(), kSystemRoot);
        fs::remove_all(kSystemRoot);
    }
    void TearDown() override {
        fs::remove_all(kSystemRoot);
        fs::remove_all("C:/elsewhere");
    }
};

TEST_F(Removal, FullRemovalRemovesTheSystemRootAndTheRecordedDataRoot) {
    testing_support::DriveFixture drives;
    ASSERT_TRUE(drives.map('E')) << drives.error();
    makeInstallation(kSystemRoot, "E");
    makeInstallation("E:/Orbelune/", "");
    writeFile("E:/Other/keep.txt");

    removeAll();

    EXPECT_FALSE(fs::exists(kSystemRoot));
    EXPECT_FALSE(fs::exists("E:/Orbelune/"));
    EXPECT_EQ(contents("E:/"), (std::vector<std::string>{"Other/", "Other/keep.txt"}));
}

TEST_F(Removal, FullRemovalWithoutRecordRemovesTheSystemRootOnly) {
    makeInstallation(kSystemRoot, "");
    fs::remove(kSystemRoot + "disk.dat");
    writeFile("C:/elsewhere/keep.txt");

    removeAll();

    EXPECT_FALSE(fs::exists(kSystemRoot));
    EXPECT_EQ(contents("C:/elsewhere"), std::vector<std::string>{"keep.txt"});
}

TEST_F(Removal, FullRemovalWithTheSystemDriveAsDataDriveIsOnePass) {
    makeInstallation(kSystemRoot, " c\r\n");
    // Names in the system's ANSI code page survive the round trip through the A functions.
    writeFile(fs::path(L"C:/Orbelune/Download/\u573a\u666f.pak"));

    removeAll();

    EXPECT_FALSE(fs::exists(kSystemRoot));
}

TEST_F(Removal, RecordThatNamesNoDriveLetterAddsNoDataRoot) {
    for (const char* record : {"", "  \n", "C:", "..", "C:/elsewhere/x"}) {
        makeInstallation(kSystemRoot, record);
        writeFile("C:/elsewhere/keep.txt");
        EXPECT_EQ(dataRootFromRecord(kSystemRoot), "") << record;

        removeAll();

        EXPECT_FALSE(fs::exists(kSystemRoot)) << record;
        EXPECT_TRUE(fs::exists("C:/elsewhere/keep.txt")) << record;
    }
    makeInstallation(kSystemRoot, "\tE next");
    EXPECT_EQ(dataRootFromRecord(kSystemRoot), "E:/Orbelune/");
}

TEST_F(Removal, ApplicationRemovalKeepsEveryDriveRecordAndTheWayToIt) {
    testing_support::DriveFixture drives;
    ASSERT_TRUE(drives.map('E')) << drives.error();
    makeInstallation(kSystemRoot, "E");
    writeFile(kSystemRoot + "bak/disk.dat.old", "D");
    makeInstallation("E:/Orbelune/", "");
    const std::vector<std::string> dataRoot = contents("E:/Orbelune/");

    removeApplicationOnly();

    EXPECT_EQ(contents(kSystemRoot), (std::vector<std::string>{"bak/", "bak/disk.dat.old", "disk.dat"}));
    EXPECT_EQ(contents("E:/Orbelune/"), dataRoot);
}

TEST_F(Removal, ApplicationRemovalWithTheSystemDriveAsDataDriveEmptiesItButTheRecord) {
    makeInstallation(kSystemRoot, "C");

    removeApplicationOnly();

    EXPECT_EQ(contents(kSystemRoot), std::vector<std::string>{"disk.dat"});
}

TEST_F(Removal, FilesThatCannotBeDeletedKeepTheirDirectoryChainAndNothingElse) {
    makeInstallation(kSystemRoot, "");
    writeFile(kSystemRoot + "420/Engine/Binaries/locked.dll");
    writeFile(kSystemRoot + "Download/readonly.pak");
    SetFileAttributesA((kSystemRoot + "Download/readonly.pak").c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE held = CreateFileA((kSystemRoot + "420/Engine/Binaries/locked.dll").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    removeAll();
    CloseHandle(held);

    EXPECT_EQ(contents(kSystemRoot),
              (std::vector<std::string>{"420/", "420/Engine/", "420/Engine/Binaries/",
                                        "420/Engine/Binaries/locked.dll", "Download/", "Download/readonly.pak"}));
    SetFileAttributesA((kSystemRoot + "Download/readonly.pak").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Removal, DirectoryLinkInsideTheTreeLeavesItsTargetAlone) {
    makeInstallation(kSystemRoot, "C");
    writeFile("C:/elsewhere/keep.txt");
    writeFile("C:/elsewhere/deeper/keep.pak");
    ASSERT_TRUE(makeLinuxLink(kSystemRoot + "Download", "../../elsewhere", "linked"));

    removeAll();

    EXPECT_EQ(contents("C:/elsewhere"), (std::vector<std::string>{"deeper/", "deeper/keep.pak", "keep.txt"}));
    // Windows removes the link itself; Wine refuses to remove a link to a directory that
    // holds anything, so there the link and the directory holding it may stay.
    for (const std::string& left : contents(kSystemRoot))
        EXPECT_TRUE(left == "Download/" || left == "Download/linked") << left;
    removeLinuxLink(kSystemRoot + "Download", "linked");
}

}  // namespace
