#pragma once
// The two removals the uninstaller offers. Each gives back what stayed: the entries inside
// the trees that could not be removed, for the user to remove by hand.
#include <string>

#include "UnInstall/TreeListing.h"

// The system-drive root ("\\?\C:\Orbelune") on the drive of the given system folder; empty
// when the folder is missing or does not start with a drive letter.
std::wstring systemDriveRoot(const wchar_t* systemFolder);
// The same for the Windows system folder; empty when it cannot be found.
std::wstring systemDriveRoot();

// The data root ("\\?\E:\Orbelune") named by the drive record in systemRoot; empty when
// there is no readable record or its first word is not a drive letter.
std::wstring dataRootFromRecord(const std::wstring& systemRoot);

// Deletes the files, then removes the directories, front to back. Returns what stayed:
// entries that could not be removed, the unusable names, and directories that stayed
// although nothing below them did. Kept files are not counted, nor are the directories
// that hold them.
PathList removeListed(const TreeListing& listing);

// Everything: the system-drive root, the drive record with it, and the data root. An
// empty or malformed system root removes nothing.
PathList removeAll(const std::wstring& systemRoot);
PathList removeAll();

// The system-drive root except the drive record; the data root stays.
PathList removeApplicationOnly(const std::wstring& systemRoot);
PathList removeApplicationOnly();
