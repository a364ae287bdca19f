#pragma once
// Small file helpers for the update and drive-move tests.
#include "tests/support/Files.h"

#include <windows.h>

#include <string>

namespace test_files {

inline bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Writes content, creating the missing directories of path ("/" or "\" separated).
inline void write(const std::string& path, const std::string& content)
{
    for (std::size_t at = path.find_first_of("/\\", 3); at != std::string::npos;
         at = path.find_first_of("/\\", at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    testing_support::writeBytes(path, content);
}

// The file's bytes, or "<missing>" when it cannot be read.
inline std::string read(const std::string& path)
{
    return exists(path) ? testing_support::readBytes(path) : "<missing>";
}

// size bytes that differ at every offset a copy could get wrong.
inline std::string pattern(std::size_t size, unsigned seed = 7)
{
    std::string bytes(size, '\0');
    unsigned state = seed;
    for (char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 16);
    }
    return bytes;
}

}  // namespace test_files
