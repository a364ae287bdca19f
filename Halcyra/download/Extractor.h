#pragma once
// Unpacks a finished ".7z" download with the 7z.exe in the system-drive root.
#include <windows.h>

#include <string>

// The extractor's command line; a path with a space is quoted, so that it reaches the
// extractor as one argument. Empty when the command would not fit the 1024-byte buffer it
// has always been formatted into (a truncated command must never run), or when a path
// holds a quote.
std::string extractorCommand(const std::string& systemRoot, const std::string& archive,
                             const std::string& targetDir);

// Runs the command hidden from the directory that holds 7z.exe (the system-drive root) and
// waits for it to end. True only when the extractor ran and exited with 0: 7-Zip reports a
// damaged archive, a wrong password or a full disk with another exit code, and then not
// every file came out. A set stop event ends the extractor midway, and the result is false.
bool runExtractor(const std::string& command, const std::string& systemRoot, HANDLE stop);
