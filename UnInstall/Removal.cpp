#include "UnInstall/Removal.h"

#include <windows.h>
#include <shlobj.h>

#include <unordered_set>

#include "UnInstall/EntryRemoval.h"
#include "framework/UniqueHandle.h"

namespace {

const wchar_t kRootFolder[] = L":\\Orbelune";
const wchar_t kDriveRecord[] = L"disk.dat";
// The record holds one letter; its first word lies within the first few kilobytes.
const DWORD kRecordReadLimit = 4096;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Empty unless drive is a letter.
std::wstring rootOnDrive(wchar_t drive) { return longPathOf(std::wstring(1, drive) + kRootFolder); }

// A root given by the caller must be one that longPathOf would make: anything else could
// stand for another place.
bool isLongDrivePath(const std::wstring& root) { return !root.empty() && longPathOf(displayPathOf(root)) == root; }

// Remembers the directories that must stay because something inside them does.
class Holders {
public:
    void holdParentsOf(const std::wstring& path) {
        for (size_t end = path.rfind(L'\\'); end != std::wstring::npos && end > 0; end = path.rfind(L'\\', end - 1)) {
            if (!m_held.insert(path.substr(0, end)).second) return;  // its parents are held already
        }
    }
    bool holds(const std::wstring& directory) const { return m_held.count(directory) != 0; }

private:
    std::unordered_set<std::wstring> m_held;
};

}  // namespace

std::wstring systemDriveRoot(const wchar_t* systemFolder) {
    if (!systemFolder || !systemFolder[0] || systemFolder[1] != L':') return std::wstring();
    return rootOnDrive(systemFolder[0]);
}

std::wstring systemDriveRoot() {
    wchar_t systemFolder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, systemFolder, CSIDL_SYSTEM, FALSE)) return std::wstring();
    return systemDriveRoot(systemFolder);
}

std::wstring dataRootFromRecord(const std::wstring& systemRoot) {
    if (systemRoot.empty()) return std::wstring();
    fw::UniqueHandle record(CreateFileW((systemRoot + L'\\' + kDriveRecord).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!record) return std::wstring();
    char text[kRecordReadLimit];
    DWORD length = 0;
    if (!ReadFile(record.get(), text, sizeof text, &length, nullptr)) return std::wstring();

    // The first whitespace-delimited word; anything but a drive letter would make the data
    // root a path nobody chose.
    DWORD start = 0;
    while (start < length && isBlank(text[start])) ++start;
    DWORD end = start;
    while (end < length && !isBlank(text[end])) ++end;
    if (end - start != 1) return std::wstring();
    return rootOnDrive(static_cast<unsigned char>(text[start]));
}

PathList removeListed(const TreeListing& listing) {
    EntryRemover remover;
    Holders holders;
    PathList stayed;
    for (const std::wstring& file : listing.files) {
        if (remover.remove(file)) continue;
        stayed.push_back(file);
        holders.holdParentsOf(file);
    }
    for (const std::wstring& entry : listing.unusable) {
        stayed.push_back(entry);
        holders.holdParentsOf(entry);
    }
    for (const std::wstring& file : listing.kept) holders.holdParentsOf(file);
    for (const std::wstring& directory : listing.directories) {
        if (remover.remove(directory)) continue;
        if (!holders.holds(directory)) stayed.push_back(directory);
        holders.holdParentsOf(directory);
    }
    return stayed;
}

PathList removeAll(const std::wstring& systemRoot) {
    if (!isLongDrivePath(systemRoot)) return PathList();

    const std::wstring root = storedPathOf(systemRoot);
    TreeListing listing;
    listTree(root, std::wstring(), listing);
    listing.directories.push_back(root);

    // Read after listing and before deleting: the record is in the file list itself. A root
    // that is a link is not entered, not even for the record. On the system drive the data
    // root is the system-drive root, listed already.
    const std::wstring dataRoot = isPlainDirectory(root) ? storedPathOf(dataRootFromRecord(root)) : std::wstring();
    if (!dataRoot.empty() && CompareStringOrdinal(dataRoot.c_str(), -1, root.c_str(), -1, TRUE) != CSTR_EQUAL) {
        listTree(dataRoot, std::wstring(), listing);
        listing.directories.push_back(dataRoot);
    }
    return removeListed(listing);
}

PathList removeAll() { return removeAll(systemDriveRoot()); }

PathList removeApplicationOnly(const std::wstring& systemRoot) {
    if (!isLongDrivePath(systemRoot)) return PathList();

    const std::wstring root = storedPathOf(systemRoot);
    TreeListing listing;
    listTree(root, kDriveRecord, listing);
    listing.directories.push_back(root);
    return removeListed(listing);
}

PathList removeApplicationOnly() { return removeApplicationOnly(systemDriveRoot()); }
