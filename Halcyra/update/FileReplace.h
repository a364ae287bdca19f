#pragma once
// The two file operations that install an engine update and move the engine directories
// to another drive.
#include <string>
#include <vector>

// Appends the path of every file below dir, depth first in listing order. A file directly
// in dir comes out as dir + "\" + name (dir + name when dir ends in "\"); a file in a
// subdirectory as dir + subdirectory + "\" + name. A missing directory adds nothing.
void listFilesRecursive(const std::string& dir, std::vector<std::string>& files);

// Copies source to root + relative. An existing target is first moved to
// root + "bak/" + relative (replacing an older backup there). A missing source, or a
// source that already is the target, counts as done. When the target cannot be written
// completely, the user is told, the partial target is removed, the backup made by this
// call is moved back, and the result is false.
bool replaceWithBackup(const std::string& root, const std::string& source,
                       const std::string& relative);
