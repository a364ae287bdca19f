#include "Halcyra/versions/VersionTable.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kV1(32, '1');
const std::string kV2(32, '2');
const std::string kV3 = "0123456789ABCDEF0123456789abcdef";
const char kHeader[] = "filename\tversion\ttime\tue4Name\tue4Version\r\n";

class VersionTableTest : public ::testing::Test {
protected:
    VersionTable::Clock clock() {
        return [this] { return m_now; };
    }

    void writeFile(const std::string& name, const std::string& bytes) {
        std::FILE* file = std::fopen((m_save + "/" + name).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    std::string table() const { return fileBytes(m_tablePath); }
    static std::string fileBytes(const std::string& path) {
        std::string bytes;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) return "<missing>";
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
        std::fclose(file);
        return bytes;
    }
    static std::string line(const std::string& name, const std::string& version,
                            const std::string& time) {
        return name + "\t" + version + "\t" + time + "\t\t\r\n";
    }

    testing_support::TempDir m_dir;
    const std::string m_save = m_dir.path();
    const std::string m_tablePath = m_save + "/version.tab";
    std::string m_now = "2021-10-15 10:20:30";
};

}  // namespace

TEST(PackageFileRule, NameLengthExtensionAndVersionLength) {
    EXPECT_TRUE(isPackageRecord("scene-00001.pak", kV1));   // 15 bytes
    EXPECT_FALSE(isPackageRecord("scene-000001.pak", kV1)); // 16 bytes
    EXPECT_TRUE(isPackageRecord("a.b.pak", kV1));
    EXPECT_FALSE(isPackageRecord("a.PAK", kV1));
    EXPECT_FALSE(isPackageRecord("a.Pak", kV1));
    EXPECT_FALSE(isPackageRecord("apak", kV1));
    EXPECT_FALSE(isPackageRecord("a.pak.7z", kV1));
    EXPECT_FALSE(isPackageRecord("a.pak", std::string(31, '1')));
    EXPECT_FALSE(isPackageRecord("a.pak", std::string(33, '1')));
    // Bytes that would split a cell or a row of the table file.
    EXPECT_FALSE(isPackageRecord("a\tb.pak", kV1));
    EXPECT_FALSE(isPackageRecord("a.pak", std::string(31, '1') + "\n"));
    EXPECT_FALSE(isPackageRecord("a.pak", std::string(31, '1') + "\t"));
}

TEST_F(VersionTableTest, RefusedArgumentsRecordNothing) {
    writeFile("a.PAK", "x");
    writeFile("scene-000001.pak", "x");
    VersionTable versions(clock());
    versions.saveFileVersion(m_save, "a.PAK", kV1);
    versions.saveFileVersion(m_save, "a.pak", kV1 + "1");
    EXPECT_FALSE(versions.checkFileVersion(m_save, "a.PAK", kV1));
    EXPECT_FALSE(versions.checkFileVersion(m_save, "scene-000001.pak", kV1));
    EXPECT_EQ(table(), "<missing>");
}

