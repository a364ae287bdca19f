#include "UnInstall/tests/TreeFiles.h"

#include <windows.h>

#include <algorithm>
#include <fstream>

#include "framework/UniqueHandle.h"

namespace fs = std::filesystem;

namespace uninstall_test {
namespace {

bool sameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void snapshotDirectory(const std::wstring& directory, const std::vector<std::wstring>& excluded,
                       std::vector<std::wstring>& lines) {
    WIN32_FIND_DATAW entry;
    fw::UniqueFindHandle search(FindFirstFileW((L"\\\\?\\" + directory + L"\\*").c_str(), &entry));
    if (!search) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = directory + L"\\" + name;
        if (std::any_of(excluded.begin(), excluded.end(), [&](const std::wstring& root) { return sameText(root, path); }))
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

std::wstring longForm(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
}

}  // namespace

bool mapDrive(testing_support::DriveFixture& drives, char letter) {
    if (!drives.map(letter)) return false;
    const wchar_t root[] = {L'\\', L'\\', L'?', L'\\', static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    for (int waited = 0; waited < 10000; waited += 50) {
        fw::UniqueHandle handle(CreateFileW(root, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        struct {
            FILE_NAME_INFO info;
            wchar_t more[MAX_PATH];
        } name = {};
        if (handle && GetFileInformationByHandleEx(handle.get(), FileNameInfo, &name, sizeof name) &&
            name.info.FileNameLength == sizeof(wchar_t) && name.info.FileName[0] == L'\\')
            return true;
        Sleep(50);
    }
    return false;
}

void eraseTree(const fs::path& path) {
    const std::wstring root = longForm(path.wstring());
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
    for (size_t separator = full.find_first_of(L"\\/", 7); separator != std::wstring::npos;
         separator = full.find_first_of(L"\\/", separator + 1))
        CreateDirectoryW(full.substr(0, separator).c_str(), nullptr);
    fw::UniqueHandle file(CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
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
