#include "framework/Variant.h"

#include "framework/ComPtr.h"

namespace fw {

Variant Variant::fromInt(int32_t value) {
    Variant v;
    v.m_v.vt = VT_I4;
    v.m_v.lVal = value;
    return v;
}

Variant Variant::fromFloat(float value) {
    Variant v;
    v.m_v.vt = VT_R4;
    v.m_v.fltVal = value;
    return v;
}

Variant Variant::fromBool(bool value) {
    Variant v;
    v.m_v.vt = VT_BOOL;
    v.m_v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::fromInt64(int64_t value) {
    Variant v;
    v.m_v.vt = VT_I8;
    v.m_v.llVal = value;
    return v;
}

Variant Variant::fromString(const std::wstring& value) {
    Variant v;
    v.m_v.bstrVal = ::SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    if (v.m_v.bstrVal) v.m_v.vt = VT_BSTR;
    return v;
}

Variant Variant::fromDispatch(IDispatch* value) {
    Variant v;
    v.m_v.vt = VT_DISPATCH;
    v.m_v.pdispVal = value;
    if (value) value->AddRef();
    return v;
}

std::wstring Variant::str() const {
    if (m_v.vt != VT_BSTR || !m_v.bstrVal) return std::wstring();
    return std::wstring(m_v.bstrVal);
}

HRESULT variantToString(const VARIANT& value, std::wstring& text) {
    Variant converted;
    HRESULT hr = ::VariantChangeType(converted.put(), const_cast<VARIANT*>(&value), 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    text = converted.str();
    return S_OK;
}

bool sameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return a == b;
    ComPtr<IUnknown> ua, ub;
    a->QueryInterface(IID_IUnknown, ua.putVoid());
    b->QueryInterface(IID_IUnknown, ub.putVoid());
    return ua && ua.get() == ub.get();
}

}  // namespace fw
