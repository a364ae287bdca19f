#pragma once
// Building and inspecting directory trees in the uninstaller's tests.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/DriveFixture.h"

namespace uninstall_test {

// A drive letter of the test's own, empty when mapped and gone again when the object ends.
class TestDrive {
public:
    explicit TestDrive(char letter) : m_letter(letter) {}
    ~TestDrive();
    TestDrive(const TestDrive&) = delete;
    TestDrive& operator=(const TestDrive&) = delete;

    // Maps the letter and waits until Wine names files on it by that letter: for a second
    // or so after a drive appears, Wine still reports the Linux paths of its files and no
    // volume serial number.
    bool map();
    const std::string& error() const { return m_drives.error(); }

private:
    testing_support::DriveFixture m_drives;
    char m_letter;
    bool m_mapped = false;
};

// Writes content to path, creating the directories on the way; a test failure when that
// cannot be done. Paths of any length: a long-form path ("\\?\C:\...") is written as it is.
void writeFile(const std::filesystem::path& path, const std::string& content = "data");

// The long form of a drive path ("C:/a/" gives "\\?\C:\a"); a long path is kept as it is.
std::wstring longForm(const std::filesystem::path& path);

// Renames from in directory (a drive path ending in "/") to to, from Linux: Wine itself
// takes "orbelune" for an existing "Orbelune" and never makes the one beside the other.
bool renameFromLinux(const std::string& directory, const std::string& from, const std::string& to);

// Removes the link drive + "Orbelune" ("C:/" gives C:\Orbelune) from Linux. Once it is gone
// Wine finds a look-alike "orbelune" by its name: what is waited for is the link's mark.
bool removeRootLink(const std::string& drive);

// False while anything at all goes by that name (a long path), a Linux link whose target is
// gone included, which Wine neither lists nor opens.
bool nameIsFree(const std::wstring& longPath);

// Everything below the long path root, root included when it is there, as long paths: names
// ending in dots or spaces are listed as stored. Links are listed and not followed.
std::vector<std::wstring> entriesBelow(const std::wstring& root);

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

// Every entry on every drive of the prefix except below the given roots ("C:\Orbelune",
// letter case and trailing dots as stored: "C:\orbelune" and "C:\Orbelune." are not excluded):
// its path, attributes, and for files size and time of last write, one line each, sorted.
// Links are listed and not followed. Two snapshots differ when anything outside the roots
// was created, removed, changed or had its attributes changed.
std::vector<std::wstring> snapshotDrives(const std::vector<std::wstring>& excludedRoots);

}  // namespace uninstall_test
