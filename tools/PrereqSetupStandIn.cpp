// Stands in for the engine prerequisites installers: appends one line to a log beside
// itself (<own path>.log, UTF-8) with its command line and current directory, then exits.
#include <windows.h>

#include "StandInLog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return standin::appendLogLine(standin::startRecord()) ? 0 : 1;
}
