#pragma once
// The reference count of the framework's own COM objects. A class implementing the given
// interfaces derives from ComObject<...> and writes QueryInterface and its methods; it
// starts with one reference (for ComPtr::adopt) and deletes itself with the last Release.
#include <windows.h>
#include <unknwn.h>

namespace fw {

template <class... Interfaces>
class ComObject : public Interfaces... {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

protected:
    ComObject() = default;
    // Only Release deletes: objects live as long as their COM clients hold them.
    virtual ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

private:
    LONG m_refs = 1;
};

}  // namespace fw
