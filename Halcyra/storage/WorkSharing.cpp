#include "Halcyra/storage/WorkSharing.h"

#include "framework/UniqueHandle.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

struct SharedWork {
    std::size_t count;
    const std::function<bool(std::size_t, unsigned)>& work;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
};

struct Worker {
    SharedWork* shared;
    unsigned thread;
};

void takeIndices(SharedWork& shared, unsigned thread)
{
    while (!shared.failed) {
        const std::size_t index = shared.next++;
        if (index >= shared.count)
            return;
        bool done = false;
        try {
            done = shared.work(index, thread);
        } catch (...) {
            // Out of memory in the middle of an item: that item failed.
        }
        if (!done)
            shared.failed = true;
    }
}

DWORD WINAPI workerThread(void* argument)
{
    const Worker& worker = *static_cast<const Worker*>(argument);
    takeIndices(*worker.shared, worker.thread);
    return 0;
}

}  // namespace

bool shareWork(std::size_t count, unsigned threads,
               const std::function<bool(std::size_t index, unsigned thread)>& work)
{
    SharedWork shared{count, work};
    const unsigned helpers = threads > 1 && count > 1
                                 ? static_cast<unsigned>(std::min<std::size_t>(threads, count)) - 1
                                 : 0;
    // Allocated before the first thread starts: nothing below may throw while one runs.
    std::vector<Worker> workers(helpers);
    std::vector<fw::UniqueHandle> started;
    started.reserve(helpers);
    for (unsigned i = 0; i < helpers; ++i) {
        workers[i] = Worker{&shared, i + 1};
        fw::UniqueHandle thread(CreateThread(nullptr, 0, workerThread, &workers[i], 0, nullptr));
        if (!thread)
            break;
        started.push_back(std::move(thread));
    }
    takeIndices(shared, 0);
    for (const fw::UniqueHandle& thread : started)
        WaitForSingleObject(thread.get(), INFINITE);
    return !shared.failed;
}
