#pragma once
// Waiting for another process or thread to get somewhere, without assuming how long it
// takes: the condition is polled until it holds or the patience runs out.
#include <windows.h>

namespace testing_support {

// True as soon as condition() holds; false when it still does not after milliseconds.
template <typename Condition>
bool eventually(Condition condition, int milliseconds = 20000) {
    for (int waited = 0; waited < milliseconds; waited += 10) {
        if (condition()) return true;
        ::Sleep(10);
    }
    return condition();
}

}  // namespace testing_support
