#pragma once
// Work on many independent items by a few threads at once. Small files are copied and
// deleted faster so: while one thread waits for the file system, another one copies.
#include <cstddef>
#include <functional>

// Calls work(index, thread) for every index below count, on at most `threads` threads (the
// calling one among them, numbered 0; the others 1 and up), each thread taking the next
// index not yet taken. Once a call returns false (or throws) no further index is handed
// out; calls already running finish. Returns once every call has returned: true when
// every index was worked on and every call returned true. When no further thread can be
// started, those started do all the work.
bool shareWork(std::size_t count, unsigned threads,
               const std::function<bool(std::size_t index, unsigned thread)>& work);
