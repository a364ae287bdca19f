#pragma once
// The page the launcher opens: the text of "web.ini", or the start page built into the
// program when that file is missing, unreadable or empty.
#include <string>

// The bytes of the file up to its first zero byte, untrimmed (line ends included); empty
// when it cannot be read.
std::string readStartPage(const char* fileName);

// "res://<path>/<page>": a page among the HTML resources of the program at this path.
// '%' and '#' in the path are escaped: the browser would read them as the start of an
// escape or of the fragment.
std::wstring programPageAddress(const std::wstring& path, const wchar_t* page);

// programPageAddress(programPath(), "start.html"): the start page among the program's
// HTML resources.
std::wstring builtInStartPage();

// The address to navigate to: the file's text, converted from the ANSI code page, or
// builtInStartPage() when that gives no text.
std::wstring startPageAddress(const char* fileName);
