#include "utility/TableIO.h"

#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using ROVodi::TableIO;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;
using Row = TableIO::Row;

namespace {

const char kVersionHeader[] = "filename\tversion\ttime\tue4Name\tue4Version\r\n";

}  // namespace

class TableIOFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string file = dir / "version.tab";
    TableIO table;
};

TEST_F(TableIOFile, LoadsCrLfAndLfLinesAlike) {
    const std::string lines[] = {"h1\th2\r\na\t\tb\r\nc\t\r\n\r\nx\ry\tz\r\n",
                                 "h1\th2\na\t\tb\nc\t\n\nx\ry\tz\n"};
    for (const std::string& text : lines) {
        writeBytes(file, text);
        ASSERT_TRUE(table.load(file));
        EXPECT_EQ(table.header, (Row{"h1", "h2"}));
        ASSERT_EQ(table.rows.size(), 4u);
        EXPECT_EQ(table.rows[0], (Row{"a", "", "b"}));
        EXPECT_EQ(table.rows[1], (Row{"c", ""}));
        EXPECT_EQ(table.rows[2], (Row{""}));
        EXPECT_EQ(table.rows[3], (Row{"x\ry", "z"}));  // a lone CR is part of its cell
    }
}

TEST_F(TableIOFile, LoadIgnoresAnUnfinishedLastLineAndResavingDropsIt) {
    writeBytes(file, "name\r\na.pak\r\nb.pa");
    ASSERT_TRUE(table.load(file));
    EXPECT_EQ(table.rows, (std::vector<Row>{{"a.pak"}}));
    table.save(file, false);
    EXPECT_EQ(readBytes(file), "name\r\na.pak\r\n");
}

TEST_F(TableIOFile, EmptyAndHeaderOnlyFiles) {
    table.rows = {{"stale"}};
    writeBytes(file, "");
    ASSERT_TRUE(table.load(file));
    EXPECT_TRUE(table.header.empty());
    EXPECT_TRUE(table.rows.empty());
    EXPECT_EQ(table.columnCount(), 0);

    writeBytes(file, "\r\n");
    ASSERT_TRUE(table.load(file));
    EXPECT_EQ(table.header, Row{""});
    EXPECT_TRUE(table.rows.empty());
}

TEST_F(TableIOFile, FailedLoadKeepsTheTable) {
    table.header = {"keep"};
    table.rows = {{"me"}};
    EXPECT_FALSE(table.load(dir / "missing.tab"));
    EXPECT_EQ(table.header, Row{"keep"});
    EXPECT_EQ(table.rows, (std::vector<Row>{{"me"}}));
}

TEST_F(TableIOFile, SavesExactBytesWithColumnCountCellsPerLine) {
    table.header = {"filename", "version", "time", "ue4Name", "ue4Version"};
    table.rows = {
        {"a.pak", "0123456789abcdef0123456789abcdef", "2021-10-15 10:20:30", "", ""},
        {"wide", "1", "2", "3", "4", "5", "6"},  // cut to five cells
        {"short", "1"},                          // padded with empty cells
        {},
    };
    table.save(file, false);
    EXPECT_EQ(readBytes(file), std::string(kVersionHeader) +
                                   "a.pak\t0123456789abcdef0123456789abcdef\t2021-10-15 10:20:30\t\t\r\n"
                                   "wide\t1\t2\t3\t4\r\n"
                                   "short\t1\t\t\t\r\n"
                                   "\t\t\t\t\r\n");

    TableIO again;
    ASSERT_TRUE(again.load(file));
    EXPECT_EQ(again.header, table.header);
    EXPECT_EQ(again.rows[2], (Row{"short", "1", "", "", ""}));
}

TEST_F(TableIOFile, ColumnCountFallsBackToTheFirstRow) {
    table.rows = {{"a", "b"}, {"c", "d", "e"}, {"f"}};
    EXPECT_EQ(table.columnCount(), 2);
    table.save(file, false);
    EXPECT_EQ(readBytes(file), "a\tb\r\nc\td\r\nf\t\r\n");
}

TEST_F(TableIOFile, AppendAddsRowsWithoutHeader) {
    writeBytes(file, kVersionHeader);
    table.header = {"filename", "version", "time", "ue4Name", "ue4Version"};
    table.rows = {{"b.pak", "v", "t", "", ""}};
    table.save(file, true);
    table.save(file, true);
    EXPECT_EQ(readBytes(file), std::string(kVersionHeader) + "b.pak\tv\tt\t\t\r\nb.pak\tv\tt\t\t\r\n");

    table.save(dir / "new.tab", true);  // created when missing, still without header
    EXPECT_EQ(readBytes(dir / "new.tab"), "b.pak\tv\tt\t\t\r\n");
}

TEST_F(TableIOFile, AppendAfterAnUnfinishedLineStartsANewLine) {
    writeBytes(file, "name\r\nda");
    table.rows = {{"a.pak"}};
    table.save(file, true);
    ASSERT_TRUE(table.load(file));
    Row row;
    EXPECT_EQ(table.findRow("a.pak", row), 1);
}

TEST_F(TableIOFile, SaveEdgeCases) {
    writeBytes(file, "old contents\r\n");
    table.save(file, false);  // no columns: truncated to empty
    EXPECT_EQ(readBytes(file), "");

    table.header = {"x"};
    table.save("", false);  // touches nothing
    table.save(dir / "a\\b/c\\version.tab", false);
    EXPECT_EQ(readBytes(dir / "a/b/c/version.tab"), "x\r\n");
}

TEST(TableIO, FindRowIgnoresAsciiCaseOnlyAndTakesTheFirstMatch) {
    TableIO table;
    table.rows = {{}, {"a.pak", "1"}, {"A.PAK", "2"}, {"\xD6\xD0\xCE\xC4.pak", "3"}};
    Row row = {"junk"};
    EXPECT_EQ(table.findRow("A.Pak", row), 1);
    EXPECT_EQ(row, (Row{"a.pak", "1"}));
    EXPECT_EQ(table.findRow("a.pa", row), -1);
    EXPECT_TRUE(row.empty());
    EXPECT_EQ(table.findRow("\xD6\xD0\xCE\xC4.PAK", row), 3);
    EXPECT_EQ(table.findRow("\xF6\xF0\xEE\xE4.pak", row), -1);  // no case folding beyond ASCII
}

TEST(TableIO, AddColumnComparesNamesExactlyAndWidensEveryRow) {
    TableIO table;
    table.header = {"filename", "ue4Name"};
    table.rows = {{"a"}, {"b", "c", "d"}};
    table.addColumn("ue4Name");
    EXPECT_EQ(table.header.size(), 2u);
    table.addColumn("UE4NAME");
    EXPECT_EQ(table.header, (Row{"filename", "ue4Name", "UE4NAME"}));
    EXPECT_EQ(table.rows[0], (Row{"a", ""}));
    EXPECT_EQ(table.rows[1], (Row{"b", "c", "d", ""}));
}
