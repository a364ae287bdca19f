#pragma once
#include <string>

namespace ROVodi {

// Path helpers of the table library. Paths are ANSI code page strings with '/' or '\'
// separators, handed to the narrow run-time functions as they are.

// The part before the last separator; empty when there is none ("a/b/" gives "a/b").
std::string getFilePath(const std::string& path);
// Creates the directory and its missing ancestors; true when it exists at the end.
// Directories made before a failure stay.
bool createDirectories(const std::string& path);
// createDirectories of the file's directory; false for a path without separator.
bool createParentDirs(const std::string& path);

}  // namespace ROVodi
