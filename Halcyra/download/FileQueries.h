#pragma once
// Queries on files that downloads placed in the save path. Names are relative to the save
// path and in the ANSI code page; a name that resolveName refuses (no save path yet, a name
// reaching outside it, a device, a path too long) is a missing file to every query.
#include "Halcyra/download/NameResolution.h"

#include <cstdint>
#include <string>

// True when the path exists and is readable; a directory counts.
bool isFileExist(const std::string& savePath, const std::string& name);

// Deletes the file when isFileExist says it is there; a directory is left alone.
void deleteFile(const std::string& savePath, const std::string& name);

// The file's size in bytes; 0 when it cannot be opened (also while it is open elsewhere
// for writing).
std::int64_t getFileSize(const std::string& savePath, const std::string& name);

// MD5 of the file as 32 upper-case hexadecimal digits; empty for a missing, unreadable or
// empty file.
std::string getFileMD5(const std::string& savePath, const std::string& name);
