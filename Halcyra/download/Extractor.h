#pragma once
// Unpacks a finished ".7z" download with the 7z.exe in the system-drive root.
#include <string>

// The extractor's command line; empty when it would not fit the 1024-byte buffer the
// command has always been formatted into (a truncated command must never run).
std::string extractorCommand(const std::string& systemRoot, const std::string& archive,
                             const std::string& targetDir);

// Runs the command hidden and waits for it to end; false when it cannot be started.
// exitCode, when given, receives the extractor's exit code (0: everything extracted).
bool runExtractor(const std::string& command, unsigned long* exitCode = nullptr);
