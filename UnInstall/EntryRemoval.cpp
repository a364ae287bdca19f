#include "UnInstall/EntryRemoval.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "framework/UniqueHandle.h"

namespace {

// "\\?\C:" in front of the volume-relative part of a long path.
const size_t kVolumePartLength = 6;

bool markForDeletion(HANDLE entry) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool setAttributes(HANDLE entry, DWORD attributes) {
    FILE_BASIC_INFO basic = {};  // zero times: left as they are
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

bool sameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// A path component without the dots and spaces it ends with.
std::wstring withoutTrailingDots(const std::wstring& component) {
    const size_t last = component.find_last_not_of(L". ");
    return last == std::wstring::npos ? std::wstring() : component.substr(0, last + 1);
}

// Wine reports names without the dots (and, last in the path, the spaces) they end with.
// A component that differs by those alone can only be a sibling in the same directory,
// never a place outside the tree.
bool isListedEntry(const std::wstring& reported, const std::wstring& listed) {
    if (sameText(reported, listed)) return true;
    size_t r = 0;
    size_t l = 0;
    while (r < reported.size() && l < listed.size()) {
        const size_t rEnd = std::min(reported.find(L'\\', r), reported.size());
        const size_t lEnd = std::min(listed.find(L'\\', l), listed.size());
        const std::wstring rPart = reported.substr(r, rEnd - r);
        const std::wstring lPart = listed.substr(l, lEnd - l);
        if (!sameText(rPart, lPart) && (rPart.empty() || !sameText(withoutTrailingDots(rPart), withoutTrailingDots(lPart))))
            return false;
        r = rEnd + 1;
        l = lEnd + 1;
    }
    return r >= reported.size() && l >= listed.size();
}

bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

bool EntryRemover::remove(const std::wstring& longPath) {
    if (longPath.size() <= kVolumePartLength) return false;
    fw::UniqueHandle entry(CreateFileW(longPath.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry) return isGone(GetLastError());

    // The entry must be the one that was listed, on the volume that was listed.
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(entry.get(), &info)) return false;
    DWORD serial = 0;
    if (!volumeSerial(longPath[4], serial) || info.dwVolumeSerialNumber != serial) return false;
    if (!isListedEntry(pathOnVolume(entry.get()), longPath.substr(kVolumePartLength))) return false;

    if (markForDeletion(entry.get())) return true;
    if (GetLastError() != ERROR_ACCESS_DENIED || !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) return false;
    if (!setAttributes(entry.get(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY)) return false;
    if (markForDeletion(entry.get())) return true;
    setAttributes(entry.get(), info.dwFileAttributes);
    return false;
}

bool EntryRemover::volumeSerial(wchar_t drive, DWORD& serial) {
    drive = static_cast<wchar_t>(std::towupper(drive));
    auto known = m_serials.find(drive);
    if (known == m_serials.end()) {
        const wchar_t root[] = {L'\\', L'\\', L'?', L'\\', drive, L':', L'\\', L'\0'};
        fw::UniqueHandle handle(CreateFileW(root, FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        const bool readable = handle && GetFileInformationByHandle(handle.get(), &info);
        known = m_serials.emplace(drive, std::make_pair(readable, readable ? info.dwVolumeSerialNumber : 0)).first;
    }
    serial = known->second.second;
    return known->second.first;
}

std::wstring EntryRemover::pathOnVolume(HANDLE entry) {
    // Room for the longest path there is, kept for the next entry.
    m_nameBuffer.resize(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(m_nameBuffer.data());
    if (!GetFileInformationByHandleEx(entry, FileNameInfo, info, static_cast<DWORD>(m_nameBuffer.size())))
        return std::wstring();
    return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
}
