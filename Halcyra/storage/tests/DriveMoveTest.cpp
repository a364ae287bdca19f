#include "Halcyra/storage/DriveMove.h"

#include "Halcyra/storage/DataDrive.h"
#include "Halcyra/update/tests/TestFiles.h"
#include "framework/MessageBox.h"
#include "framework/UniqueHandle.h"
#include "tests/support/DispatchedAction.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using testing_support::DriveFixture;
using testing_support::DriveType;
namespace files = test_files;

const char kSystemRoot[] = "C:/Orbelune/";
const char kRecord[] = "C:/Orbelune/disk.dat";
const std::string kSource = "D:/Orbelune/";
const std::string kTarget = "E:/Orbelune/";
const std::uint64_t kDriveBytes = 16 << 20;

// Every move starts with data drive D (recorded), an empty target drive E and C: as the
// system drive. D and E are file systems of their own where the machine can mount them.
class DriveMoveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing_support::removeTree(kSystemRoot);
        ASSERT_TRUE(CreateDirectoryA(kSystemRoot, nullptr));
        files::write(kRecord, "D");
        for (char letter : {'D', 'E'})
            ASSERT_TRUE(drives.mapTmpfs(letter, kDriveBytes) ||
                        (drives.mountUnavailable() && drives.map(letter)))
                << drives.error();
        dataDrive.init();
        ASSERT_EQ(dataDrive.drive(), "D");
        fw::setMessageBoxRecorder([this](const fw::MessageBoxCall& call) {
            messages.push_back(call);
            return IDOK;
        });
    }
    void TearDown() override
    {
        move.waitForEnd();
        fw::setMessageBoxRecorder(nullptr);
        testing_support::removeTree(kSystemRoot);
    }

    // Polls as a page does until the move has ended; the distinct values seen, in order.
    std::vector<float> pollToEnd()
    {
        std::vector<float> seen;
        for (int polls = 0; polls < 60000; ++polls) {
            const float progress = move.progress();
            if (seen.empty() || seen.back() != progress)
                seen.push_back(progress);
            if (progress == 1.0f || progress == -1.0f)
                break;
            Sleep(1);
        }
        move.waitForEnd();
        return seen;
    }

    DriveFixture drives;
    DataDrive dataDrive;
    DriveMove move{dataDrive};
    std::vector<fw::MessageBoxCall> messages;  // written by the worker, read after it ended
};

TEST_F(DriveMoveTest, NothingToMoveSwitchesTheDriveAtOnce)
{
    files::write(kSource + "Download/keep.bin", "stays");

    move.changeDisk("E");
    EXPECT_EQ(pollToEnd().back(), 1.0f);
    EXPECT_EQ(dataDrive.drive(), "E");
    EXPECT_EQ(files::read(kRecord), "E");
    EXPECT_EQ(files::read(kSource + "Download/keep.bin"), "stays");
    EXPECT_TRUE(messages.empty());
}

TEST_F(DriveMoveTest, TargetThatIsNotAFixedDrivePresentNowIsRefused)
{
    files::write(kSource + "420/a.pak", "a");
    ASSERT_TRUE(drives.map('F', DriveType::floppy)) << drives.error();
    ASSERT_TRUE(drives.map('G', DriveType::cdrom)) << drives.error();
    ASSERT_TRUE(drives.map('H', DriveType::network)) << drives.error();

    // Q has no drive at all; with nothing to copy it used to become the data drive.
    for (const char* drive : {"Q", "F", "G", "H"}) {
        move.changeDisk(drive);
        EXPECT_EQ(pollToEnd().back(), -1.0f) << drive;
        EXPECT_EQ(dataDrive.drive(), "D") << drive;
        EXPECT_EQ(files::read(kRecord), "D") << drive;
        EXPECT_FALSE(files::exists(std::string(drive) + ":/Orbelune")) << drive;
    }
    EXPECT_EQ(files::read(kSource + "420/a.pak"), "a");
    EXPECT_TRUE(messages.empty());
}

