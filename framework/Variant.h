#pragma once
// Owner of a VARIANT (VariantClear). Move-only; the factories make the automation types
// that dispatch results use.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>

namespace fw {

class Variant {
public:
    Variant() { ::VariantInit(&m_v); }
    ~Variant() { ::VariantClear(&m_v); }

    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept {
        m_v = other.m_v;
        ::VariantInit(&other.m_v);
    }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            ::VariantClear(&m_v);
            m_v = other.m_v;
            ::VariantInit(&other.m_v);
        }
        return *this;
    }

    static Variant fromInt(int32_t value);
    static Variant fromFloat(float value);
    static Variant fromBool(bool value);   // VARIANT_TRUE (-1) for true
    static Variant fromInt64(int64_t value);
    static Variant fromString(const std::wstring& value);
    static Variant fromDispatch(IDispatch* value);   // adds a reference

    VARTYPE type() const { return m_v.vt; }
    const VARIANT& get() const { return m_v; }
    VARIANT* put() {
        ::VariantClear(&m_v);
        return &m_v;
    }
    // Hands the value to a caller-owned VARIANT (e.g. Invoke's pVarResult).
    void moveTo(VARIANT* target) {
        *target = m_v;
        ::VariantInit(&m_v);
    }

    // Text of a BSTR variant (up to its first zero character), or "" for other types.
    std::wstring str() const;

private:
    VARIANT m_v;
};

// Converts any variant to its text form (VariantChangeType to VT_BSTR).
HRESULT variantToString(const VARIANT& value, std::wstring& text);

}  // namespace fw
