#pragma once
// Owner of a BSTR (SysFreeString). Move-only.
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace fw {

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : m_str(text ? ::SysAllocString(text) : nullptr) {}
    explicit Bstr(const std::wstring& text)
        : m_str(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(m_str); }

    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : m_str(other.detach()) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            ::SysFreeString(m_str);
            m_str = other.detach();
        }
        return *this;
    }

    BSTR get() const { return m_str; }
    BSTR* put() {
        ::SysFreeString(m_str);
        m_str = nullptr;
        return &m_str;
    }
    BSTR detach() {
        BSTR s = m_str;
        m_str = nullptr;
        return s;
    }
    UINT length() const { return ::SysStringLen(m_str); }
    // The text up to the first zero character, as script strings are read by callers.
    std::wstring str() const { return m_str ? std::wstring(m_str) : std::wstring(); }

private:
    BSTR m_str = nullptr;
};

}  // namespace fw
