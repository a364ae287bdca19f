#pragma once
// Starting a program of the test tree (C:\halcyra) in a process with another ANSI code
// page than the test's own.
//
// Under Wine a process takes its code page from the Linux locale it starts with: zh_CN.UTF-8
// gives 936, C.UTF-8 gives 1252. A Windows parent cannot hand a child another locale (the
// Linux environment is not rebuilt from the Windows one), so the child is started through
// Linux "env ... wine" in the same prefix, and its process is then found by image name.
#include <windows.h>

#include <string>

#include "framework/UniqueHandle.h"

namespace uninstall_test {

// Starts C:\halcyra\<program> with arguments (no spaces or quotes in them) under codePage
// (936 or 1252), with HALCYRA_CODE_PAGE set to that number in its environment. The handle allows waiting, exit codes and termination; none when the
// process could not be started or did not show up within a few seconds.
fw::UniqueHandle startInCodePage(UINT codePage, const std::wstring& program, const std::wstring& arguments);

}  // namespace uninstall_test
