#include "Halcyra/update/FileReplace.h"
#include "Halcyra/update/Installation.h"

#include "Halcyra/common/Helpers.h"
#include "Halcyra/update/tests/TestFiles.h"
#include "framework/MessageBox.h"
#include "framework/UniqueHandle.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using testing_support::TempDir;
namespace files = test_files;

std::wstring replaceFailedText(const std::string& target, const std::string& source)
{
    return L"错误:无法更新文件[" + toWide(target) +
           L"],请确认文件是否被锁定(请关闭程序后手动拷贝过去)," + toWide(source);
}

class FileReplaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fw::setMessageBoxRecorder([this](const fw::MessageBoxCall& call) {
            messages.push_back(call);
            return IDOK;
        });
    }
    void TearDown() override { fw::setMessageBoxRecorder(nullptr); }

    // The temporary directory with "/" separators and a trailing "/", as roots are given.
    std::string root() const
    {
        std::string path = dir.path() + "/";
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }

    TempDir dir;
    std::vector<fw::MessageBoxCall> messages;
};

using ListFilesRecursive = FileReplaceTest;

TEST_F(ListFilesRecursive, PathFormsFollowTheDirectoryTextAndSubtreesStayTogether)
{
    const std::string base = root() + "ext";
    files::write(base + "/a.txt", "a");
    files::write(base + "/sub/b.txt", "b");
    files::write(base + "/sub/deeper/c.txt", "c");
    files::write(base + "/z.txt", "z");
    CreateDirectoryA((base + "/empty").c_str(), nullptr);

    std::vector<std::string> slash{"kept"};
    listFilesRecursive(base + "/", slash);
    ASSERT_EQ(slash.size(), 5u);
    EXPECT_EQ(slash[0], "kept");
    EXPECT_EQ(std::set<std::string>(slash.begin() + 1, slash.end()),
              (std::set<std::string>{base + "/\\a.txt", base + "/sub\\b.txt",
                                     base + "/sub\\deeper\\c.txt", base + "/\\z.txt"}));
    // Depth first: the two files below sub/ are listed next to each other.
    const auto b = std::find(slash.begin(), slash.end(), base + "/sub\\b.txt");
    const auto c = std::find(slash.begin(), slash.end(), base + "/sub\\deeper\\c.txt");
    EXPECT_EQ(std::abs(b - c), 1);

    std::string backslashBase = base;
    std::replace(backslashBase.begin(), backslashBase.end(), '/', '\\');
    std::vector<std::string> backslash;
    listFilesRecursive(backslashBase + "\\", backslash);
    EXPECT_EQ(std::set<std::string>(backslash.begin(), backslash.end()),
              (std::set<std::string>{backslashBase + "\\a.txt", backslashBase + "\\sub\\b.txt",
                                     backslashBase + "\\sub\\deeper\\c.txt",
                                     backslashBase + "\\z.txt"}));

    std::vector<std::string> bare;
    listFilesRecursive(base, bare);
    EXPECT_EQ(std::set<std::string>(bare.begin(), bare.end()),
              (std::set<std::string>{base + "\\a.txt", base + "\\sub\\b.txt",
                                     base + "\\sub\\deeper\\c.txt", base + "\\z.txt"}));
}

