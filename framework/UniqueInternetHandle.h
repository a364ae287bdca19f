#pragma once
// Owner of a WinINet handle (session, connection or request): InternetCloseHandle ends it.
#include "framework/UniqueHandle.h"

#include <windows.h>
#include <wininet.h>

namespace fw {

struct InternetHandleTraits {
    using Value = HINTERNET;
    static Value invalid() { return nullptr; }
    static bool isValid(Value v) { return v != nullptr; }
    static void close(Value v) { ::InternetCloseHandle(v); }
};
using UniqueInternetHandle = UniqueResource<InternetHandleTraits>;

}  // namespace fw
