#pragma once
// Building and inspecting directory trees in the uninstaller's tests.
#include <filesystem>
#include <string>
#include <vector>

namespace uninstall_test {

// Writes content to path, creating the directories on the way.
void writeFile(const std::filesystem::path& path, const std::string& content = "data");

// Relative paths of everything below root, sorted; directories end with "/", links do
// not and are not followed. Empty when root does not exist.
std::vector<std::string> contents(const std::filesystem::path& root);

// An installation as the launcher leaves it in root (ending with "/"): engine files,
// backups, downloads, an empty directory, and the drive record holding record.
void makeInstallation(const std::string& root, const std::string& record);

}  // namespace uninstall_test
