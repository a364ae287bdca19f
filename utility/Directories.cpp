#include "utility/Directories.h"

#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <vector>

namespace ROVodi {

std::string getFilePath(const std::string& path) {
    const std::string::size_type separator = path.find_last_of("/\\");
    if (separator == std::string::npos) return std::string();
    return path.substr(0, separator);
}

bool createDirectories(const std::string& path) {
    if (path.empty()) return false;

    struct _stat64 status;
    if (_stat64(path.c_str(), &status) == 0) return (status.st_mode & _S_IFDIR) != 0;

    // Walk up to the root, remembering what is missing; anything but "missing" is an
    // error we cannot create our way out of.
    std::vector<std::string> missing;
    for (std::string p = path; !p.empty(); p = getFilePath(p)) {
        if (_stat64(p.c_str(), &status) != 0) {
            if (errno != ENOENT && errno != ENOTDIR) return false;
            missing.push_back(p);
        }
    }

    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const bool bareDrive = it->size() == 2 && (*it)[1] == ':';
        if (bareDrive) continue;
        if (_mkdir(it->c_str()) != 0 && _access(it->c_str(), 4) != 0) return false;
    }
    return true;
}

bool createParentDirs(const std::string& path) {
    return createDirectories(getFilePath(path));
}

}  // namespace ROVodi
