#include "Halcyra/download/Extractor.h"

#include "Halcyra/common/Helpers.h"

#include <windows.h>

#include <cstdio>

namespace {

const char kCommandFormat[] = "%s7z.exe x -r %s -y -pkol_pz@pz#kol -o%s";
const std::size_t kCommandBufferBytes = 1024;

}  // namespace

std::string extractorCommand(const std::string& systemRoot, const std::string& archive,
                             const std::string& targetDir)
{
    char command[kCommandBufferBytes];
    const int length = std::snprintf(command, sizeof command, kCommandFormat, systemRoot.c_str(),
                                     archive.c_str(), targetDir.c_str());
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof command) return std::string();
    return command;
}

bool runExtractor(const std::string& command, unsigned long* exitCode)
{
    return !command.empty() && runAndWait(command, SW_HIDE, exitCode);
}
