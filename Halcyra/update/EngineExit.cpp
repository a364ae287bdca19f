#include "Halcyra/update/EngineExit.h"

#include "Halcyra/common/Helpers.h"
#include "Halcyra/common/UserMessage.h"

#include <functional>
#include <string>

namespace {

const char kEngineRunningText[] =
    "检测到Vistaweaver程序正在运行，请先退出Vistaweaver再进行版本升级！";
const char kEngineRunningCaption[] = "Vistaweaver版本升级";
const char kStillRunningText[] =
    "检测到Vistaweaver尚未退出，可能是Vistaweaver程序正在关闭中，点是继续等待Vistaweaver程序退出！";
const char kStillRunningCaption[] = "Lumaro版本升级";
const char kForceCloseCommand[] = "taskkill /im Vistaweaver-Win64-Shipping.exe /f";

const DWORD kSettleMs = 1000;   // pause after the user has been told to close the engine
const DWORD kPollMs = 100;
const int kAskEveryMs = 5000;
// The wait counts as 2 s old when polling starts, so that with the settling pause the
// first question comes about 4 s after the first message, and then every 5 s.
const int kFirstWaitedMs = 2000;

bool engineRunning()
{
    return findEngineProcess() != 0;
}

// Sleeps unless stop is signalled first; false then.
bool pause(DWORD milliseconds, HANDLE stop)
{
    if (!stop) {
        Sleep(milliseconds);
        return true;
    }
    return WaitForSingleObject(stop, milliseconds) == WAIT_TIMEOUT;
}

// Polls while waiting() holds, asking whether to wait on each time the wait reaches 5 s
// (waitedMs counts as already waited). False on No or on stop.
bool waitWhile(const std::function<bool()>& waiting, int waitedMs, HANDLE stop)
{
    while (waiting()) {
        if (waitedMs == kAskEveryMs) {
            if (showUserMessage(kStillRunningText, kStillRunningCaption, MB_YESNO) != IDYES)
                return false;
            waitedMs = 0;
        }
        waitedMs += kPollMs;
        if (!pause(kPollMs, stop))
            return false;
    }
    return true;
}

}  // namespace

bool waitForEngineExit(HANDLE stop)
{
    if (engineRunning()) {
        showUserMessage(kEngineRunningText, kEngineRunningCaption, MB_OK);
        if (!pause(kSettleMs, stop) || !waitWhile(engineRunning, kFirstWaitedMs, stop))
            return false;
    }
    // An engine started while the user was being asked must not hold its files either.
    return !engineRunning() || forceCloseAndWait(stop);
}

bool forceCloseAndWait(HANDLE stop)
{
    // The files are replaced only once taskkill has ended and the engine is gone from the
    // process list, not while either may still be on its way.
    const fw::UniqueHandle taskkill = forceCloseEngine();
    return waitWhile(
        [&taskkill] {
            return (taskkill && WaitForSingleObject(taskkill.get(), 0) == WAIT_TIMEOUT) ||
                   engineRunning();
        },
        0, stop);
}

fw::UniqueHandle forceCloseEngine()
{
    std::string command = kForceCloseCommand;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return fw::UniqueHandle();
    const fw::UniqueHandle thread(process.hThread);
    return fw::UniqueHandle(process.hProcess);
}