TEST_F(VersionTableTest, DeviceNamesAndAMissingSavePathRecordNothing) {
    VersionTable versions(clock());
    versions.saveFileVersion(m_save, "nul.pak", kV1);
    versions.saveFileVersion(m_save, "com1.pak", kV1);
    EXPECT_FALSE(versions.checkFileVersion(m_save, "aux.pak", kV1));
    EXPECT_EQ(versions.queryFileVersion(m_save, "nul.pak"), "");
    EXPECT_EQ(table(), "<missing>");

    // Before a save path is set, the names would resolve against the current drive's root.
    const std::string rootPackage = "/version-probe.pak";
    std::FILE* file = std::fopen(rootPackage.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    versions.saveFileVersion("", "version-probe.pak", kV1);
    EXPECT_FALSE(versions.checkFileVersion("", "version-probe.pak", kV1));
    EXPECT_EQ(versions.queryFileVersion("", "version-probe.pak"), "");
    EXPECT_EQ(fileBytes("/version.tab"), "<missing>");
    DeleteFileA(rootPackage.c_str());
}

TEST_F(VersionTableTest, CheckRecordsAnUnknownPackageThenComparesVersions) {
    VersionTable versions(clock());
    EXPECT_FALSE(versions.checkFileVersion(m_save, "a.pak", kV1)) << "package not on disk";
    EXPECT_EQ(versions.queryFileVersion(m_save, "a.pak"), "");

    writeFile("a.pak", "x");
    EXPECT_EQ(versions.queryFileVersion(m_save, "a.pak"), "") << "before any recording";
    EXPECT_TRUE(versions.checkFileVersion(m_save, "a.pak", kV1));
    EXPECT_EQ(table(), kHeader + line("a.pak", kV1, m_now));
    EXPECT_TRUE(versions.checkFileVersion(m_save, "a.pak", kV1));
    EXPECT_FALSE(versions.checkFileVersion(m_save, "a.pak", kV2));
    EXPECT_EQ(versions.queryFileVersion(m_save, "a.pak"), kV1);
    EXPECT_EQ(table(), kHeader + line("a.pak", kV1, m_now)) << "comparing writes nothing";

    writeFile("b.pak", "x");
    EXPECT_EQ(versions.queryFileVersion(m_save, "b.pak"), "") << "no record";
    DeleteFileA((m_save + "/a.pak").c_str());
    EXPECT_FALSE(versions.checkFileVersion(m_save, "a.pak", kV1));
    EXPECT_EQ(versions.queryFileVersion(m_save, "a.pak"), "");
}

TEST_F(VersionTableTest, LookupsIgnoreCaseButSavingMatchesBytes) {
    writeFile("a.pak", "x");
    VersionTable versions(clock());
    ASSERT_TRUE(versions.checkFileVersion(m_save, "a.pak", kV1));
    EXPECT_TRUE(versions.checkFileVersion(m_save, "A.pak", kV1));
    EXPECT_FALSE(versions.checkFileVersion(m_save, "A.pak", kV2));
    EXPECT_EQ(versions.queryFileVersion(m_save, "A.pak"), kV1);

    versions.saveFileVersion(m_save, "A.pak", kV2);
    EXPECT_EQ(table(), kHeader + line("a.pak", kV1, m_now) + line("A.pak", kV2, m_now));
    EXPECT_EQ(versions.queryFileVersion(m_save, "A.pak"), kV1) << "the first record wins";
}

TEST_F(VersionTableTest, ExactFileAfterAppendsAndARewrite) {
    writeFile("a.pak", "x");
    VersionTable versions(clock());
    ASSERT_TRUE(versions.checkFileVersion(m_save, "a.pak", kV1));
    versions.saveFileVersion(m_save, "b.pak", kV2);
    EXPECT_EQ(table(), kHeader + line("a.pak", kV1, m_now) + line("b.pak", kV2, m_now));

    const std::string earlier = m_now;
    m_now = "2021-10-16 08:09:10";
    versions.saveFileVersion(m_save, "a.pak", kV3);
    EXPECT_EQ(table(), kHeader + line("a.pak", kV3, m_now) + line("b.pak", kV2, earlier));
    EXPECT_EQ(versions.queryFileVersion(m_save, "a.pak"), kV3);
    EXPECT_TRUE(versions.checkFileVersion(m_save, "a.pak", kV3));
}

TEST_F(VersionTableTest, OlderThreeColumnFileGainsTwoColumnsOnRewrite) {
    writeFile("a.pak", "x");
    writeFile("version.tab", "filename\tversion\ttime\n"
                             "a.pak\t" + kV1 + "\t2020-01-02 03:04:05\n");
    VersionTable versions(clock());
    EXPECT_TRUE(versions.checkFileVersion(m_save, "a.pak", kV1));
    EXPECT_EQ(versions.queryFileVersion(m_save, "a.pak"), kV1);
    versions.saveFileVersion(m_save, "a.pak", kV2);
    EXPECT_EQ(table(), kHeader + line("a.pak", kV2, m_now));
}

// The rewrite needs more room than the old file held: in place, the disk would fill up
// with the table half written.
TEST(VersionTableFullDisk, FailedRewriteKeepsTheOldFile) {
    testing_support::DriveFixture drives;
    MAP_TMPFS_OR_SKIP(drives, 'V', 512 * 1024, testing_support::DriveType::hd);
    const std::string save = "V:/packages";
    ASSERT_TRUE(CreateDirectoryA(save.c_str(), nullptr));
    testing_support::writeBytes(save + "/a.pak", "x");
    std::string old = "filename\tversion\ttime\n";
    for (int i = 0; i < 2000; ++i)
        old += "old-" + std::to_string(i) + ".pak\t" + kV1 + "\t2020-01-02 03:04:05\n";
    old += "a.pak\t" + kV1 + "\t2020-01-02 03:04:05\n";
    testing_support::writeBytes(save + "/version.tab", old);
    ASSERT_TRUE(testing_support::fillDrive("V:/filler"));

    VersionTable versions([] { return std::string("2021-10-15 10:20:30"); });
    versions.saveFileVersion(save, "a.pak", kV2);  // every line gains two cells and a CR
    EXPECT_TRUE(testing_support::readBytes(save + "/version.tab") == old)
        << "the old table is no longer there";
}

TEST_F(VersionTableTest, SavingFirstInARunKeepsWhatTheFileHolds) {
    const std::string stored = kHeader + line("a.pak", kV1, "2020-01-02 03:04:05") +
                               line("b.pak", kV2, "2020-01-02 03:04:06");
    writeFile("version.tab", stored);
    {
        VersionTable versions(clock());
        versions.saveFileVersion(m_save, "c.pak", kV3);
        EXPECT_EQ(table(), stored + line("c.pak", kV3, m_now));
    }
    writeFile("version.tab", stored);
    VersionTable versions(clock());
    versions.saveFileVersion(m_save, "b.pak", kV3);
    EXPECT_EQ(table(), kHeader + line("a.pak", kV1, "2020-01-02 03:04:05") +
                           line("b.pak", kV3, m_now));
}

TEST_F(VersionTableTest, AnotherSavePathIsRecordedInItsOwnFile) {
    writeFile("a.pak", "x");
    VersionTable versions(clock());
    ASSERT_TRUE(versions.checkFileVersion(m_save, "a.pak", kV1));

    testing_support::TempDir other;
    const std::string otherTable = other.path() + "/version.tab";
    const std::string stored = kHeader + line("b.pak", kV2, "2020-01-02 03:04:05");
    std::FILE* file = std::fopen(otherTable.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(stored.data(), 1, stored.size(), file);
    std::fclose(file);
    std::fclose(std::fopen((other / "a.pak").c_str(), "wb"));

    // The record of a.pak belongs to the first directory: here a.pak is unknown.
    EXPECT_TRUE(versions.checkFileVersion(other.path(), "a.pak", kV2));
    EXPECT_EQ(versions.queryFileVersion(other.path(), "a.pak"), kV2);
    EXPECT_EQ(versions.queryFileVersion(other.path(), "b.pak"), "") << "b.pak is not on disk";
    versions.saveFileVersion(other.path(), "b.pak", kV3);

    EXPECT_EQ(fileBytes(otherTable), kHeader + line("b.pak", kV3, m_now) + line("a.pak", kV2, m_now));
    EXPECT_EQ(versions.queryFileVersion(m_save, "a.pak"), kV1);
    EXPECT_EQ(table(), kHeader + line("a.pak", kV1, m_now));
    std::fclose(std::fopen((other / "b.pak").c_str(), "wb"));
    EXPECT_EQ(versions.queryFileVersion(other.path(), "b.pak"), kV3);
    EXPECT_TRUE(versions.checkFileVersion(other.path(), "a.pak", kV2));
}

TEST_F(VersionTableTest, ShortRecordIsWidenedWhenUpdated) {
    writeFile("version.tab", std::string(kHeader) + "a.pak\r\n");
    VersionTable versions(clock());
    versions.saveFileVersion(m_save, "a.pak", kV1);
    EXPECT_EQ(table(), kHeader + line("a.pak", kV1, m_now));
}

TEST_F(VersionTableTest, MissingOrEmptyFileIsWrittenWithHeaderAndAllRecords) {
    writeFile("a.pak", "x");
    writeFile("b.pak", "x");
    VersionTable versions(clock());
    ASSERT_TRUE(versions.checkFileVersion(m_save, "a.pak", kV1));
    DeleteFileA(m_tablePath.c_str());
    EXPECT_TRUE(versions.checkFileVersion(m_save, "b.pak", kV2));
    EXPECT_EQ(table(), kHeader + line("a.pak", kV1, m_now) + line("b.pak", kV2, m_now));

    // An empty file (a write cut short) has no header line to append under.
    writeFile("version.tab", "");
    VersionTable fresh(clock());
    EXPECT_TRUE(fresh.checkFileVersion(m_save, "a.pak", kV2));
    EXPECT_EQ(table(), kHeader + line("a.pak", kV2, m_now));
    EXPECT_EQ(fresh.queryFileVersion(m_save, "a.pak"), kV2);
}

TEST_F(VersionTableTest, FileThatCannotBeLoadedIsReplaced) {
    // Every TAB makes a cell: this many exhaust a 32-bit address space while loading.
    writeFile("a.pak", "x");
    writeFile("version.tab", std::string(64 << 20, '\t'));
    VersionTable versions(clock());
    EXPECT_TRUE(versions.checkFileVersion(m_save, "a.pak", kV1));
    EXPECT_EQ(table(), kHeader + line("a.pak", kV1, m_now));
    EXPECT_EQ(versions.table().rows.size(), 1u);
}

TEST_F(VersionTableTest, LockedFileIsNeverWrittenOver) {
    writeFile("a.pak", "x");
    writeFile("b.pak", "x");
    const std::string stored = kHeader + line("a.pak", kV1, "2020-01-02 03:04:05") +
                               line("b.pak", kV2, "2020-01-02 03:04:06");
    writeFile("version.tab", stored);
    VersionTable versions(clock());
    {
        // Another program holds the file open without sharing it.
        HANDLE lock = CreateFileA(m_tablePath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        versions.saveFileVersion(m_save, "c.pak", kV3);
        EXPECT_FALSE(versions.checkFileVersion(m_save, "a.pak", kV1));
        EXPECT_FALSE(versions.checkFileVersion(m_save, "b.pak", kV3));
        CloseHandle(lock);
    }
    EXPECT_EQ(table(), stored);

    // The next rewrite starts from what the file holds.
    versions.saveFileVersion(m_save, "a.pak", kV3);
    EXPECT_EQ(table(), kHeader + line("a.pak", kV3, m_now) +
                           line("b.pak", kV2, "2020-01-02 03:04:06"));
    EXPECT_TRUE(versions.checkFileVersion(m_save, "b.pak", kV2));
}

TEST(LocalTime, FormattedAsDateAndTime) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string text = currentLocalTime();
    char date[16];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u ", now.wYear, now.wMonth, now.wDay);
    ASSERT_EQ(text.size(), 19u) << text;
    EXPECT_EQ(text.substr(0, 11), date);
    EXPECT_EQ(text[13], ':');
    EXPECT_EQ(text[16], ':');
}
