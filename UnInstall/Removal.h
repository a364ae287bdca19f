#pragma once
// The two removals the uninstaller offers, and the listing they share. Paths are narrow
// strings in the ANSI code page, handled with the ANSI file functions.
#include <string>
#include <vector>

using PathList = std::vector<std::string>;

// Appends every file below directory (one that ends with "/" or "\") to files and every
// subdirectory to directories, depth first: a subdirectory follows everything below it.
// Files whose names contain exclusion are left out (an empty exclusion excludes nothing);
// directories never are. Links (reparse points) are listed as entries of their own and
// never followed.
void listTree(const std::string& directory, const std::string& exclusion, PathList& files,
              PathList& directories);

// "C:/Orbelune/" on the drive of the Windows system folder; empty if that cannot be found.
std::string systemDriveRoot();

// The data root named by the drive record in systemRoot ("E" gives "E:/Orbelune/"); empty
// when there is no readable record or it does not name a drive letter.
std::string dataRootFromRecord(const std::string& systemRoot);

// Deletes the files, then removes the directories, front to back; failures are skipped.
void removeListed(const PathList& files, const PathList& directories);

// Everything: the system-drive root, the drive record with it, and the data root.
void removeAll();

// The system-drive root except the drive record; the data root stays.
void removeApplicationOnly();
