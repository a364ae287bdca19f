#pragma once
// Building and inspecting directory trees in the uninstaller's tests.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/DriveFixture.h"

namespace uninstall_test {

// Maps the letter (DriveFixture::map) and waits until Wine names files on it by that
// letter: for a second or so after a drive appears, Wine still reports the Linux paths of
// its files and no volume serial number.
bool mapDrive(testing_support::DriveFixture& drives, char letter);

// Writes content to path, creating the directories on the way. Paths of any length: a
// long-form path ("\\?\C:\...") is written as it is.
void writeFile(const std::filesystem::path& path, const std::string& content = "data");

// Removes path and everything below it, names of any kind and length included (the
// library's remove_all never ends on a name with a trailing dot). Remove Linux links first:
// links to directories are left where they are, and Wine cannot tell a link to a file
// from the file it points at.
void eraseTree(const std::filesystem::path& path);

// Relative paths of everything below root, sorted; directories end with "/", links do
// not and are not followed. Empty when root does not exist.
std::vector<std::string> contents(const std::filesystem::path& root);

// An installation as the launcher leaves it in root (ending with "/"): engine files,
// backups, downloads, an empty directory, and the drive record holding record.
void makeInstallation(const std::string& root, const std::string& record);

// Every entry on every drive of the prefix except below the given roots ("C:\Orbelune"):
// its path, attributes, and for files size and time of last write, one line each, sorted.
// Links are listed and not followed. Two snapshots differ when anything outside the roots
// was created, removed, changed or had its attributes changed.
std::vector<std::wstring> snapshotDrives(const std::vector<std::wstring>& excludedRoots);

}  // namespace uninstall_test
