// Starting Linux programs must leave every handle of the caller alone: Wine hands back
// values that are not the caller's, and closing them closed live threads, events and
// sockets of whatever else ran in the test program.
#include "tests/support/LinuxProgram.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Wine fills the handles from stack memory nobody wrote: leave live handle values there.
__attribute__((noinline)) void leaveOnStack(HANDLE value)
{
    volatile HANDLE area[16 * 1024];
    for (auto& slot : area) slot = value;
}

bool isOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

}  // namespace

TEST(LinuxProgram, StartingOneLeavesTheCallersHandlesOpen) {
    std::vector<HANDLE> events;
    for (int i = 0; i < 20; ++i) events.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));

    testing_support::TempDir dir;
    for (int i = 0; i < 20; ++i) {
        const std::string done = dir / ("done" + std::to_string(i));
        const std::string command = "\\\\?\\unix\\bin\\touch done" + std::to_string(i);
        leaveOnStack(events[i]);
        ASSERT_TRUE(testing_support::startLinuxProgram(std::wstring(command.begin(), command.end()),
                                                       std::wstring(dir.path().begin(), dir.path().end())));
        for (int waited = 0; waited < 10000 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES;
             waited += 10)
            Sleep(10);
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(done.c_str())) << "touch did not run";
    }

    int closed = 0;
    for (HANDLE event : events) {
        if (!isOpen(event)) ++closed;
        else CloseHandle(event);
    }
    EXPECT_EQ(0, closed);
}
