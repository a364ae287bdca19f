#include "UnInstall/Removal.h"
#include "UnInstall/StayedMessage.h"

#include <windows.h>

#include "UnInstall/tests/CodePageProcess.h"
#include "UnInstall/tests/TreeFiles.h"
#include "framework/UniqueHandle.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using testing_support::makeLinuxLink;
using testing_support::removeLinuxLink;
using uninstall_test::contents;
using uninstall_test::entriesBelow;
using uninstall_test::eraseTree;
using uninstall_test::longForm;
using uninstall_test::makeInstallation;
using uninstall_test::nameIsFree;
using uninstall_test::removeRootLink;
using uninstall_test::renameFromLinux;
using uninstall_test::snapshotDrives;
using uninstall_test::writeFile;

namespace {

const std::string kSystemRoot = "C:/Orbelune/";
const std::wstring kSystemRootLong = L"\\\\?\\C:\\Orbelune";

// Position of path in list, or -1.
long indexOf(const PathList& list, const std::wstring& path) {
    auto it = std::find(list.begin(), list.end(), path);
    return it == list.end() ? -1 : static_cast<long>(it - list.begin());
}

PathList sorted(PathList list) {
    std::sort(list.begin(), list.end());
    return list;
}

// The links of the list that are still there, by whatever they lead to.
PathList linksLeft(const PathList& links) {
    PathList left;
    for (const std::wstring& link : links)
        if (!nameIsFree(link)) left.push_back(link);
    return sorted(left);
}

class Listing : public ::testing::Test {
protected:
    void SetUp() override {
        eraseTree(m_root);
        fs::create_directories(m_root);
    }
    void TearDown() override { eraseTree(m_root); }

