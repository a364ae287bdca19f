#include "Halcyra/download/Extractor.h"

#include "Halcyra/common/Helpers.h"

#include <windows.h>

#include <cstdio>

namespace {

const char kCommandFormat[] = "%s7z.exe x -r %s -y -pkol_pz@pz#kol -o%s";
const std::size_t kCommandBufferBytes = 1024;

// Number of backslashes at the end of the path, stepping over double-byte characters
// whose second byte is the backslash's code.
std::size_t trailingBackslashes(const std::string& path)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
            count = 0;
        } else {
            count = path[i] == '\\' ? count + 1 : 0;
        }
    }
    return count;
}

// The path as one argument of the command line. A path with a space is quoted, and the
// backslashes before the closing quote are doubled so that they do not escape it; a path
// without one goes in unchanged. False for a path that holds a quote itself (no Windows
// file name does).
bool toArgument(const std::string& path, std::string& argument)
{
    if (path.find('"') != std::string::npos) return false;
    if (path.find_first_of(" \t") == std::string::npos) {
        argument = path;
        return true;
    }
    argument = '"' + path + std::string(trailingBackslashes(path), '\\') + '"';
    return true;
}

}  // namespace

std::string extractorCommand(const std::string& systemRoot, const std::string& archive,
                             const std::string& targetDir)
{
    std::string archiveArgument, targetArgument;
    if (!toArgument(archive, archiveArgument) || !toArgument(targetDir, targetArgument))
        return std::string();
    char command[kCommandBufferBytes];
    const int length = std::snprintf(command, sizeof command, kCommandFormat, systemRoot.c_str(),
                                     archiveArgument.c_str(), targetArgument.c_str());
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof command) return std::string();
    return command;
}

bool runExtractor(const std::string& command, const std::string& systemRoot, HANDLE stop)
{
    unsigned long exitCode = 0;
    return !command.empty() && runAndWait(command, SW_HIDE, systemRoot, &exitCode, stop) &&
           exitCode == 0;
}
