#pragma once
// Finding the top-level windows that a test program or the program it started shows.
#include <windows.h>

#include <cwchar>

namespace window_search {

struct Search {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

inline BOOL CALLBACK matchWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t caption[64] = {};
    ::GetWindowTextW(window, caption, 64);
    if (owner == search->processId && std::wcscmp(caption, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace window_search

// A top-level window of the process with this caption; nullptr if there is none.
inline HWND windowOf(DWORD processId, const wchar_t* caption) {
    window_search::Search search{processId, caption, nullptr};
    ::EnumWindows(window_search::matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
