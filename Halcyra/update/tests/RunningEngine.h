#pragma once
// A copy of the engine stand-in running from a temporary directory, terminated at the end.
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <windows.h>

#include <string>

namespace test_files {

class RunningEngine {
public:
    static constexpr const char* kName = "Vistaweaver-Win64-Shipping.exe";

    RunningEngine()
    {
        const std::string standIn = testing_support::besideThisProgram(kName);
        if (!CopyFileA(standIn.c_str(), (m_dir / kName).c_str(), FALSE))
            return;
        std::string commandLine = "\"" + (m_dir / kName) + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       m_dir.path().c_str(), &startup, &m_process);
    }
    RunningEngine(const RunningEngine&) = delete;
    RunningEngine& operator=(const RunningEngine&) = delete;
    ~RunningEngine()
    {
        if (!m_process.hProcess)
            return;
        TerminateProcess(m_process.hProcess, 0);
        WaitForSingleObject(m_process.hProcess, 10000);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }

    bool started() const { return m_process.hProcess != nullptr; }
    // True once the process has ended, within timeoutMs.
    bool ended(DWORD timeoutMs) const
    {
        return WaitForSingleObject(m_process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    }

private:
    testing_support::TempDir m_dir;
    PROCESS_INFORMATION m_process = {};
};

}  // namespace test_files
