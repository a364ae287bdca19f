#pragma once
// Small stateless helpers shared by the launcher's subsystems: conversion between the
// browser's UTF-16 text and the launcher's ANSI code page text, path splitting, directory
// creation, running a program to its end, and finding the engine application's process
// and window.
#include <windows.h>

#include <functional>
#include <string>

// ANSI code page conversions; any failure, or a length of 0 or less, gives empty text.
std::string toNarrow(const wchar_t* text, int length);
std::string toNarrow(const std::wstring& text);
std::wstring toWide(const char* text, int length);
std::wstring toWide(const std::string& text);

// The full path of the running program; empty when Windows does not give it.
std::wstring programPath();

// The text with its ASCII letters in lower case (header names, file extensions).
std::string lowerAscii(std::string text);

// Paths take '/' and '\' alike as separators.
std::string getFilePath(const std::string& path);       // before the last separator, or ""
std::string getFileName(const std::string& path);       // after the last separator
std::string getFileExtension(const std::string& name);  // after the last '.', or ""
bool createDirectories(const std::string& path);        // true when the directory exists at the end
bool createParentDirs(const std::string& path);         // createDirectories(getFilePath(path))

// The message shown when a file the launcher writes cannot be created (the scene
// description, the engine's command record, a download's partial file), as a user message.
void showCreateFileFailed(const std::string& path);

// Runs the command line in the working directory directory, with its window shown as show
// says (SW_HIDE, SW_SHOW), and waits for it to end; false when it cannot be started.
// exitCode, when given, receives its exit code. The launcher's own current directory is
// never changed for a program it starts: threads would race for it. When stop, an event,
// is set first, the program is terminated and the result is false.
bool runAndWait(const std::string& commandLine, WORD show, const std::string& directory,
                unsigned long* exitCode = nullptr, HANDLE stop = nullptr);

// Id of the first process named exactly exeName (letter case included) other than
// skippedId; 0 if there is none. Process id 0 is the idle process, so 0 skips nothing.
DWORD findProcessByName(const wchar_t* exeName, DWORD skippedId = 0);
// Process id of a running "Vistaweaver-Win64-Shipping.exe" (exact letter case), or 0.
DWORD findEngineProcess();
// Calls visit for the process's top-level windows in enumeration order until it returns
// false. visit must not throw: it runs inside EnumWindows.
void forEachProcessWindow(DWORD processId, const std::function<bool(HWND)>& visit);
// First top-level window, in enumeration order, owned by the process; nullptr if none.
HWND findProcessWindow(DWORD processId);
