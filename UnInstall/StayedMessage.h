#pragma once
// The message that tells the user what the removal left behind.
#include <windows.h>

#include <string>

#include "UnInstall/TreeListing.h"

// How many entries stayed and the first few of them, one path a line.
std::wstring stayedMessageText(const PathList& stayed);

// Shows that message over owner, with owner's caption; nothing when nothing stayed.
void showWhatStayed(HWND owner, const PathList& stayed);
