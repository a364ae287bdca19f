#pragma once
// Makes sure the engine application is not running before its files are replaced.

// Asks the user to close a running engine and waits until it has gone, asking every few
// seconds whether to keep waiting. False when the user stops waiting; true otherwise.
bool waitForEngineExit();

// Starts the system's taskkill on the engine's executable name, hidden, without waiting.
void forceCloseEngine();
