#pragma once
// Uncopyable owners of Win32 handles. UniqueResource<Traits> closes its value with
// Traits::close unless it equals Traits::invalid(); moves hand ownership over.
#include <windows.h>

#include <utility>

namespace fw {

template <class Traits>
class UniqueResource {
public:
    using Value = typename Traits::Value;

    UniqueResource() = default;
    explicit UniqueResource(Value value) : m_value(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Value get() const { return m_value; }
    bool valid() const { return Traits::isValid(m_value); }
    explicit operator bool() const { return valid(); }

    Value release() {
        Value value = m_value;
        m_value = Traits::invalid();
        return value;
    }
    void reset(Value value = Traits::invalid()) {
        Value old = m_value;
        m_value = value;
        if (Traits::isValid(old)) Traits::close(old);
    }

private:
    Value m_value = Traits::invalid();
};

// Kernel handles: both NULL and INVALID_HANDLE_VALUE mean "none", since the Win32
// functions disagree on which one reports failure.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value invalid() { return nullptr; }
    static bool isValid(Value v) { return v != nullptr && v != INVALID_HANDLE_VALUE; }
    static void close(Value v) { ::CloseHandle(v); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// Directory searches (FindFirstFile): INVALID_HANDLE_VALUE means "none", FindClose ends them.
struct FindHandleTraits {
    using Value = HANDLE;
    static Value invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Value v) { return v != INVALID_HANDLE_VALUE; }
    static void close(Value v) { ::FindClose(v); }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

struct RegKeyTraits {
    using Value = HKEY;
    static Value invalid() { return nullptr; }
    static bool isValid(Value v) { return v != nullptr; }
    static void close(Value v) { ::RegCloseKey(v); }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;

struct MenuTraits {
    using Value = HMENU;
    static Value invalid() { return nullptr; }
    static bool isValid(Value v) { return v != nullptr; }
    static void close(Value v) { ::DestroyMenu(v); }
};
using UniqueMenu = UniqueResource<MenuTraits>;

}  // namespace fw
