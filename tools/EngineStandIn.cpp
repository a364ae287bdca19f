// Stands in for the engine application "Vistaweaver-Win64-Shipping.exe" in tests and the
// demo. Once its one top-level window is up it appends "<command line>|<current directory>"
// to a log beside itself (<own path>.log, UTF-8, CR LF), then "F5" for every F5 key-down
// the window receives, and runs until it is terminated or its window is closed.
#include <windows.h>
#include <imm.h>

#include "StandInLog.h"

namespace {

const wchar_t kWindowClass[] = L"VistaweaverStandIn";
const wchar_t kWindowTitle[] = L"Vistaweaver";
const char kF5Line[] = "F5";

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == VK_F5) standin::appendLogLine(kF5Line);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // No default IME window: the engine window stays the process's only top-level window,
    // whichever the launcher takes as the first one.
    ImmDisableIME(static_cast<DWORD>(-1));

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassW(&windowClass)) return 1;

    HWND window = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  640, 360, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    standin::appendLogLine(standin::startRecord());

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
