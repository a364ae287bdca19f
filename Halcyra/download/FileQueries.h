#pragma once
// Queries on files that downloads placed in the save path. Names are relative to the save
// path and in the ANSI code page; a name that could reach outside the save path is treated
// as a missing file by every query.
#include <cstdint>
#include <string>

// False for a name that is absolute (first byte '/' or '\', or any ':') or that holds a
// parent-directory component.
bool isSafeName(const std::string& name);

// savePath + "/" + name, as the page's names are resolved.
std::string resolveName(const std::string& savePath, const std::string& name);

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