TEST_F(DriveMoveTest, RecordThatCannotBeRewrittenKeepsTheEnginesOnTheOldDrive)
{
    const char* const names[] = {"420/a.pak", "424/b.pak", "426/deep/c.pak"};
    for (const char* name : names)
        files::write(kSource + name, name);
    // Read-only, and held open by another program: Wine lets this test's user (root) write
    // to a read-only file, but not to one that another handle shares for reading only.
    ASSERT_TRUE(SetFileAttributesA(kRecord, FILE_ATTRIBUTE_READONLY));
    fw::UniqueHandle reader(CreateFileA(kRecord, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);

    move.changeDisk("E");
    const float last = pollToEnd().back();
    reader.reset();
    SetFileAttributesA(kRecord, FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(last, -1.0f);
    for (const char* name : names)
        EXPECT_EQ(files::read(kSource + name), name) << name;
    EXPECT_EQ(dataDrive.drive(), "D");
    EXPECT_EQ(files::read(kRecord), "D");
    // The next start looks where the record points and finds every engine file there.
    DataDrive nextStart;
    nextStart.init();
    EXPECT_EQ(nextStart.dataRoot(), kSource);
}

TEST_F(DriveMoveTest, MovesTheEngineDirectoriesFileByFile)
{
    files::write(kSource + "420/a.pak", "a");
    files::write(kSource + "420/models/b.pak", "b");
    files::write(kSource + "424/c.pak", "c");
    files::write(kSource + "426/deep/er/d.pak", "d");
    files::write(kSource + "421/other.bin", "not an engine directory");
    files::write(kSource + "Download/keep.bin", "stays");
    files::write(kTarget + "420/a.pak", "earlier");
    files::write(kTarget + "bak/420/a.pak", "older");

    move.changeDisk("e");
    const std::vector<float> seen = pollToEnd();

    for (float progress : seen)
        EXPECT_TRUE(progress == 0.0f || progress == 0.25f || progress == 0.5f ||
                    progress == 0.75f || progress == 1.0f)
            << progress;
    EXPECT_EQ(seen.back(), 1.0f);
    EXPECT_EQ(files::read(kTarget + "420/a.pak"), "a");
    EXPECT_EQ(files::read(kTarget + "420/models/b.pak"), "b");
    EXPECT_EQ(files::read(kTarget + "424/c.pak"), "c");
    EXPECT_EQ(files::read(kTarget + "426/deep/er/d.pak"), "d");
    EXPECT_EQ(files::read(kTarget + "bak/420/a.pak"), "earlier");
    for (const char* moved : {"420/a.pak", "420/models/b.pak", "424/c.pak", "426/deep/er/d.pak"})
        EXPECT_FALSE(files::exists(kSource + moved)) << moved;
    // The emptied directories and everything outside them stay on the old drive.
    EXPECT_TRUE(files::exists(kSource + "426/deep/er"));
    EXPECT_EQ(files::read(kSource + "421/other.bin"), "not an engine directory");
    EXPECT_EQ(files::read(kSource + "Download/keep.bin"), "stays");
    EXPECT_FALSE(files::exists(kTarget + "Download"));
    EXPECT_EQ(dataDrive.drive(), "E");
    EXPECT_EQ(files::read(kRecord), "E");
    EXPECT_TRUE(messages.empty());
}

TEST_F(DriveMoveTest, LetterNamingTheDataDriveItselfKeepsEveryFile)
{
    // F: is D: under a second letter: every file already is its own target.
    ASSERT_TRUE(drives.mapSameAs('F', 'D')) << drives.error();
    files::write(kSource + "420/a.pak", "a");
    files::write(kSource + "426/deep/b.pak", "b");

    move.changeDisk("F");
    EXPECT_EQ(pollToEnd().back(), 1.0f);

    EXPECT_EQ(files::read(kSource + "420/a.pak"), "a");
    EXPECT_EQ(files::read(kSource + "426/deep/b.pak"), "b");
    EXPECT_FALSE(files::exists(kSource + "bak"));
    EXPECT_EQ(dataDrive.drive(), "F");
    EXPECT_EQ(files::read(kRecord), "F");
    EXPECT_TRUE(messages.empty());
}

TEST_F(DriveMoveTest, SourceThatCannotBeDeletedStaysAndTheMoveStillCompletes)
{
    files::write(kSource + "420/a.pak", "a");
    files::write(kSource + "420/held.pak", "held");
    // Readable for the copy, but not deletable while this handle is open.
    fw::UniqueHandle held(CreateFileA((kSource + "420/held.pak").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    move.changeDisk("E");
    EXPECT_EQ(pollToEnd().back(), 1.0f);

    EXPECT_EQ(files::read(kTarget + "420/held.pak"), "held");
    EXPECT_EQ(files::read(kTarget + "420/a.pak"), "a");
    EXPECT_FALSE(files::exists(kSource + "420/a.pak"));
    EXPECT_TRUE(files::exists(kSource + "420/held.pak"));
    EXPECT_EQ(dataDrive.drive(), "E");
    EXPECT_EQ(files::read(kRecord), "E");
    EXPECT_TRUE(messages.empty());
}

TEST_F(DriveMoveTest, FailedCopyDeletesNothingAndANewMoveIsAcceptedAfterAPoll)
{
    // Listed 420/ first, so the first file of 424/, the third of five, cannot be written.
    const char* const names[] = {"420/a.pak", "420/b.pak", "424/c.pak", "424/d.pak", "424/e.pak"};
    for (const char* name : names)
        files::write(kSource + name, name);
    files::write(kTarget + "424", "a file where a directory is needed");

    move.changeDisk("E");
    EXPECT_EQ(pollToEnd().back(), -1.0f);

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.rfind(L"错误:无法更新文件[E:/Orbelune/424/", 0), 0u);
    EXPECT_EQ(messages[0].caption, L"版本更新");
    EXPECT_EQ(files::read(kTarget + "420/a.pak"), "420/a.pak");
    EXPECT_EQ(files::read(kTarget + "420/b.pak"), "420/b.pak");
    for (const char* name : names)
        EXPECT_EQ(files::read(kSource + name), name);
    EXPECT_EQ(dataDrive.drive(), "D");
    EXPECT_EQ(files::read(kRecord), "D");

    DeleteFileA((kTarget + "424").c_str());
    move.changeDisk("E");
    EXPECT_EQ(pollToEnd().back(), 1.0f);
    for (const char* name : names)
        EXPECT_EQ(files::read(kTarget + name), name);
    EXPECT_EQ(dataDrive.drive(), "E");
}

TEST_F(DriveMoveTest, TargetDriveThatFillsUpFailsWithoutLoss)
{
    MAP_TMPFS_OR_SKIP(drives, 'E', 1 << 20, DriveType::hd);
    const std::string content[] = {files::pattern(400 * 1024, 1), files::pattern(400 * 1024, 2),
                                   files::pattern(400 * 1024, 3)};
    for (int i = 0; i < 3; ++i)
        files::write(kSource + "420/f" + std::to_string(i), content[i]);

    move.changeDisk("E");
    EXPECT_EQ(pollToEnd().back(), -1.0f);

    EXPECT_EQ(messages.size(), 1u);
    int onTarget = 0;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "420/f" + std::to_string(i);
        EXPECT_EQ(files::read(kSource + name), content[i]) << name;
        if (files::exists(kTarget + name)) {
            ++onTarget;
            EXPECT_EQ(files::read(kTarget + name), content[i]) << "no partial copy of " << name;
        }
    }
    EXPECT_LT(onTarget, 3);
    EXPECT_EQ(dataDrive.drive(), "D");
    EXPECT_EQ(files::read(kRecord), "D");
}

// A move whose first copy fails holds its worker in the failure message until released (or
// for 20 s). The worker shows the message on its own thread, so the test can tell when it
// has ended without polling the move.
class HeldDriveMoveTest : public DriveMoveTest {
protected:
    void SetUp() override
    {
        DriveMoveTest::SetUp();
        fw::setMessageBoxRecorder([this](const fw::MessageBoxCall&) {
            worker.reset(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
            SetEvent(asked.get());
            WaitForSingleObject(release.get(), 20000);
            return IDOK;
        });
        files::write(kSource + "420/a.pak", "a");
        files::write(kTarget + "420", "a file where a directory is needed");
        ASSERT_TRUE(drives.map('F')) << drives.error();
        move.changeDisk("E");
        ASSERT_EQ(WaitForSingleObject(asked.get(), 30000), WAIT_OBJECT_0);
        ASSERT_TRUE(worker);
    }
    void TearDown() override
    {
        SetEvent(release.get());
        DriveMoveTest::TearDown();
    }

    bool workerEnded(DWORD milliseconds) const
    {
        return WaitForSingleObject(worker.get(), milliseconds) == WAIT_OBJECT_0;
    }

    fw::UniqueHandle asked{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    fw::UniqueHandle release{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    fw::UniqueHandle worker;  // the thread of the held worker
};

TEST_F(HeldDriveMoveTest, RunningOrEndedUnpolledMoveRefusesAnother)
{
    move.changeDisk("F");
    SetEvent(release.get());
    ASSERT_TRUE(workerEnded(10000));  // the worker has ended; no poll has seen it yet
    move.changeDisk("F");

    EXPECT_EQ(pollToEnd().back(), -1.0f);
    EXPECT_FALSE(files::exists("F:/Orbelune"));
    EXPECT_EQ(dataDrive.drive(), "D");

    move.changeDisk("F");
    EXPECT_EQ(pollToEnd().back(), 1.0f);
    EXPECT_EQ(files::read("F:/Orbelune/420/a.pak"), "a");
    EXPECT_EQ(dataDrive.drive(), "F");
}

TEST_F(HeldDriveMoveTest, StoppingWaitsForTheMoveToEnd)
{
    // The worker is released from inside the wait, by a message that the wait dispatches.
    bool heldWhileWaiting = false;
    testing_support::DispatchedAction releaseWhileWaiting([&] {
        heldWhileWaiting = !workerEnded(0);
        SetEvent(release.get());
    });
    ASSERT_TRUE(releaseWhileWaiting.post());
    move.waitForEnd();
    EXPECT_TRUE(releaseWhileWaiting.ran()) << "the wait dispatched no message";
    EXPECT_TRUE(heldWhileWaiting);
    EXPECT_TRUE(workerEnded(0)) << "the wait returned before the move ended";
    EXPECT_EQ(move.progress(), -1.0f);
    // The wait has released the ended worker: a new move is accepted without a poll.
    move.changeDisk("F");
    EXPECT_EQ(pollToEnd().back(), 1.0f);
}

TEST_F(HeldDriveMoveTest, PollWhileStoppingLeavesTheWaitOnTheWorker)
{
    // A page timer polls the move while the stop waits for it; the worker has ended by
    // then. A poll that closed the worker's handle under the wait would leave it waiting
    // on whatever takes that handle's number next: here one of 32 timers due in 10 s.
    std::vector<fw::UniqueHandle> strangers;
    testing_support::DispatchedAction pollWhileWaiting([&] {
        SetEvent(release.get());
        ASSERT_TRUE(workerEnded(10000));
        EXPECT_EQ(move.progress(), -1.0f);
        LARGE_INTEGER due;
        due.QuadPart = -100000000LL;  // 10 s
        for (int i = 0; i < 32; ++i) {
            strangers.emplace_back(CreateWaitableTimerA(nullptr, TRUE, nullptr));
            SetWaitableTimer(strangers.back().get(), &due, 0, nullptr, nullptr, FALSE);
        }
    });
    ASSERT_TRUE(pollWhileWaiting.post());
    const DWORD before = GetTickCount();
    move.waitForEnd();
    EXPECT_TRUE(pollWhileWaiting.ran());
    EXPECT_LT(GetTickCount() - before, 8000u) << "the wait went on after the worker had ended";
    EXPECT_EQ(move.progress(), -1.0f);
}

TEST_F(DriveMoveTest, DataDriveInAnyCaseAndNonLettersAreIgnored)
{
    files::write(kSource + "420/a.pak", "a");
    for (const char* drive : {"D", "d", "", "E:", "EF", "1", "E:/"}) {
        move.changeDisk(drive);
        move.waitForEnd();
        EXPECT_EQ(move.progress(), 0.0f) << drive;
    }
    EXPECT_EQ(files::read(kSource + "420/a.pak"), "a");
    EXPECT_FALSE(files::exists(kSource + "bak"));
    EXPECT_FALSE(files::exists(kTarget + "420"));
    EXPECT_EQ(dataDrive.drive(), "D");
}

}  // namespace
