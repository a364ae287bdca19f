#include "framework/Dispatch.h"

#include <new>

namespace fw {

ComPtr<TableDispatch> TableDispatch::create(std::vector<DispatchMethod> methods) {
    return ComPtr<TableDispatch>::adopt(new TableDispatch(std::move(methods)));
}

TableDispatch::TableDispatch(std::vector<DispatchMethod> methods) : m_methods(std::move(methods)) {}

void TableDispatch::detach() {
    m_detached = true;
    m_methods.clear();
}

HRESULT TableDispatch::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    // IDispatchEx is refused on purpose: script engines then use plain IDispatch.
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

std::vector<std::wstring> TableDispatch::methodNames() const {
    std::vector<std::wstring> names;
    for (const DispatchMethod& method : m_methods) names.push_back(method.name);
    return names;
}

HRESULT TableDispatch::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT TableDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT TableDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (!names[0]) return DISP_E_UNKNOWNNAME;
    for (size_t i = 0; i < m_methods.size(); ++i) {
        const std::wstring& name = m_methods[i].name;
        if (::CompareStringOrdinal(names[0], -1, name.c_str(), static_cast<int>(name.size()),
                                   TRUE) == CSTR_EQUAL) {
            ids[0] = static_cast<DISPID>(i + 1);
            // Methods take no named arguments: any further name is unknown.
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT TableDispatch::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) {
    if (m_detached) return E_UNEXPECTED;
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (id < 1 || static_cast<size_t>(id) > m_methods.size()) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    const DispatchMethod& method = m_methods[static_cast<size_t>(id) - 1];

    UINT argc = params ? params->cArgs : 0;
    if (params && params->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
    if (argc != method.argCount) return DISP_E_BADPARAMCOUNT;

    // Both the failure result and the handler are copied: a handler may detach the table,
    // and with it the method, while it runs.
    std::function<Variant()> failureResult;
    try {
        failureResult = method.failureResult;
        DispatchArgs args(argc);
        for (UINT i = 0; i < argc; ++i) {
            // rgvarg holds the arguments last first.
            HRESULT hr = variantToString(params->rgvarg[argc - 1 - i], args[i]);
            if (FAILED(hr)) {
                if (failureResult) return answerFailure(failureResult, result);
                if (argError) *argError = argc - 1 - i;
                return DISP_E_TYPEMISMATCH;
            }
        }
        std::function<Variant(const DispatchArgs&)> handler = method.handler;
        Variant value = handler(args);
        if (result) value.moveTo(result);
        return S_OK;
    } catch (const std::bad_alloc&) {
        if (failureResult) return answerFailure(failureResult, result);
        return E_OUTOFMEMORY;
    } catch (...) {
        if (failureResult) return answerFailure(failureResult, result);
        if (exception) {
            *exception = EXCEPINFO{};
            exception->scode = E_UNEXPECTED;
        }
        return DISP_E_EXCEPTION;
    }
}

HRESULT TableDispatch::answerFailure(const std::function<Variant()>& failureResult, VARIANT* result) {
    try {
        Variant value = failureResult();
        if (result) value.moveTo(result);
        return S_OK;
    } catch (...) {
        // Not even the failure result could be made: the call answers nothing.
        if (result) ::VariantInit(result);
        return S_OK;
    }
}

}  // namespace fw
