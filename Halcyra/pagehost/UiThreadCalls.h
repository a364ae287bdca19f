#pragma once
// Runs work on the thread that made the object (the page host's user-interface thread),
// for callers on any thread, one piece at a time, as the browser calls the script bridge.
//
// The caller waits until its work has run. A piece of work that shows a message box lets
// the thread's messages flow, yet no other piece starts before it returns.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>

class UiThreadCalls {
public:
    UiThreadCalls();   // on the user-interface thread
    ~UiThreadCalls();
    UiThreadCalls(const UiThreadCalls&) = delete;
    UiThreadCalls& operator=(const UiThreadCalls&) = delete;

    // Runs work on the user-interface thread and waits for it. False when it did not run:
    // closed, or the thread's window is gone. Work must not throw.
    bool run(const std::function<void()>& work);

    // From here on run() runs nothing and answers false.
    void close() { m_closed = true; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    std::mutex m_oneAtATime;
    std::atomic<bool> m_closed{false};
};
