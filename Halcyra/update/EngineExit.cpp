#include "Halcyra/update/EngineExit.h"

#include "Halcyra/common/Helpers.h"
#include "framework/MessageBox.h"

#include <windows.h>

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

}  // namespace

bool waitForEngineExit()
{
    if (engineRunning()) {
        fw::messageBox(nullptr, kEngineRunningText, kEngineRunningCaption, MB_OK);
        Sleep(kSettleMs);
        int waited = kFirstWaitedMs;
        while (engineRunning()) {
            if (waited == kAskEveryMs) {
                if (fw::messageBox(nullptr, kStillRunningText, kStillRunningCaption, MB_YESNO) !=
                    IDYES)
                    return false;
                waited = 0;
            }
            waited += kPollMs;
            Sleep(kPollMs);
        }
    }
    // An engine started while the user was being asked must not hold its files either.
    if (engineRunning())
        forceCloseEngine();
    return true;
}

void forceCloseEngine()
{
    WinExec(kForceCloseCommand, SW_HIDE);
}