    const std::string m_root = "C:/listing/";
    const std::wstring m_long = L"\\\\?\\C:\\listing";
    TreeListing m_listing;
};

TEST_F(Listing, ListsDepthFirstWithEveryDirectoryAfterItsContents) {
    writeFile(m_root + "top.txt");
    writeFile(m_root + "a/one.txt");
    writeFile(m_root + "a/b/two.txt");
    writeFile(m_root + "a/b/c/three.txt");
    fs::create_directories(m_root + "empty");

    listTree(m_long, L"", m_listing);

    EXPECT_EQ(sorted(m_listing.files), (PathList{m_long + L"\\a\\b\\c\\three.txt", m_long + L"\\a\\b\\two.txt",
                                                 m_long + L"\\a\\one.txt", m_long + L"\\top.txt"}));
    ASSERT_EQ(m_listing.directories.size(), 4u);
    const long a = indexOf(m_listing.directories, m_long + L"\\a");
    const long b = indexOf(m_listing.directories, m_long + L"\\a\\b");
    const long c = indexOf(m_listing.directories, m_long + L"\\a\\b\\c");
    EXPECT_NE(indexOf(m_listing.directories, m_long + L"\\empty"), -1);
    EXPECT_NE(c, -1);
    EXPECT_LT(c, b);
    EXPECT_LT(b, a);
    EXPECT_TRUE(m_listing.kept.empty());
    EXPECT_TRUE(m_listing.unusable.empty());
}

TEST_F(Listing, ExclusionKeepsMatchingFileNamesAtEveryDepthButNoDirectory) {
    writeFile(m_root + "disk.dat");
    writeFile(m_root + "old/disk.dat.old");
    writeFile(m_root + "old/mydisk.dat");
    writeFile(m_root + "old/DISK.DAT.bak");
    writeFile(m_root + "disk.dat.d/inside.txt");

    listTree(m_long, L"disk.dat", m_listing);

    EXPECT_EQ(sorted(m_listing.files), (PathList{m_long + L"\\disk.dat.d\\inside.txt", m_long + L"\\old\\DISK.DAT.bak"}));
    EXPECT_EQ(sorted(m_listing.kept), (PathList{m_long + L"\\disk.dat", m_long + L"\\old\\disk.dat.old",
                                                m_long + L"\\old\\mydisk.dat"}));
    EXPECT_EQ(sorted(m_listing.directories), (PathList{m_long + L"\\disk.dat.d", m_long + L"\\old"}));
}

TEST_F(Listing, MissingAndUnsearchableDirectoriesContributeNoEntries) {
    listTree(L"\\\\?\\C:\\no such directory", L"", m_listing);
    listTree(L"", L"", m_listing);
    EXPECT_TRUE(m_listing.files.empty());
    EXPECT_TRUE(m_listing.directories.empty());

    writeFile(m_root + "locked/hidden.txt");
    writeFile(m_root + "open.txt");
    // A handle that shares nothing keeps every other opener, the search included, out.
    fw::UniqueHandle lock(CreateFileA((m_root + "locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(lock);
    listTree(m_long, L"", m_listing);
    lock.reset();

    EXPECT_EQ(m_listing.files, PathList{m_long + L"\\open.txt"});
    EXPECT_EQ(m_listing.directories, PathList{m_long + L"\\locked"});
}

TEST_F(Listing, ListsADirectoryLinkAsItselfAndNothingBehindIt) {
    writeFile("C:/outside/kept.txt");
    writeFile(m_root + "own.txt");
    ASSERT_TRUE(makeLinuxLink(m_root, "../outside", "link"));
    ASSERT_TRUE(makeLinuxLink("C:/", "listing/link", "rootlink"));

    listTree(m_long, L"", m_listing);
    TreeListing throughRootLink;
    listTree(L"\\\\?\\C:\\rootlink", L"", throughRootLink);
    removeLinuxLink(m_root, "link");
    removeLinuxLink("C:/", "rootlink");
    eraseTree("C:/outside");

    EXPECT_EQ(m_listing.files, PathList{m_long + L"\\own.txt"});
    EXPECT_EQ(m_listing.directories, PathList{m_long + L"\\link"});
    // A root that is a link lists nothing of what it points at.
    EXPECT_TRUE(throughRootLink.files.empty());
    EXPECT_TRUE(throughRootLink.directories.empty());
}

TEST(LongPaths, OnlyAbsoluteDrivePathsTakeTheLongForm) {
    EXPECT_EQ(longPathOf(L"C:/Orbelune/"), L"\\\\?\\C:\\Orbelune");
    EXPECT_EQ(longPathOf(L"e:\\Orbelune\\420\\"), L"\\\\?\\e:\\Orbelune\\420");
    for (const wchar_t* refused : {L"", L"Orbelune", L":/Orbelune/", L"\0:/Orbelune/", L"C:", L"C:/", L"C://",
                                   L"C:Orbelune", L"C:/a/../b", L"C:/a/./b", L"C:/a//b", L"\\\\server\\share\\x",
                                   L"\\\\?\\C:\\Orbelune", L"1:/Orbelune"})
        EXPECT_EQ(longPathOf(refused), L"") << refused;
    EXPECT_EQ(displayPathOf(L"\\\\?\\C:\\Orbelune\\a"), L"C:\\Orbelune\\a");
}

// The removals work on the real system-drive root of the test's prefix.
class Removal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(systemDriveRoot(), kSystemRootLong);
        eraseTree(kSystemRoot);
    }
    void TearDown() override {
        eraseTree(kSystemRoot);
        eraseTree("C:/elsewhere");
    }

    void mapDataDrive() { ASSERT_TRUE(m_dataDrive.map()) << m_dataDrive.error(); }

private:
    uninstall_test::TestDrive m_dataDrive{'E'};
};

TEST_F(Removal, FullRemovalRemovesTheSystemRootAndTheRecordedDataRoot) {
    mapDataDrive();
    makeInstallation(kSystemRoot, "E");
    makeInstallation("E:/Orbelune/", "");
    writeFile("E:/Other/keep.txt");

    EXPECT_EQ(removeAll(), PathList());

    EXPECT_FALSE(fs::exists(kSystemRoot));
    EXPECT_FALSE(fs::exists("E:/Orbelune/"));
    EXPECT_EQ(contents("E:/"), (std::vector<std::string>{"Other/", "Other/keep.txt"}));
}

TEST_F(Removal, FullRemovalWithoutRecordRemovesTheSystemRootOnly) {
    makeInstallation(kSystemRoot, "");
    fs::remove(kSystemRoot + "disk.dat");
    writeFile("C:/elsewhere/keep.txt");

    EXPECT_EQ(removeAll(), PathList());

    EXPECT_FALSE(fs::exists(kSystemRoot));
    EXPECT_EQ(contents("C:/elsewhere"), std::vector<std::string>{"keep.txt"});
}

TEST_F(Removal, FullRemovalWithTheSystemDriveAsDataDriveIsOnePass) {
    makeInstallation(kSystemRoot, " c\r\n");
    writeFile(kSystemRoot + "Download/held.pak");
    fw::UniqueHandle held(CreateFileA((kSystemRoot + "Download/held.pak").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    // What stays is named once.
    EXPECT_EQ(removeAll(), PathList{kSystemRootLong + L"\\Download\\held.pak"});
    held.reset();

    EXPECT_EQ(contents(kSystemRoot), (std::vector<std::string>{"Download/", "Download/held.pak"}));
}

TEST_F(Removal, RecordThatNamesNoDriveLetterAddsNoDataRoot) {
    for (const char* record : {"", "  \n", "C:", "..", "C:/elsewhere/x", "\xB3\xA1"}) {
        makeInstallation(kSystemRoot, record);
        writeFile("C:/elsewhere/keep.txt");
        EXPECT_EQ(dataRootFromRecord(kSystemRootLong), L"") << record;

        removeAll();

        EXPECT_FALSE(fs::exists(kSystemRoot)) << record;
        EXPECT_TRUE(fs::exists("C:/elsewhere/keep.txt")) << record;
    }
    makeInstallation(kSystemRoot, "\tE next");
    EXPECT_EQ(dataRootFromRecord(kSystemRootLong), L"\\\\?\\E:\\Orbelune");
}

TEST_F(Removal, ApplicationRemovalKeepsEveryDriveRecordAndTheWayToIt) {
    mapDataDrive();
    makeInstallation(kSystemRoot, "E");
    writeFile(kSystemRoot + "bak/disk.dat.old", "D");
    makeInstallation("E:/Orbelune/", "");
    const std::vector<std::string> dataRoot = contents("E:/Orbelune/");

    // What it keeps on purpose is not reported as left behind.
    EXPECT_EQ(removeApplicationOnly(), PathList());

    EXPECT_EQ(contents(kSystemRoot), (std::vector<std::string>{"bak/", "bak/disk.dat.old", "disk.dat"}));
    EXPECT_EQ(contents("E:/Orbelune/"), dataRoot);
}

TEST_F(Removal, ApplicationRemovalWithTheSystemDriveAsDataDriveEmptiesItButTheRecord) {
    makeInstallation(kSystemRoot, "C");

    removeApplicationOnly();

    EXPECT_EQ(contents(kSystemRoot), std::vector<std::string>{"disk.dat"});
}

TEST_F(Removal, ReadOnlyEntriesGoAndWhatIsInUseIsReportedWithoutItsDirectories) {
    makeInstallation(kSystemRoot, "");
    writeFile(kSystemRoot + "420/Engine/Binaries/locked.dll");
    writeFile(kSystemRoot + "Download/readonly.pak");
    writeFile(kSystemRoot + "Download/readonly/inner.pak");
    ASSERT_TRUE(SetFileAttributesA((kSystemRoot + "Download/readonly.pak").c_str(), FILE_ATTRIBUTE_READONLY));
    SetFileAttributesA((kSystemRoot + "Download/readonly/inner.pak").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((kSystemRoot + "Download/readonly").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    fw::UniqueHandle held(CreateFileA((kSystemRoot + "420/Engine/Binaries/locked.dll").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    const PathList stayed = removeAll();
    held.reset();

    EXPECT_EQ(stayed, PathList{kSystemRootLong + L"\\420\\Engine\\Binaries\\locked.dll"});
    EXPECT_EQ(contents(kSystemRoot), (std::vector<std::string>{"420/", "420/Engine/", "420/Engine/Binaries/",
                                                               "420/Engine/Binaries/locked.dll"}));
}

// Folders beside a root whose names differ from it in letter case or trailing dots alone are
// other folders, outside the trees.
const char* const kRootLookAlikes[] = {"orbelune", "Orbelune."};

// What stays below the roots is listed: each entry left is in stayed, or holds one that is.
void expectEverythingLeftListed(const PathList& stayed, const PathList& roots) {
    for (const std::wstring& root : roots) {
        for (const std::wstring& left : entriesBelow(root)) {
            EXPECT_TRUE(std::any_of(stayed.begin(), stayed.end(),
                                    [&](const std::wstring& path) {
                                        return path == left || path.compare(0, left.size() + 1, left + L'\\') == 0;
                                    }))
                << left << " stayed unlisted";
        }
    }
}

// A link in the tree where its target sits in the look-alike: the two paths differ in the
// root's name alone. Wine names a handle's file without trailing dots, so beside a root
// with a trailing-dot look-alike no entry can be told from its look-alike: all stay, listed.
TEST_F(Removal, LinksIntoLookAlikesOfTheRootsStayListedAndLeaveTheirTargets) {
    mapDataDrive();
    for (const std::string lookAlike : kRootLookAlikes) {
        SCOPED_TRACE(lookAlike);
        makeInstallation(kSystemRoot, "E");
        makeInstallation("E:/Orbelune/", "");
        std::vector<std::pair<std::string, std::string>> made;
        PathList links;
        for (const std::string drive : {"C:/", "E:/"}) {
            writeFile(drive + "lookalike/in/f.txt");
            fs::create_directories(drive + "lookalike/in/empty");
            ASSERT_TRUE(renameFromLinux(drive, "lookalike", lookAlike));
            fs::create_directories(drive + "Orbelune/in");
            for (const std::string name : {"f.txt", "empty"}) {
                ASSERT_TRUE(makeLinuxLink(drive + "Orbelune/in/", "../../" + lookAlike + "/in/" + name, name));
                made.emplace_back(drive + "Orbelune/in/", name);
                links.push_back(longForm(drive + "Orbelune/in/" + name));
            }
        }
        const std::vector<std::wstring> outside = snapshotDrives({L"C:\\Orbelune", L"E:\\Orbelune"});

        const PathList stayed = removeAll();

        if (lookAlike == "orbelune") {
            EXPECT_EQ(sorted(stayed), linksLeft(links));
        }
        expectEverythingLeftListed(stayed, {kSystemRootLong, L"\\\\?\\E:\\Orbelune"});
        for (const auto& [directory, name] : made) removeLinuxLink(directory, name);
        EXPECT_EQ(snapshotDrives({L"C:\\Orbelune", L"E:\\Orbelune"}), outside);
        for (const std::string drive : {"C:/", "E:/"}) {
            eraseTree(drive + "Orbelune");
            eraseTree(longForm(drive + lookAlike));
        }
    }
}

TEST_F(Removal, RootsThatAreLinksToTheirLookAlikesStayListedAndLeaveThem) {
    mapDataDrive();
    for (const std::string drive : {"C:/", "E:/"}) {
        for (const std::string lookAlike : kRootLookAlikes) {
            SCOPED_TRACE(drive + lookAlike);
            if (drive == "E:/") makeInstallation(kSystemRoot, "E");
            fs::create_directories(drive + "lookalike");
            ASSERT_TRUE(renameFromLinux(drive, "lookalike", lookAlike));
            ASSERT_TRUE(makeLinuxLink(drive, lookAlike, "Orbelune"));
            // Until the link is there, Wine finds "orbelune" by the root's name.
            ASSERT_TRUE(testing_support::eventually(
                [&] { return (GetFileAttributesA((drive + "Orbelune").c_str()) & 0x410) == 0x410; }, 10000));
            const std::vector<std::wstring> outside = snapshotDrives({L"C:\\Orbelune", L"E:\\Orbelune"});

            const PathList stayed = removeAll();

            EXPECT_EQ(stayed, linksLeft({longForm(drive + "Orbelune")}));
            EXPECT_TRUE(removeRootLink(drive));
            EXPECT_EQ(snapshotDrives({L"C:\\Orbelune", L"E:\\Orbelune"}), outside);
            if (drive == "E:/") {
                EXPECT_FALSE(fs::exists(kSystemRoot));
            }
            eraseTree(longForm(drive + lookAlike));
        }
    }
}

// Links between two folders of the tree: whichever folder goes first, the link in the other
// one then leads nowhere, and stays all the same.
TEST_F(Removal, LinksLeftLeadingNowhereAreListed) {
    makeInstallation(kSystemRoot, "");
    writeFile(kSystemRoot + "a/t.pak");
    writeFile(kSystemRoot + "b/t.pak");
    ASSERT_TRUE(makeLinuxLink(kSystemRoot + "a/", "../b/t.pak", "link.pak"));
    ASSERT_TRUE(makeLinuxLink(kSystemRoot + "b/", "../a/t.pak", "link.pak"));

    const PathList stayed = removeAll();

    EXPECT_EQ(sorted(stayed), linksLeft({kSystemRootLong + L"\\a\\link.pak", kSystemRootLong + L"\\b\\link.pak"}));
    // Leading somewhere again, the links can be removed from Linux.
    writeFile(kSystemRoot + "a/t.pak");
    writeFile(kSystemRoot + "b/t.pak");
    removeLinuxLink(kSystemRoot + "a/", "link.pak");
    removeLinuxLink(kSystemRoot + "b/", "link.pak");
}

TEST_F(Removal, AFailedSystemFolderQueryRemovesNothing) {
    EXPECT_EQ(systemDriveRoot(L"C:\\windows\\system32"), kSystemRootLong);
    for (const wchar_t* folder : {static_cast<const wchar_t*>(nullptr), L"", L"system32", L"\\windows\\system32",
                                  L"\\\\server\\share\\system32", L":\\windows"})
        EXPECT_EQ(systemDriveRoot(folder), L"") << (folder ? folder : L"(none)");

    // The current drive's root holds what a relative root would name.
    mapDataDrive();
    makeInstallation("E:/Orbelune/", "E");
    writeFile("E:/keep.txt");
    ASSERT_TRUE(SetCurrentDirectoryW(L"E:\\"));
    const std::vector<std::wstring> before = snapshotDrives({});
    for (const std::wstring& root : {std::wstring(), std::wstring(L"Orbelune"), std::wstring(L"\\Orbelune"),
                                     std::wstring(L":\\Orbelune"), std::wstring(L"E:Orbelune"),
                                     std::wstring(L"E:\\Orbelune"), std::wstring(L"\\\\?\\E:\\")}) {
        EXPECT_EQ(removeAll(root), PathList());
        EXPECT_EQ(removeApplicationOnly(root), PathList());
    }
    SetCurrentDirectoryW(L"C:\\halcyra");
    EXPECT_EQ(snapshotDrives({}), before);
}

TEST(StayedMessage, CountsEverythingAndListsTheFirstTenPaths) {
    EXPECT_EQ(stayedMessageText({L"\\\\?\\C:\\Orbelune\\420\\game.exe"}),
              L"有1个文件或文件夹未能删除（可能正在使用或没有权限），请手动删除！\n\nC:\\Orbelune\\420\\game.exe");

    PathList many;
    for (int i = 1; i <= 12; ++i) many.push_back(L"\\\\?\\E:\\Orbelune\\Download\\" + std::to_wstring(i) + L".pak");
    const std::wstring text = stayedMessageText(many);
    EXPECT_EQ(text.find(L"有12个文件或文件夹未能删除"), 0u);
    EXPECT_NE(text.find(L"\nE:\\Orbelune\\Download\\10.pak\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"11.pak"), std::wstring::npos);
    EXPECT_EQ(text.substr(text.find(L"\n……")), L"\n……以及其他2个");
}

// Names that a code page could turn into separators or dots, and names it cannot show at
// all, each a directory beside a victim outside the tree that a misread name would reach.
const std::vector<std::wstring> kLookAlikeNames = {
    L"..\u2216victim",        // set minus, best fit "\" in 1252
    L"\uFF0E\uFF0E\u2216victim",  // full-width full stops
    L"..\uFF3Cvictim",        // full-width reverse solidus, best fit "\\" in 1252
    L"..\u4E57victim",        // 81 5C in 936: a trail byte that is "\\" read byte by byte
    L"..\uFE68victim",        // small reverse solidus
    L"..\uFF0Fvictim",        // full-width solidus
    L"..\u2215victim",        // division slash
    L"..\u2044victim",        // fraction slash
    L"\u573A\u666F",          // no 1252 form at all
    L"trailing dot.",         // trimmed by every path but the long form
    L"trailing space ",
};

// True when a name on the path ends in a dot or a space.
bool hasTrimmableName(const std::wstring& path) {
    for (size_t end = path.find(L'\\'); end != std::wstring::npos; end = path.find(L'\\', end + 1))
        if (end > 0 && (path[end - 1] == L'.' || path[end - 1] == L' ')) return true;
    return path.back() == L'.' || path.back() == L' ';
}

// The full removal in this process's code page: every look-alike name inside the tree goes,
// the victims outside stay, and the drives outside the root are as they were. Wine names an
// open entry without the dots and spaces its name ends with, so such an entry cannot be told
// from a look-alike beside it: it stays, and is listed.
TEST(LookAlikeNames, AreRemovedAsStoredAndReachNothingOutside) {
    if (const char* expected = std::getenv("HALCYRA_CODE_PAGE")) {
        ASSERT_EQ(GetACP(), UINT(std::atoi(expected)));
    }
    eraseTree(kSystemRoot);
    writeFile("C:/victim/keep.txt");
    writeFile("C:/victim/sub/keep.pak");
    for (const std::wstring& name : kLookAlikeNames) {
        writeFile(kSystemRootLong + L"\\" + name + L"\\inner.pak");
        writeFile(kSystemRootLong + L"\\Download\\" + name);
    }
    const std::vector<std::wstring> outside = snapshotDrives({L"C:\\Orbelune"});

    const PathList stayed = removeAll();

    for (const std::wstring& path : stayed) EXPECT_TRUE(hasTrimmableName(path)) << path;
    expectEverythingLeftListed(stayed, {kSystemRootLong});
    EXPECT_EQ(snapshotDrives({L"C:\\Orbelune"}), outside);
    eraseTree("C:/victim");
}

TEST(LookAlikeNames, AreRemovedAsStoredUnderCodePage1252) {
    const fw::UniqueHandle child = uninstall_test::startInCodePage(
        1252, L"uninstall_removal_tests.exe", L"--gtest_filter=LookAlikeNames.AreRemovedAsStoredAndReachNothingOutside");
    ASSERT_TRUE(child);
    ASSERT_EQ(WaitForSingleObject(child.get(), 120000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(child.get(), &code);
    EXPECT_EQ(code, 0u) << "the test in code page 1252 failed; its output is above";
}

}  // namespace
