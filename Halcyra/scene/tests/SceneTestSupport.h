#pragma once
// What the scene tests share: file contents, polling, the engine stand-in beside the test
// program, and a message box recorder that answers OK.
#include "Halcyra/shell/Helpers.h"
#include "framework/MessageBox.h"

#include <windows.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace scene_test {

inline std::string readBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Polls until the condition holds; false after about ten seconds.
inline bool eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 200; ++i) {
        if (condition())
            return true;
        Sleep(50);
    }
    return condition();
}

// Ends every engine process, including those the code under test did not start.
inline void terminateAllEngines()
{
    for (DWORD id = findEngineProcess(); id != 0; id = findEngineProcess()) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process)
            return;
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

// A file beside this test program, such as the engine stand-in.
inline std::string besideThisProgram(const std::string& name)
{
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    return getFilePath(module) + "\\" + name;
}

// Records every message box for the lifetime of the object and answers OK.
class MessageBoxLog {
public:
    MessageBoxLog()
    {
        fw::setMessageBoxRecorder([this](const fw::MessageBoxCall& call) {
            calls.push_back(call);
            return IDOK;
        });
    }
    ~MessageBoxLog() { fw::setMessageBoxRecorder(nullptr); }
    MessageBoxLog(const MessageBoxLog&) = delete;
    MessageBoxLog& operator=(const MessageBoxLog&) = delete;

    std::vector<fw::MessageBoxCall> calls;
};

}  // namespace scene_test
