#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "Halcyra/pagehost/UiThreadCalls.h"

namespace {

// Lets the thread's messages flow for a while, as a message box's own loop does.
void pumpFor(DWORD ms) {
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(1);
    }
}

TEST(UiThreadCalls, RunsOnTheUserInterfaceThreadOneAtATimeEvenWhileMessagesFlow) {
    UiThreadCalls calls;
    const DWORD uiThread = ::GetCurrentThreadId();
    std::atomic<int> inside{0}, most{0}, ran{0}, wrongThread{0};
    auto work = [&] {
        if (::GetCurrentThreadId() != uiThread) ++wrongThread;
        most = std::max(most.load(), ++inside);
        pumpFor(60);
        --inside;
        ++ran;
    };
    std::vector<std::thread> callers;
    for (int i = 0; i < 3; ++i)
        callers.emplace_back([&] { EXPECT_TRUE(calls.run(work)); });
    while (ran < 3) pumpFor(5);
    for (auto& caller : callers) caller.join();
    EXPECT_EQ(0, wrongThread.load());
    EXPECT_EQ(1, most.load());
}

TEST(UiThreadCalls, RunsNothingOnceClosed) {
    UiThreadCalls calls;
    calls.close();
    bool ran = false;
    std::thread caller([&] { EXPECT_FALSE(calls.run([&] { ran = true; })); });
    caller.join();
    EXPECT_FALSE(ran);
}

}  // namespace
