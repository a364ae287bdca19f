#include "Halcyra/storage/DriveSurvey.h"

#include "Halcyra/storage/DataDrive.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <regex>

using testing_support::DriveFixture;
using testing_support::DriveType;

namespace {

const char kSystemRoot[] = "C:/Orbelune/";
const char kRecord[] = "C:/Orbelune/disk.dat";

// Far more than the host disk behind C: offers, so that these drives decide the choice.
const std::uint64_t kTiB = 1ull << 40;
const std::uint64_t kGiB = 1ull << 30;
// 1000.05 GiB less a little: single precision gives 1000.0, double precision 1000.1.
const std::uint64_t kSinglePrecisionProbe = 1073795514368ull;

using testing_support::readBytes;

std::string letters(const std::vector<FixedDrive>& drives)
{
    std::string text;
    for (const FixedDrive& drive : drives)
        text += drive.letter;
    return text;
}

// A first start: empty system root, no drive record.
class FirstStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing_support::removeTree(kSystemRoot);
        ASSERT_TRUE(CreateDirectoryA(kSystemRoot, nullptr));
    }
    void TearDown() override { testing_support::removeTree(kSystemRoot); }

    std::string firstChoice()
    {
        DataDrive dataDrive;
        dataDrive.init();
        EXPECT_EQ(dataDrive.drive(), readBytes(kRecord));
        return dataDrive.drive();
    }

    DriveFixture drives;
};

}  // namespace

TEST_F(FirstStartTest, EqualFreeSpaceGoesToTheLaterDrive)
{
    MAP_TMPFS_OR_SKIP(drives, 'D', 2 * kTiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'E', 2 * kTiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'F', 1 * kTiB, DriveType::hd);
    EXPECT_EQ("E", firstChoice());
}

TEST_F(FirstStartTest, OnlyTheFirstFiveDrivesAreConsidered)
{
    // C (the host disk), D to G considered; H and I, the largest, are not.
    MAP_TMPFS_OR_SKIP(drives, 'D', 1 * kTiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'E', 3 * kTiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'F', 1 * kTiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'G', 2 * kTiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'H', 8 * kTiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'I', 8 * kTiB, DriveType::hd);
    EXPECT_EQ("CDEFGHI", letters(surveyFixedDrives()));
    EXPECT_EQ("E", firstChoice());
}

TEST_F(FirstStartTest, OnlyFixedDrivesAreListedAndChosen)
{
    MAP_TMPFS_OR_SKIP(drives, 'D', 8 * kTiB, DriveType::cdrom);
    MAP_TMPFS_OR_SKIP(drives, 'E', 8 * kTiB, DriveType::network);
    MAP_TMPFS_OR_SKIP(drives, 'F', 8 * kTiB, DriveType::floppy);
    MAP_TMPFS_OR_SKIP(drives, 'G', 100 * kGiB, DriveType::hd);
    MAP_TMPFS_OR_SKIP(drives, 'H', kSinglePrecisionProbe, DriveType::hd);

    const std::vector<FixedDrive> fixed = surveyFixedDrives();
    ASSERT_EQ("CGH", letters(fixed));
    EXPECT_EQ(100 * kGiB, fixed[1].freeBytes);

    // C is the host's disk, whose figures change while other programs write.
    const std::string text = diskInfoText(fixed);
    const std::regex expected(
        R"(C:\\Total=\d+\.\dGB,Remain=\d+\.\dGB;)"
        R"(G:\\Total=100\.0GB,Remain=100\.0GB;)"
        R"(H:\\Total=1000\.0GB,Remain=1000\.0GB)");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;

    EXPECT_EQ("H", firstChoice());
}

TEST(ChooseDataDrive, ComparesUnsignedAndStopsAfterFive)
{
    EXPECT_EQ(0, chooseDataDrive({}));
    // All failed queries (0 free bytes): every drive ties, the fifth wins.
    EXPECT_EQ('G', chooseDataDrive({{'C', 0, ""}, {'D', 0, ""}, {'E', 0, ""}, {'F', 0, ""},
                                     {'G', 0, ""}, {'H', 0, ""}}));
    // Beyond 2^63 still counts as more, not as negative.
    EXPECT_EQ('D', chooseDataDrive({{'C', 5, ""}, {'D', 1ull << 63, ""}, {'E', 7, ""}}));
}
