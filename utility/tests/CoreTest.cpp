#include "utility/crCriticalMutex.h"
#include "utility/crStreamBuf.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using ROVodi::crCriticalMutex;
using ROVodi::crStreamBuf;
using ROVodi::ScopedLock;

namespace {

std::vector<unsigned char> bytes(const crStreamBuf& buffer) {
    return std::vector<unsigned char>(buffer.start(), buffer.start() + buffer.capacity());
}

}  // namespace

TEST(crStreamBuf, AllocateGivesFourSpareZeroBytesAndRefusesNonPositiveSizes) {
    crStreamBuf buffer;
    EXPECT_EQ(buffer.start(), nullptr);
    EXPECT_FALSE(buffer.allocate(0));
    EXPECT_FALSE(buffer.allocate(-5));
    EXPECT_EQ(buffer.capacity(), 0);

    ASSERT_TRUE(buffer.allocate(10));
    EXPECT_EQ(buffer.capacity(), 14);
    EXPECT_EQ(buffer.dataSize(), 0);
    EXPECT_EQ(bytes(buffer), std::vector<unsigned char>(14, 0));
    EXPECT_FALSE(buffer.allocate(0x7FFFFFFF));  // n + 4 would overflow
    EXPECT_EQ(buffer.capacity(), 14);
}

TEST(crStreamBuf, IntegersAreStoredLittleEndianAndReadBack) {
    crStreamBuf buffer;
    buffer.writeInt(0x01020304);
    buffer.writeInt(-2);
    EXPECT_EQ(buffer.capacity(), 36);
    EXPECT_EQ(buffer.dataSize(), 8);
    const std::vector<unsigned char> expected = {4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::vector<unsigned char>(buffer.start(), buffer.start() + 8), expected);

    buffer.rewind();
    EXPECT_EQ(buffer.readInt(), 0x01020304);
    EXPECT_EQ(buffer.readInt(), -2);
    EXPECT_EQ(buffer.readInt(), 0);  // zero bytes behind the content
}

TEST(crStreamBuf, GrowsFrom36To72KeepingTheContent) {
    crStreamBuf buffer;
    for (int i = 1; i <= 3; ++i) buffer.writeInt(i * 1000);
    EXPECT_EQ(buffer.capacity(), 36);
    EXPECT_EQ(buffer.dataSize(), 12);
    for (int i = 4; i <= 9; ++i) buffer.writeInt(i * 1000);
    EXPECT_EQ(buffer.capacity(), 36);
    const std::vector<unsigned char> before = bytes(buffer);

    buffer.writeInt(10000);
    EXPECT_EQ(buffer.capacity(), 72);
    EXPECT_EQ(buffer.dataSize(), 40);
    EXPECT_EQ(std::vector<unsigned char>(buffer.start(), buffer.start() + 36), before);
    buffer.rewind();
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(buffer.readInt(), i * 1000);
}

TEST(crStreamBuf, ReadsStopAtTheCapacityNotTheContent) {
    crStreamBuf buffer;
    ASSERT_TRUE(buffer.allocate(8));  // capacity 12
    buffer.writeInt(7);
    buffer.writeInt(8);
    buffer.rewind();
    EXPECT_EQ(buffer.readInt(), 7);
    EXPECT_EQ(buffer.readInt(), 8);
    EXPECT_EQ(buffer.readInt(), 0);  // the spare bytes
    EXPECT_EQ(buffer.readInt(), 0);  // past the capacity: the cursor stays
    buffer.writeInt(9);              // needs room: grows and goes on at the end of the content
    EXPECT_EQ(buffer.capacity(), 24);
    EXPECT_EQ(buffer.dataSize(), 12);
    buffer.rewind();
    EXPECT_EQ(buffer.readInt(), 7);
    EXPECT_EQ(buffer.readInt(), 8);
    EXPECT_EQ(buffer.readInt(), 9);

    crStreamBuf empty;
    EXPECT_EQ(empty.readInt(), 0);
}

TEST(crStreamBuf, WritingAfterRewindShortensTheContent) {
    crStreamBuf buffer;
    for (int i = 0; i < 5; ++i) buffer.writeInt(i);
    buffer.rewind();
    buffer.writeInt(42);
    buffer.writeInt(43);
    EXPECT_EQ(buffer.dataSize(), 8);
}

TEST(crStreamBuf, SetDataSizeOnlyWithinTheCapacity) {
    crStreamBuf buffer;
    buffer.writeInt(1);
    buffer.setDataSize(36);
    EXPECT_EQ(buffer.dataSize(), 36);
    buffer.setDataSize(37);
    EXPECT_EQ(buffer.dataSize(), 36);
    buffer.setDataSize(-1);
    EXPECT_EQ(buffer.dataSize(), 36);
    buffer.setDataSize(0);
    EXPECT_EQ(buffer.dataSize(), 0);
}

TEST(crCriticalMutex, IsRecursiveForItsOwnerAndExcludesOthers) {
    crCriticalMutex mutex;
    std::atomic<bool> otherGotIt{false};
    std::thread other;
    {
        ScopedLock outer(mutex);
        {
            ScopedLock inner(mutex);  // the same thread again: must not block
        }
        other = std::thread([&] {
            ScopedLock guard(mutex);
            otherGotIt = true;
        });
        Sleep(100);
        EXPECT_FALSE(otherGotIt);  // still held once by outer
    }
    other.join();
    EXPECT_TRUE(otherGotIt);
}
