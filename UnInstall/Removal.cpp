#include "UnInstall/Removal.h"

#include <windows.h>
#include <shlobj.h>
#include <io.h>

#include <cctype>
#include <fstream>

#include "framework/UniqueHandle.h"

namespace {

const char kRootFolder[] = ":/Orbelune/";
const char kDriveRecord[] = "disk.dat";

bool endsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

std::string childPath(const std::string& directory, const char* name) {
    return endsWithSeparator(directory) ? directory + name : directory + '\\' + name;
}

bool isDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool isDriveLetter(const std::string& word) {
    return word.size() == 1 && std::isalpha(static_cast<unsigned char>(word[0]));
}

}  // namespace

void listTree(const std::string& directory, const std::string& exclusion, PathList& files,
              PathList& directories) {
    // An empty path would search the root of the current drive.
    if (directory.empty()) return;

    WIN32_FIND_DATAA entry;
    fw::UniqueFindHandle search(FindFirstFileA(childPath(directory, "*").c_str(), &entry));
    if (!search) return;
    do {
        if (isDotEntry(entry.cFileName)) continue;
        const std::string path = childPath(directory, entry.cFileName);
        const DWORD attributes = entry.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction or directory symbolic link may lead out of the tree: remove the
            // link itself and leave whatever it points at alone.
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                directories.push_back(path);
            } else {
                const std::string subdirectory = path + '\\';
                listTree(subdirectory, exclusion, files, directories);
                directories.push_back(subdirectory);
            }
        } else if (exclusion.empty() || std::string(entry.cFileName).find(exclusion) == std::string::npos) {
            files.push_back(path);
        }
    } while (FindNextFileA(search.get(), &entry));
}

std::string systemDriveRoot() {
    char systemFolder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, systemFolder, CSIDL_SYSTEM, FALSE)) return std::string();
    if (!std::isalpha(static_cast<unsigned char>(systemFolder[0]))) return std::string();
    return systemFolder[0] + std::string(kRootFolder);
}

std::string dataRootFromRecord(const std::string& systemRoot) {
    const std::string record = systemRoot + kDriveRecord;
    if (systemRoot.empty() || _access(record.c_str(), 4) != 0) return std::string();
    std::ifstream in(record);
    std::string drive;
    in >> drive;
    // Anything but a drive letter would make the data root a path nobody chose.
    if (!isDriveLetter(drive)) return std::string();
    return drive + kRootFolder;
}

void removeListed(const PathList& files, const PathList& directories) {
    for (const std::string& file : files) DeleteFileA(file.c_str());
    for (const std::string& directory : directories) RemoveDirectoryA(directory.c_str());
}

void removeAll() {
    const std::string systemRoot = systemDriveRoot();
    if (systemRoot.empty()) return;

    PathList files;
    PathList directories;
    listTree(systemRoot, std::string(), files, directories);
    directories.push_back(systemRoot);

    // Read after listing and before deleting: the record is in the file list itself.
    const std::string dataRoot = dataRootFromRecord(systemRoot);
    if (!dataRoot.empty()) {
        listTree(dataRoot, std::string(), files, directories);
        directories.push_back(dataRoot);
    }
    removeListed(files, directories);
}

void removeApplicationOnly() {
    const std::string systemRoot = systemDriveRoot();
    if (systemRoot.empty()) return;

    PathList files;
    PathList directories;
    listTree(systemRoot, kDriveRecord, files, directories);
    directories.push_back(systemRoot);
    removeListed(files, directories);
}
