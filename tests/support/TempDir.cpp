#include "tests/support/TempDir.h"

#include <windows.h>

#include <stdexcept>

namespace testing_support {

TempDir::TempDir() {
    char base[MAX_PATH];
    char name[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, base) || !GetTempFileNameA(base, "tst", 0, name)) {
        throw std::runtime_error("no temporary name");
    }
    // GetTempFileName reserves the name as a file; a directory takes its place.
    DeleteFileA(name);
    if (!CreateDirectoryA(name, nullptr)) throw std::runtime_error("cannot create temporary directory");
    m_path = name;
}

TempDir::~TempDir() {
    removeTree(m_path);
}

bool removeTree(const std::string& dir) {
    bool ok = true;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string full = dir + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ok = removeTree(full) && ok;
            } else {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                    SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                }
                ok = DeleteFileA(full.c_str()) && ok;
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    return RemoveDirectoryA(dir.c_str()) && ok;
}

}  // namespace testing_support
