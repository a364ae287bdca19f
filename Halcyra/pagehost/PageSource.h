#pragma once
// Where the page host takes the page's files from: the HTML resources that Launcher.exe
// carries (type 23, named by their path, as res:// addresses find them), a directory, or
// another web address whose answers the host passes on under its own origin.
#include <windows.h>

#include <memory>
#include <string>

#include "Halcyra/pagehost/HttpServer.h"

class PageSource {
public:
    virtual ~PageSource() = default;
    // The answer for a GET of the page's path (percent-decoded, starting with "/", "/"
    // itself for the page's default document); target is the request's path and query
    // as they came, for a source that passes them on; a source that waits gives up when
    // stopping is signalled.
    virtual HttpResponse get(const std::string& path, const std::string& target, HANDLE stopping) = 0;
    // What it serves, for the host's first lines.
    virtual std::wstring describe() const = 0;

    // The source for a --page argument: an http(s) address, a directory, or, when empty,
    // the resources of the Launcher.exe beside this program. Null with a message when the
    // argument names neither.
    static std::unique_ptr<PageSource> open(const std::wstring& page, std::wstring& problem);
};

// "/a%20b.html" -> "/a b.html"; false for a path that could leave the page's files
// ("..", backslashes, drive colons, control characters, bad escapes).
bool decodePagePath(const std::string& target, std::string& path);

// The content type for a file name, by its extension.
std::string contentTypeOf(const std::string& path);

// The HTML with the tag put in where it runs before any script of the page: right after
// the <head> tag, else before the first <script>, else at the end. Nothing else moves,
// not even a line, so the page's error lines stay right.
std::string withTag(const std::string& html, const std::string& tag);
