#include "UnInstall/EntryRemoval.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <utility>

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

// A name without the dots and spaces it ends with.
std::wstring withoutTrailingDots(const std::wstring& name) {
    const size_t last = name.find_last_not_of(L". ");
    return last == std::wstring::npos ? std::wstring() : name.substr(0, last + 1);
}

bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
const DWORD kEntryFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// True when nothing goes by the name any more. Wine neither opens nor lists a Linux link
// whose target is gone; an exclusive creation, which fails on a name that is taken, tells
// such a link from nothing. What it makes goes again when its handle closes.
bool isNameFree(const std::wstring& longPath) {
    fw::UniqueHandle probe(CreateFileW(longPath.c_str(), DELETE, 0, nullptr, CREATE_NEW,
                                       FILE_FLAG_DELETE_ON_CLOSE | kEntryFlags, nullptr));
    return probe || GetLastError() == ERROR_PATH_NOT_FOUND;
}

}  // namespace

bool EntryRemover::remove(const std::wstring& longPath) {
    if (longPath.size() <= kVolumePartLength) return false;
    fw::UniqueHandle entry(CreateFileW(longPath.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                       OPEN_EXISTING, kEntryFlags, nullptr));
    if (!entry) return isGone(GetLastError()) && isNameFree(longPath);

    // The entry must be the one that was listed, on the volume that was listed.
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(entry.get(), &info)) return false;
    DWORD serial = 0;
    if (!volumeSerial(longPath[4], serial) || info.dwVolumeSerialNumber != serial) return false;
    if (pathOnVolume(entry.get()) != longPath.substr(kVolumePartLength) || passesLookAlike(longPath)) return false;

    if (markForDeletion(entry.get())) return true;
    if (GetLastError() != ERROR_ACCESS_DENIED || !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) return false;
    // Only a read-only entry needs the right to write attributes: the same entry, opened
    // again through its handle.
    fw::UniqueHandle writable(
        ReOpenFile(entry.get(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, kEntryFlags));
    if (!writable || !setAttributes(writable.get(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY)) return false;
    if (markForDeletion(writable.get())) return true;
    setAttributes(writable.get(), info.dwFileAttributes);
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

bool EntryRemover::passesLookAlike(const std::wstring& longPath) {
    for (size_t start = kVolumePartLength + 1; start < longPath.size();) {
        const size_t end = std::min(longPath.find(L'\\', start), longPath.size());
        const std::wstring directory = longPath.substr(0, start - 1);
        auto known = m_lookAlikes.find(directory);
        if (known == m_lookAlikes.end()) {
            std::unordered_set<std::wstring> trimmed;
            WIN32_FIND_DATAW found;
            fw::UniqueFindHandle search(FindFirstFileExW((directory + L"\\*").c_str(), FindExInfoBasic, &found,
                                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
            // A directory that cannot be searched cannot be vouched for.
            if (!search) return true;
            do {
                const std::wstring name = found.cFileName;
                const std::wstring shorter = withoutTrailingDots(name);
                if (!shorter.empty() && shorter != name) trimmed.insert(shorter);
            } while (FindNextFileW(search.get(), &found));
            known = m_lookAlikes.emplace(directory, std::move(trimmed)).first;
        }
        if (known->second.count(longPath.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}
