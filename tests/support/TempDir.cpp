#include "tests/support/TempDir.h"

#include <windows.h>

#include <stdexcept>

#include "framework/UniqueHandle.h"
#include "tests/support/LinuxProgram.h"

namespace testing_support {
namespace {

// Starts a Unix command in directory and waits until exists(path) says it is done.
// Wine gives no waitable handle for a Unix process, hence the polling.
bool runUnix(const std::string& directory, const std::string& command, const std::string& path, bool exists) {
    const std::string line = "\\\\?\\unix\\bin\\" + command;
    if (!startLinuxProgram(std::wstring(line.begin(), line.end()), std::wstring(directory.begin(), directory.end())))
        return false;
    for (int waited = 0; waited < 10000; waited += 10) {
        if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == exists) return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

TempDir::TempDir() {
    char base[MAX_PATH];
    char name[MAX_PATH];
    // A longer temporary path is not written into base at all, only its length returned.
    const DWORD length = GetTempPathA(MAX_PATH, base);
    if (length == 0 || length > MAX_PATH || !GetTempFileNameA(base, "tst", 0, name)) {
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
    fw::UniqueFindHandle find(FindFirstFileA((dir + "\\*").c_str(), &entry));
    if (find) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string full = dir + "\\" + name;
            const DWORD attributes = entry.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                // A link to a directory: removing what it points at would reach beyond the tree.
                ok = RemoveDirectoryA(full.c_str()) && ok;
            } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                ok = removeTree(full) && ok;
            } else {
                if (attributes & FILE_ATTRIBUTE_READONLY) {
                    SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                }
                ok = DeleteFileA(full.c_str()) && ok;
            }
        } while (FindNextFileA(find.get(), &entry));
    }
    // The search must be closed before its directory can go.
    find.reset();
    return RemoveDirectoryA(dir.c_str()) && ok;
}

bool makeLinuxLink(const std::string& directory, const std::string& target, const std::string& name) {
    return runUnix(directory, "ln -s " + target + " " + name, directory + "/" + name, true);
}

void removeLinuxLink(const std::string& directory, const std::string& name) {
    runUnix(directory, "rm -f " + name, directory + "/" + name, false);
}

}  // namespace testing_support
