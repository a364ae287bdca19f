#include "Halcyra/storage/DataDrive.h"

#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const char kSystemRoot[] = "C:/Orbelune/";
const char kRecord[] = "C:/Orbelune/disk.dat";

using testing_support::readBytes;
using testing_support::writeBytes;

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Each case starts with an empty system root (the prefix's C: is the system drive).
class DataDriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing_support::removeTree(kSystemRoot);
        ASSERT_TRUE(CreateDirectoryA(kSystemRoot, nullptr));
    }
    void TearDown() override { testing_support::removeTree(kSystemRoot); }
};

}  // namespace

TEST_F(DataDriveTest, RecordedDriveIsTakenAndRecordLeftAlone)
{
    struct Case { const char* record; const char* drive; };
    const Case cases[] = {
        {"E", "E"},
        {" \t\r\nE\r\n ", "E"},  // blanks and line ends around the letter
        {"E F", "E"},             // only the first word
        {"e", "e"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        writeBytes(kRecord, c.record);
        DataDrive dataDrive;
        dataDrive.init();
        EXPECT_EQ(c.drive, dataDrive.drive());
        EXPECT_EQ(std::string(c.drive) + ":/Orbelune/", dataDrive.dataRoot());
        EXPECT_EQ(kSystemRoot, dataDrive.systemRoot());
        EXPECT_EQ(kRecord, dataDrive.recordPath());
        EXPECT_EQ(c.record, readBytes(kRecord));  // no survey rewrote it
    }
}

TEST_F(DataDriveTest, MissingBlankOrDamagedRecordIsChosenAndWritten)
{
    // A word that is not one letter names no drive; the uninstaller ignores it too.
    for (const char* record : {static_cast<const char*>(nullptr), "", " \r\n", "Data drive",
                               "E:", "EF", "1", "\xb5\xe7"}) {
        SCOPED_TRACE(record ? record : "(none)");
        DeleteFileA(kRecord);
        if (record)
            writeBytes(kRecord, record);
        DataDrive dataDrive;
        dataDrive.init();
        // C: is the only drive of the test prefix, a fixed one.
        EXPECT_EQ("C", dataDrive.drive());
        EXPECT_EQ("C", readBytes(kRecord));
    }
}

TEST_F(DataDriveTest, WithoutSystemRootTheChoiceIsNotRecorded)
{
    testing_support::removeTree(kSystemRoot);
    DataDrive dataDrive;
    dataDrive.init();
    EXPECT_EQ("C", dataDrive.drive());
    EXPECT_FALSE(exists(kSystemRoot));
    EXPECT_FALSE(exists(kRecord));
}

TEST_F(DataDriveTest, SaveRecordWritesTheDriveWithoutLineEnd)
{
    writeBytes(kRecord, "LONGER OLD RECORD");
    DataDrive dataDrive;
    dataDrive.init();
    dataDrive.setDrive("D");
    EXPECT_TRUE(dataDrive.saveRecord());
    EXPECT_EQ("D", readBytes(kRecord));
    EXPECT_EQ("D:/Orbelune/", dataDrive.dataRoot());
}
