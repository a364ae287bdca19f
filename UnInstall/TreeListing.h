#pragma once
// The listing that both removals share. Paths are wide and in the long form
// ("\\?\C:\Orbelune\420"), so that every name is used exactly as the file system stores
// it: no code page, no trimming of trailing dots or spaces, no length limit.
#include <string>
#include <vector>

using PathList = std::vector<std::wstring>;

// What a listing found below a directory.
struct TreeListing {
    PathList files;        // files and links to files
    PathList directories;  // directories and directory links, each after everything below it
    PathList kept;         // files whose names hold the exclusion text: left in place
    PathList unusable;     // entries whose names no path can reach: left alone
};

// The long form of an absolute drive path ("C:/Orbelune/" gives "\\?\C:\Orbelune"), with
// every separator a backslash and none at the end; empty for anything but a letter, a colon
// and a separator followed by at least one name, so that nothing relative ever reaches the
// file functions.
std::wstring longPathOf(const std::wstring& path);

// The long path with every name as the file system stores it ("\\?\C:\ORBELUNE" when that is
// the folder "\\?\C:\Orbelune" finds); a name that is not found is kept as given. Entries are
// later compared with what their handles say, letter case included.
std::wstring storedPathOf(const std::wstring& longPath);

// True for a directory that is no link (reparse point).
bool isPlainDirectory(const std::wstring& longPath);

// The path as the user knows it: the long-form prefix dropped.
std::wstring displayPathOf(const std::wstring& longPath);

// Lists what lies below directory (a long path) into listing, depth first. Files whose names
// contain exclusion are kept (an empty exclusion keeps nothing); directories never are.
// Links (reparse points) are listed as entries of their own and never entered; a directory
// that is itself a link gives no entries. A directory that cannot be searched gives none.
void listTree(const std::wstring& directory, const std::wstring& exclusion, TreeListing& listing);
