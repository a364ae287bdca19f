#pragma once
// Automation object built from a method table, for page script and the script host.
//
// Each method has a name, a fixed argument count and a handler. DISPIDs are the table
// positions counted from 1. Names match without regard to letter case. Invoke accepts
// the method and property-get flags, refuses a wrong argument count with
// DISP_E_BADPARAMCOUNT before running anything, converts every argument to text with
// VariantChangeType and passes them in call order (rgvarg holds them reversed). The
// handler's Variant is the result. No C++ exception leaves Invoke.
//
// A call that fails after that (an argument that cannot be converted to text, a handler
// that throws, memory running out for either) answers an error, unless the method names
// a failure result: the caller then gets that result, as if the call had gone through.
//
// The object is reference counted by its COM clients; its owner calls detach() before
// the handlers' captures die, after which every call answers E_UNEXPECTED.
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/ComObject.h"
#include "framework/ComPtr.h"
#include "framework/Variant.h"

namespace fw {

using DispatchArgs = std::vector<std::wstring>;

struct DispatchMethod {
    std::wstring name;
    unsigned argCount;
    std::function<Variant(const DispatchArgs&)> handler;
    std::function<Variant()> failureResult = nullptr;  // optional; see above
};

class TableDispatch final : public ComObject<IDispatch> {
public:
    static ComPtr<TableDispatch> create(std::vector<DispatchMethod> methods);

    void detach();
    size_t methodCount() const { return m_methods.size(); }
    // The method names in table order (DISPID 1 first).
    std::vector<std::wstring> methodNames() const;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argError) override;

private:
    explicit TableDispatch(std::vector<DispatchMethod> methods);
    ~TableDispatch() override = default;

    static HRESULT answerFailure(const std::function<Variant()>& failureResult, VARIANT* result);

    std::vector<DispatchMethod> m_methods;
    bool m_detached = false;
};

}  // namespace fw
