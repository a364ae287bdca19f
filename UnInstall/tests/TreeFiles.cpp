#include "UnInstall/tests/TreeFiles.h"

#include <windows.h>

#include <algorithm>
#include <fstream>

#include "framework/UniqueHandle.h"
#include "tests/support/Eventually.h"
#include "tests/support/LinuxProgram.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace uninstall_test {
namespace {

void snapshotDirectory(const std::wstring& directory, const std::vector<std::wstring>& excluded,
                       std::vector<std::wstring>& lines) {
    WIN32_FIND_DATAW entry;
    fw::UniqueFindHandle search(FindFirstFileW((L"\\\\?\\" + directory + L"\\*").c_str(), &entry));
    if (!search) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = directory + L"\\" + name;
        if (std::any_of(excluded.begin(), excluded.end(), [&](const std::wstring& root) { return root == path; }))
            continue;
        std::wstring line = path + L" attributes " + std::to_wstring(entry.dwFileAttributes);
        const bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!isDirectory) {
            const ULONGLONG size = (ULONGLONG(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            const ULONGLONG written = (ULONGLONG(entry.ftLastWriteTime.dwHighDateTime) << 32) | entry.ftLastWriteTime.dwLowDateTime;
            line += L" size " + std::to_wstring(size) + L" written " + std::to_wstring(written);
        }
        lines.push_back(line);
        if (isDirectory && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            snapshotDirectory(path, excluded, lines);
    } while (FindNextFileW(search.get(), &entry));
}

}  // namespace

std::wstring longForm(const fs::path& path) {
    std::wstring result = path.wstring();
    for (wchar_t& c : result)
        if (c == L'/') c = L'\\';
    while (!result.empty() && result.back() == L'\\') result.pop_back();
    return result.compare(0, 4, L"\\\\?\\") == 0 ? result : L"\\\\?\\" + result;
}

TestDrive::~TestDrive() {
    if (!m_mapped) return;
    m_drives.unmap(m_letter);
    // Wine keeps what it knew of the drives for the rest of the second: a directory made
    // meanwhile on the inode of the drive's old root would pass for that drive.
    Sleep(1100);
}

bool TestDrive::map() {
    m_mapped = m_drives.map(m_letter);
    if (!m_mapped) return false;
    const wchar_t root[] = {L'\\', L'\\', L'?', L'\\', static_cast<wchar_t>(m_letter), L':', L'\\', L'\0'};
    return testing_support::eventually(
        [&] {
            fw::UniqueHandle handle(CreateFileW(root, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            struct {
                FILE_NAME_INFO info;
                wchar_t more[MAX_PATH];
            } name = {};
            return handle && GetFileInformationByHandleEx(handle.get(), FileNameInfo, &name, sizeof name) &&
                   name.info.FileNameLength == sizeof(wchar_t) && name.info.FileName[0] == L'\\';
        },
        10000);
}

void eraseTree(const fs::path& path) {
    const std::wstring root = longForm(path);
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(root.c_str());
        return;
    }
    WIN32_FIND_DATAW entry;
    fw::UniqueFindHandle search(FindFirstFileW((root + L"\\*").c_str(), &entry));
    if (search) {
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") eraseTree(root + L"\\" + name);
        } while (FindNextFileW(search.get(), &entry));
    }
    search.reset();
    SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryW(root.c_str());
}

void writeFile(const fs::path& path, const std::string& content) {
    const std::wstring full = path.wstring();
    // Directories from the first name after the drive on: "\\?\C:\" or "C:\".
    const size_t first = full.compare(0, 4, L"\\\\?\\") == 0 ? 7 : 3;
    for (size_t separator = full.find_first_of(L"\\/", first); separator != std::wstring::npos;
         separator = full.find_first_of(L"\\/", separator + 1)) {
        if (!CreateDirectoryW(full.substr(0, separator).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            ADD_FAILURE() << "cannot create the directory " << fs::path(full.substr(0, separator));
    }
    fw::UniqueHandle file(CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
        written != content.size())
        ADD_FAILURE() << "cannot write " << path << " (error " << GetLastError() << ")";
}

bool renameFromLinux(const std::string& directory, const std::string& from, const std::string& to) {
    const std::string line = "\\\\?\\unix\\bin\\mv " + from + " " + to;
    if (!testing_support::startLinuxProgram(std::wstring(line.begin(), line.end()),
                                            std::wstring(directory.begin(), directory.end())))
        return false;
    // Nothing to wait on: Wine gives no handle of a Linux process.
    return testing_support::eventually(
        [&] { return GetFileAttributesA((directory + from).c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000);
}

bool removeRootLink(const std::string& drive) {
    const std::wstring directory(drive.begin(), drive.end());
    if (!testing_support::startLinuxProgram(L"\\\\?\\unix\\bin\\rm -f Orbelune", directory)) return false;
    return testing_support::eventually(
        [&] {
            const DWORD attributes = GetFileAttributesA((drive + "Orbelune").c_str());
            return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        },
        10000);
}

bool nameIsFree(const std::wstring& longPath) {
    // Only an exclusive creation tells: it fails on a name that is taken, whatever is behind
    // it. What it makes is gone when the handle closes.
    fw::UniqueHandle probe(CreateFileW(longPath.c_str(), DELETE, 0, nullptr, CREATE_NEW,
                                       FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return probe.valid();
}

std::vector<std::wstring> entriesBelow(const std::wstring& root) {
    std::vector<std::wstring> found;
    if (GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES) return found;
    found.push_back(root);
    for (size_t next = 0; next < found.size(); ++next) {
        const DWORD attributes = GetFileAttributesW(found[next].c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        WIN32_FIND_DATAW entry;
        fw::UniqueFindHandle search(FindFirstFileW((found[next] + L"\\*").c_str(), &entry));
        if (!search) continue;
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") found.push_back(found[next] + L"\\" + name);
        } while (FindNextFileW(search.get(), &entry));
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> contents(const fs::path& root) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        std::string relative = fs::relative(it->path(), root).generic_string();
        // The library's iterator would follow links that Wine shows as reparse points.
        if (GetFileAttributesW(it->path().c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)
            it.disable_recursion_pending();
        else if (it->is_directory())
            relative += '/';
        found.push_back(relative);
    }
    std::sort(found.begin(), found.end());
    return found;
}

void makeInstallation(const std::string& root, const std::string& record) {
    writeFile(root + "disk.dat", record);
    writeFile(root + "Vistaweaver.ver", "4.26");
    writeFile(root + "420/Engine/Binaries/game.exe");
    writeFile(root + "bak/old.pak");
    writeFile(root + "Download/scene.7z");
    fs::create_directories(root + "Download/empty");
}

std::vector<std::wstring> snapshotDrives(const std::vector<std::wstring>& excludedRoots) {
    std::vector<std::wstring> lines;
    wchar_t drives[128] = {};
    GetLogicalDriveStringsW(127, drives);
    for (const wchar_t* drive = drives; *drive; drive += wcslen(drive) + 1)
        snapshotDirectory(std::wstring(drive, 2), excludedRoots, lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace uninstall_test
