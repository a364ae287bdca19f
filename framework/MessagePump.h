#pragma once
// Waiting on the user-interface thread without freezing it: the thread's windows keep
// painting, and other threads that send to them (a worker's message box owned by the main
// window disables and activates its owner that way) are answered instead of blocked.
#include <windows.h>

namespace fw {

// Waits until object (may be nullptr) is signalled or timeoutMs (or INFINITE) has passed,
// dispatching this thread's messages meanwhile. The result of the wait (WAIT_OBJECT_0,
// WAIT_TIMEOUT, or WAIT_FAILED for an unusable object). A WM_QUIT
// taken from the queue is posted again when the wait ends, for the loop outside.
DWORD waitPumping(HANDLE object, DWORD timeoutMs);

}  // namespace fw
