#include "Halcyra/storage/WorkSharing.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <new>
#include <vector>

namespace {

TEST(WorkSharing, EveryIndexIsWorkedOnOnceByAtMostTheGivenThreads)
{
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{1000}}) {
        std::unique_ptr<std::atomic<int>[]> calls(new std::atomic<int>[count + 1]());
        std::atomic<bool> threadOutOfRange{false};
        const bool done = shareWork(count, 8, [&](std::size_t index, unsigned thread) {
            ++calls[index];
            if (thread >= 8 || thread >= count)
                threadOutOfRange = true;
            Sleep(0);
            return true;
        });
        EXPECT_TRUE(done) << count;
        EXPECT_FALSE(threadOutOfRange) << count;
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_EQ(calls[i], 1) << "index " << i << " of " << count;
        EXPECT_EQ(calls[count], 0);
    }
}

TEST(WorkSharing, AFailureOrAThrowStopsTheHandingOutAndRunningCallsFinishFirst)
{
    // On one thread the order is fixed: nothing after the failing index is worked on.
    std::vector<std::size_t> worked;
    EXPECT_FALSE(shareWork(100, 1, [&](std::size_t index, unsigned) {
        worked.push_back(index);
        return index != 5;
    }));
    EXPECT_EQ(worked.size(), 6u);

    worked.clear();
    EXPECT_FALSE(shareWork(100, 1, [&](std::size_t index, unsigned) -> bool {
        worked.push_back(index);
        if (index == 3)
            throw std::bad_alloc();
        return true;
    }));
    EXPECT_EQ(worked.size(), 4u);

    // On several threads a call still running when another fails is waited for.
    std::atomic<int> running{0};
    std::atomic<int> total{0};
    EXPECT_FALSE(shareWork(1000, 3, [&](std::size_t index, unsigned) {
        ++running;
        ++total;
        Sleep(index % 3 == 0 ? 20 : 0);
        --running;
        return index != 7;
    }));
    EXPECT_EQ(running, 0);
    EXPECT_LT(total, 1000);
}

}  // namespace
