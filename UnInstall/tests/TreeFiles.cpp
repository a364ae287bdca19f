#include "UnInstall/tests/TreeFiles.h"

#include <windows.h>

#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;

namespace uninstall_test {

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
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

}  // namespace uninstall_test
