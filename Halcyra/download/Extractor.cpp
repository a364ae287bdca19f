#include "Halcyra/download/Extractor.h"

#include "framework/UniqueHandle.h"

#include <windows.h>

#include <cstdio>
#include <vector>

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
    if (command.empty()) return false;
    std::vector<char> commandLine(command.begin(), command.end());
    commandLine.push_back('\0');  // CreateProcessA may write into it

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    const fw::UniqueHandle processHandle(process.hProcess);
    const fw::UniqueHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD code = 0;
    if (exitCode)
        *exitCode = GetExitCodeProcess(processHandle.get(), &code) ? code : STILL_ACTIVE;
    return true;
}
