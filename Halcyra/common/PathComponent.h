#pragma once
// What Windows makes of a single component of a path before it looks for a file: the
// rules every path built from outside text (a page's name, a requested file) is held to.
#include <string>

// "/" or "\": Windows takes either between the components of a path.
inline bool isSeparator(char c) { return c == '/' || c == '\\'; }
inline bool isSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Windows drops trailing dots and spaces from a component, so "..." and ".. " name the
// parent directory just as ".." does.
bool isParentReference(const std::wstring& component);

// CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9 (and the superscript digits), in any letter
// case, with or without an extension: Windows takes the part before the first dot,
// without trailing spaces, for the device, so "nul.pak", "NUL.tar.gz" and "nul .pak" all
// open NUL.
bool isDeviceName(const std::wstring& component);
