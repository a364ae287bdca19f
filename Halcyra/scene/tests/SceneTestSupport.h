#pragma once
// What the scene tests share: file contents, polling, the engine stand-in beside the test
// program, and a message box recorder that answers OK.
#include "Halcyra/common/Helpers.h"
#include "framework/MessageBox.h"
#include "framework/UniqueHandle.h"
#include "tests/support/Eventually.h"
#include "tests/support/Files.h"

#include <windows.h>

#include <vector>

namespace scene_test {

using testing_support::besideThisProgram;
using testing_support::eventually;
using testing_support::readBytes;
using testing_support::writeBytes;

// Ends every engine process, including those the code under test did not start.
inline void terminateAllEngines()
{
    for (DWORD id = findEngineProcess(); id != 0; id = findEngineProcess()) {
        const fw::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process)
            return;
        TerminateProcess(process.get(), 0);
        WaitForSingleObject(process.get(), 5000);
    }
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
