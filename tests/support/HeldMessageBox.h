#pragma once
// Message boxes that a worker shows, held open until the test releases them (or a bound
// has passed): once asked() is signalled the test knows the worker waits in its box, and
// acts meanwhile. Every box is answered IDOK; afterwards boxes are answered at once.
#include "framework/MessageBox.h"
#include "framework/UniqueHandle.h"

#include <windows.h>

namespace testing_support {

class HeldMessageBox {
public:
    explicit HeldMessageBox(DWORD holdMs) : m_holdMs(holdMs) {
        fw::setMessageBoxRecorder([this](const fw::MessageBoxCall&) {
            ::SetEvent(m_asked.get());
            ::WaitForSingleObject(m_released.get(), m_holdMs);
            return IDOK;
        });
    }
    ~HeldMessageBox() {
        release();
        fw::setMessageBoxRecorder([](const fw::MessageBoxCall&) { return IDOK; });
    }
    HeldMessageBox(const HeldMessageBox&) = delete;
    HeldMessageBox& operator=(const HeldMessageBox&) = delete;

    // Signalled once a box has been asked for.
    HANDLE asked() const { return m_asked.get(); }
    // Lets every held box, and every later one, be answered.
    void release() { ::SetEvent(m_released.get()); }

private:
    DWORD m_holdMs;
    fw::UniqueHandle m_asked{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    fw::UniqueHandle m_released{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace testing_support
