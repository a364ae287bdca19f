// The resume record's layout: the 8-byte form below 4 GiB, read by any reader; counts of
// 4 GiB and more and the remote file's validator after it.
#include "Halcyra/download/ResumeRecord.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

std::string littleEndian(std::uint32_t a, std::uint32_t b)
{
    std::string bytes;
    for (std::uint32_t value : {a, b})
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(value >> shift);
    return bytes;
}

}  // namespace

TEST(ResumeRecord, EightBytesBelowFourGibibytesAndExtendedAboveOrWithAValidator)
{
    testing_support::TempDir dir;
    const std::string path = dir / "ftd";

    ResumeRecord small;
    small.total = 300000;
    small.received = 1234;
    ASSERT_TRUE(writeResumeRecord(path, small));
    EXPECT_EQ(littleEndian(300000, 1234), testing_support::readBytes(path));

    ResumeRecord large;
    large.total = (1ull << 32) + (1u << 20);
    large.received = (1ull << 32) + 5;
    large.validatorKind = 'E';
    large.validator = "\"abc\"";
    ASSERT_TRUE(writeResumeRecord(path, large));
    const std::string bytes = testing_support::readBytes(path);
    EXPECT_EQ(littleEndian(1u << 20, 5) + littleEndian(1, 1) + "E\"abc\"", bytes);
    const ResumeRecord read = readResumeRecord(path);
    EXPECT_EQ(large.total, read.total);
    EXPECT_EQ(large.received, read.received);
    EXPECT_EQ('E', read.validatorKind);
    EXPECT_EQ("\"abc\"", read.validator);

    // Without a validator, still all 64 bits.
    large.validatorKind = 0;
    large.validator.clear();
    ASSERT_TRUE(writeResumeRecord(path, large));
    EXPECT_EQ(littleEndian(1u << 20, 5) + littleEndian(1, 1), testing_support::readBytes(path));
    EXPECT_EQ(large.received, readResumeRecord(path).received);

    // Rewritten shorter, nothing of the longer form stays behind.
    ASSERT_TRUE(writeResumeRecord(path, small));
    EXPECT_EQ(8u, testing_support::readBytes(path).size());

    // A short or missing record holds zeros.
    testing_support::writeBytes(path, littleEndian(7, 9).substr(0, 4));
    EXPECT_EQ(7u, readResumeRecord(path).total);
    EXPECT_EQ(0u, readResumeRecord(path).received);
    EXPECT_EQ(0u, readResumeRecord(dir / "none").total);
}