TEST_F(ListFilesRecursive, MissingOrEmptyDirectoryAddsNothing)
{
    std::vector<std::string> list{"kept"};
    listFilesRecursive(root() + "nowhere/", list);
    CreateDirectoryA((root() + "empty").c_str(), nullptr);
    listFilesRecursive(root() + "empty/", list);
    EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

using ReplaceWithBackup = FileReplaceTest;

TEST_F(ReplaceWithBackup, CopiesEveryByteIntoNewDirectories)
{
    // Line ends, NUL and ^Z bytes survive only a binary copy; the size spans several blocks.
    const std::string content = "a\r\nb\nc\x1a" + std::string(1, '\0') +
                                files::pattern(3 * 1024 * 1024 + 17);
    const std::string source = root() + "src/models\\a.pak";
    files::write(source, content);

    EXPECT_TRUE(replaceWithBackup(root() + "dst/", source, "420/models\\a.pak"));
    EXPECT_EQ(files::read(root() + "dst/420/models/a.pak"), content);
    EXPECT_EQ(files::read(source), content);
    EXPECT_FALSE(files::exists(root() + "dst/bak"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ReplaceWithBackup, ExistingTargetReplacesTheOlderBackup)
{
    files::write(root() + "new/x.bin", "new");
    files::write(root() + "dst/sub/x.bin", "current");
    files::write(root() + "dst/bak/sub/x.bin", "older");

    EXPECT_TRUE(replaceWithBackup(root() + "dst/", root() + "new/x.bin", "sub/x.bin"));
    EXPECT_EQ(files::read(root() + "dst/sub/x.bin"), "new");
    EXPECT_EQ(files::read(root() + "dst/bak/sub/x.bin"), "current");
}

TEST_F(ReplaceWithBackup, MissingSourceStillMovesTheTargetToBackup)
{
    files::write(root() + "dst/x.bin", "current");

    EXPECT_TRUE(replaceWithBackup(root() + "dst/", root() + "gone.bin", "x.bin"));
    EXPECT_FALSE(files::exists(root() + "dst/x.bin"));
    EXPECT_EQ(files::read(root() + "dst/bak/x.bin"), "current");
    EXPECT_TRUE(messages.empty());
}

TEST_F(ReplaceWithBackup, FileThatIsItsOwnSourceStaysInPlace)
{
    files::write(root() + "dst/420/x.bin", "data");
    std::string source = root() + "dst/420\\x.bin";
    std::replace(source.begin(), source.end(), '/', '\\');

    Replacement done = Replacement::Added;
    EXPECT_TRUE(replaceWithBackup(root() + "dst/", source, "420/x.bin", &done));
    EXPECT_EQ(files::read(root() + "dst/420/x.bin"), "data");
    EXPECT_FALSE(files::exists(root() + "dst/bak"));
    EXPECT_EQ(done, Replacement::None);

    // The same file under another spelling of its path.
    done = Replacement::Added;
    EXPECT_TRUE(replaceWithBackup(root() + "dst/", root() + "DST/./420//X.BIN", "420/x.bin", &done));
    EXPECT_EQ(files::read(root() + "dst/420/x.bin"), "data");
    EXPECT_FALSE(files::exists(root() + "dst/bak"));
    EXPECT_EQ(done, Replacement::None);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ReplaceWithBackup, TargetThatCannotBeCreatedIsReported)
{
    files::write(root() + "new.bin", "new");
    files::write(root() + "dst/blocker", "a file where a directory is needed");

    EXPECT_FALSE(replaceWithBackup(root() + "dst/", root() + "new.bin", "blocker/x.bin"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, replaceFailedText(root() + "dst/blocker/x.bin", root() + "new.bin"));
    EXPECT_EQ(messages[0].caption, L"版本更新");
    EXPECT_EQ(messages[0].type, static_cast<UINT>(MB_OK | MB_SETFOREGROUND | MB_TOPMOST));
    EXPECT_EQ(files::read(root() + "dst/blocker"), "a file where a directory is needed");
}

TEST_F(ReplaceWithBackup, KeptFailureIsShownOnlyWhenAsked)
{
    files::write(root() + "new.bin", "new");
    files::write(root() + "dst/blocker", "a file where a directory is needed");

    FileReplacer replacer(FileReplacer::Failures::Kept);
    replacer.showFailure();  // nothing has failed yet
    EXPECT_FALSE(replacer.replaceWithBackup(root() + "dst/", root() + "new.bin", "blocker/x.bin"));
    EXPECT_TRUE(messages.empty());
    replacer.showFailure();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, replaceFailedText(root() + "dst/blocker/x.bin", root() + "new.bin"));
    EXPECT_EQ(messages[0].caption, L"版本更新");
}

TEST_F(ReplaceWithBackup, LockedTargetIsReportedAndLeftIntact)
{
    files::write(root() + "new.bin", "new");
    const std::string target = root() + "dst/x.bin";
    files::write(target, "in use");
    HANDLE lock = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    const bool replaced = replaceWithBackup(root() + "dst/", root() + "new.bin", "x.bin");
    CloseHandle(lock);

    EXPECT_FALSE(replaced);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(files::read(target), "in use");
}

TEST_F(ReplaceWithBackup, FullDriveRemovesThePartialCopyAndRestoresTheTarget)
{
    testing_support::DriveFixture drives;
    MAP_TMPFS_OR_SKIP(drives, 'E', 1 << 20, testing_support::DriveType::hd);
    files::write("E:/420/x.bin", "current");
    const std::string source = root() + "big.bin";
    files::write(source, files::pattern(2 << 20));

    EXPECT_FALSE(replaceWithBackup("E:/", source, "420/x.bin"));
    EXPECT_EQ(files::read("E:/420/x.bin"), "current");
    EXPECT_FALSE(files::exists("E:/bak/420/x.bin"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, replaceFailedText("E:/420/x.bin", source));
}

}  // namespace

namespace {

using InstallationUndo = FileReplaceTest;

TEST_F(InstallationUndo, BackupThatCannotGoBackIsKeptAndReported)
{
    files::write(root() + "src/a.dat", "new a");
    files::write(root() + "src/b.dat", "new b");
    files::write(root() + "a.dat", "old a");
    files::write(root() + "b.dat", "old b");
    Installation installation;
    ASSERT_TRUE(installation.install(root(), root() + "src/a.dat", "a.dat"));
    ASSERT_TRUE(installation.install(root(), root() + "src/b.dat", "b.dat"));

    // Another program holds the new a.dat: the old one cannot take its place.
    const fw::UniqueHandle locked(CreateFileA((root() + "a.dat").c_str(), GENERIC_READ, 0,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked);
    installation.undo();

    EXPECT_EQ(files::read(root() + "b.dat"), "old b");
    EXPECT_EQ(files::read(root() + "bak/a.dat"), "old a");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              L"版本更新未能完全撤销，部分原有文件仍保存在[" + toWide(root()) +
                  L"bak/]目录中，请关闭程序后手动拷贝回原处！");
    EXPECT_EQ(messages[0].caption, L"版本更新");
}

}  // namespace
