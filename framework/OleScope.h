#pragma once
// OleInitialize for the current thread for the lifetime of the object. OLE counts the
// calls, so nested scopes are fine; only a successful initialisation is undone.
#include <windows.h>
#include <ole2.h>

namespace fw {

class OleScope {
public:
    OleScope() : m_hr(::OleInitialize(nullptr)) {}
    ~OleScope() {
        if (SUCCEEDED(m_hr)) ::OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

    bool ok() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};

}  // namespace fw
