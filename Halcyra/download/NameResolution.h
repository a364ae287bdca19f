#pragma once
// How the page's names become paths, for downloads, file queries and version records
// alike: save path + "/" + name, where the name is a file name or a relative path in the
// ANSI code page. Every name is refused before the page has set a save path, and so is a
// name that would reach outside the save path, that Windows reads as a device, or whose
// path the file functions cannot take.
#include <cstddef>
#include <string>

// The path the name stands for, or empty when it is refused:
// - the save path is empty (not set yet);
// - the name is empty or absolute (first byte '/' or '\', or any ':');
// - a component is a parent reference: "..", or what Windows reads as one ("...", ".. ");
// - a component is a device name: CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, with or
//   without an extension, in any letter case;
// - the path, with room for suffixRoom more characters after it, is longer than the ANSI
//   file functions take, its directory longer than a directory can be created with, or a
//   component longer than a file name can be.
// No file function is called.
std::string resolveName(const std::string& savePath, const std::string& name,
                        std::size_t suffixRoom = 0);

// True when Windows takes both names, under one directory, for the same file: letter
// case, '/' against '\', repeated separators, "." components and the trailing dots and
// spaces of the last component make no difference.
bool isSameFileName(const std::string& first, const std::string& second);

// True when a directory of this path can be created (the save and uncompress paths).
bool fitsDirectoryLimit(const std::string& path);
