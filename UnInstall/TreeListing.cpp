#include "UnInstall/TreeListing.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "framework/UniqueHandle.h"

namespace {

const wchar_t kLongPrefix[] = L"\\\\?\\";
const size_t kLongPrefixLength = 4;

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool isDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// A name that would become another path when appended: a separator, a drive or stream
// colon. Windows never reports such a name; an odd file system might.
bool isUsableName(const std::wstring& name) {
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos;
}

bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// One directory being searched: its path and the search, with the entry it returned last.
struct OpenDirectory {
    std::wstring path;
    fw::UniqueFindHandle search;
    WIN32_FIND_DATAW entry;
    bool entryPending;
};

// Starts the search of path; false when the directory cannot be searched.
bool openDirectory(const std::wstring& path, std::vector<OpenDirectory>& open) {
    OpenDirectory level{path, fw::UniqueFindHandle(), {}, true};
    level.search.reset(FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &level.entry,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!level.search) return false;
    open.push_back(std::move(level));
    return true;
}

// Depth first with a stack of its own instead of recursion: the long form lets a tree be
// thousands of levels deep.
void listEntries(const std::wstring& root, const std::wstring& exclusion, TreeListing& listing) {
    std::vector<OpenDirectory> open;
    if (!openDirectory(root, open)) return;
    while (!open.empty()) {
        OpenDirectory& current = open.back();
        if (!current.entryPending && !FindNextFileW(current.search.get(), &current.entry)) {
            // Everything below it is listed: the directory itself follows (the root is the caller's).
            std::wstring finished = std::move(current.path);
            open.pop_back();
            if (!open.empty()) listing.directories.push_back(std::move(finished));
            continue;
        }
        current.entryPending = false;
        const WIN32_FIND_DATAW& entry = current.entry;
        if (isDotEntry(entry.cFileName)) continue;
        const std::wstring name = entry.cFileName;
        const std::wstring path = current.path + L'\\' + name;
        if (!isUsableName(name)) {
            listing.unusable.push_back(path);
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction or directory link may lead out of the tree: only the link goes.
            if (isLink(entry.dwFileAttributes) || !openDirectory(path, open)) listing.directories.push_back(path);
        } else if (!exclusion.empty() && name.find(exclusion) != std::wstring::npos) {
            listing.kept.push_back(path);
        } else {
            listing.files.push_back(path);
        }
    }
}

}  // namespace

std::wstring longPathOf(const std::wstring& path) {
    if (path.size() <= 3 || !isAsciiLetter(path[0]) || path[1] != L':' || !isSeparator(path[2])) return std::wstring();
    std::wstring result = kLongPrefix + path;
    for (size_t i = kLongPrefixLength; i < result.size(); ++i)
        if (result[i] == L'/') result[i] = L'\\';
    while (isSeparator(result.back())) result.pop_back();
    // A drive's own root is never one of the trees.
    if (result.size() <= kLongPrefixLength + 2) return std::wstring();
    // "." and ".." are resolved by nobody in the long form; refuse them rather than pass them on.
    for (size_t start = kLongPrefixLength + 3; start <= result.size();) {
        size_t end = result.find(L'\\', start);
        if (end == std::wstring::npos) end = result.size();
        const std::wstring part = result.substr(start, end - start);
        if (part.empty() || part == L"." || part == L"..") return std::wstring();
        start = end + 1;
    }
    return result;
}

std::wstring storedPathOf(const std::wstring& longPath) {
    if (longPath.compare(0, kLongPrefixLength, kLongPrefix) != 0 || longPath.size() <= kLongPrefixLength + 2)
        return longPath;
    std::wstring stored = longPath.substr(0, kLongPrefixLength + 2);  // "\\?\C:"
    for (size_t start = stored.size() + 1; start <= longPath.size();) {
        const size_t end = std::min(longPath.find(L'\\', start), longPath.size());
        const std::wstring name = longPath.substr(start, end - start);
        WIN32_FIND_DATAW found;
        // A pattern would find other names: only a plain name is looked up.
        fw::UniqueFindHandle search(name.find_first_of(L"*?") == std::wstring::npos
                                        ? FindFirstFileExW((stored + L'\\' + name).c_str(), FindExInfoBasic, &found,
                                                           FindExSearchNameMatch, nullptr, 0)
                                        : INVALID_HANDLE_VALUE);
        stored += L'\\';
        stored += search ? std::wstring(found.cFileName) : name;
        start = end + 1;
    }
    return stored;
}

bool isPlainDirectory(const std::wstring& longPath) {
    const DWORD attributes = GetFileAttributesW(longPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink(attributes);
}

std::wstring displayPathOf(const std::wstring& longPath) {
    if (longPath.compare(0, kLongPrefixLength, kLongPrefix) == 0) return longPath.substr(kLongPrefixLength);
    return longPath;
}

void listTree(const std::wstring& directory, const std::wstring& exclusion, TreeListing& listing) {
    // A root that is a link is removed as the link; what it points at is not listed.
    if (directory.empty() || !isPlainDirectory(directory)) return;
    listEntries(directory, exclusion, listing);
}
