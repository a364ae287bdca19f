#include "framework/MessagePump.h"

namespace fw {
namespace {

// Dispatches every message waiting now; false once WM_QUIT came (its code in quitCode).
bool dispatchWaiting(int& quitCode)
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quitCode = static_cast<int>(msg.wParam);
            return false;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace

DWORD waitPumping(HANDLE object, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    const DWORD count = object ? 1 : 0;
    bool quit = false;
    int quitCode = 0;
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        DWORD remaining = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD waited = ::GetTickCount() - start;
            remaining = waited >= timeoutMs ? 0 : timeoutMs - waited;
        }
        // After WM_QUIT only sent messages are taken, so the wait does not spin on input
        // that is never removed.
        const DWORD wake = quit ? QS_SENDMESSAGE : QS_ALLINPUT;
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(count, &object, remaining, wake,
                                                         MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0 + count) {
            if (quit) {
                MSG msg;
                ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            } else if (!dispatchWaiting(quitCode)) {
                quit = true;
            }
            continue;
        }
        result = woke;
        break;
    }
    if (quit) ::PostQuitMessage(quitCode);
    return result;
}

}  // namespace fw
