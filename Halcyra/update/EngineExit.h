#pragma once
// Makes sure the engine application is not running before its files are replaced.
#include "framework/UniqueHandle.h"

#include <windows.h>

// Asks the user to close a running engine and waits until it has gone, asking every few
// seconds whether to keep waiting. An engine still running then (one started meanwhile) is
// force-closed, and the wait goes on, with the same question, until taskkill has ended and
// the engine is gone. False when the user stops waiting or stop (an event, may be nullptr)
// is signalled; true otherwise.
bool waitForEngineExit(HANDLE stop = nullptr);

// Force-closes a running engine with taskkill and waits until taskkill has ended and the
// engine is gone, asking every 5 s whether to keep waiting. False when the user stops
// waiting or stop is signalled.
bool forceCloseAndWait(HANDLE stop = nullptr);

// Starts the system's taskkill on the engine's executable name, hidden; its process, or
// none when it could not be started.
fw::UniqueHandle forceCloseEngine();
