#include "framework/Dispatch.h"

#include <gtest/gtest.h>

#include <dispex.h>

#include <memory>
#include <new>
#include <stdexcept>

namespace {

struct Calls {
    std::vector<fw::DispatchArgs> seen;
};

// concat(a, b) -> "a|b"; twice(n) -> VT_I4; fail() throws; big() -> VT_I8.
fw::ComPtr<fw::TableDispatch> makeTable(Calls& calls) {
    std::vector<fw::DispatchMethod> methods;
    methods.push_back({L"concat", 2, [&calls](const fw::DispatchArgs& a) {
                           calls.seen.push_back(a);
                           return fw::Variant::fromString(a[0] + L"|" + a[1]);
                       }});
    methods.push_back({L"twice", 1, [&calls](const fw::DispatchArgs& a) {
                           calls.seen.push_back(a);
                           return fw::Variant::fromInt(2 * std::stoi(a[0]));
                       }});
    methods.push_back({L"fail", 0, [](const fw::DispatchArgs&) -> fw::Variant {
                           throw std::runtime_error("boom");
                       }});
    methods.push_back({L"big", 0, [](const fw::DispatchArgs&) {
                           return fw::Variant::fromInt64(int64_t(5) << 32);
                       }});
    return fw::TableDispatch::create(std::move(methods));
}

DISPID idOf(IDispatch* d, const wchar_t* name, HRESULT* hr = nullptr) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 12345;
    HRESULT result = d->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (hr) *hr = result;
    return id;
}

// Invokes with arguments given in call order (stored reversed as automation expects).
HRESULT invoke(IDispatch* d, DISPID id, std::vector<VARIANT> args, fw::Variant& result,
               WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argError = 0;
    return d->Invoke(id, IID_NULL, 0, flags, &params, result.put(), nullptr, &argError);
}

VARIANT i4(LONG v) { VARIANT x; x.vt = VT_I4; x.lVal = v; return x; }
VARIANT r8(double v) { VARIANT x; x.vt = VT_R8; x.dblVal = v; return x; }
VARIANT vbool(bool v) { VARIANT x; x.vt = VT_BOOL; x.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE; return x; }

}  // namespace

TEST(TableDispatch, NamesMapToPositionsWithoutRegardToCase) {
    Calls calls;
    auto table = makeTable(calls);
    EXPECT_EQ(1, idOf(table.get(), L"concat"));
    EXPECT_EQ(2, idOf(table.get(), L"TWICE"));
    EXPECT_EQ(4, idOf(table.get(), L"bIg"));

    HRESULT hr = S_OK;
    EXPECT_EQ(DISPID_UNKNOWN, idOf(table.get(), L"concatx", &hr));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, hr);

    // A named argument after the method name is unknown; the method id still comes back.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"concat"), const_cast<LPOLESTR>(L"a")};
    DISPID ids[2] = {};
    EXPECT_EQ(DISP_E_UNKNOWNNAME, table->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
    EXPECT_EQ(1, ids[0]);
    EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
}

TEST(TableDispatch, ArgumentsArriveAsTextInCallOrder) {
    Calls calls;
    auto table = makeTable(calls);
    fw::Variant result;
    ASSERT_EQ(S_OK, invoke(table.get(), 1, {i4(7), r8(2.5)}, result));
    EXPECT_EQ(L"7|2.5", result.str());
    ASSERT_EQ(S_OK, invoke(table.get(), 1, {vbool(true), vbool(false)}, result,
                           DISPATCH_PROPERTYGET));
    // VariantChangeType without VARIANT_ALPHABOOL, as automation servers do.
    EXPECT_EQ(L"-1|0", result.str());
    EXPECT_EQ(2u, calls.seen.size());

    ASSERT_EQ(S_OK, invoke(table.get(), 2, {i4(21)}, result, DISPATCH_METHOD | DISPATCH_PROPERTYGET));
    EXPECT_EQ(VT_I4, result.type());
    EXPECT_EQ(42, result.get().lVal);

    ASSERT_EQ(S_OK, invoke(table.get(), 4, {}, result));
    EXPECT_EQ(VT_I8, result.type());
    EXPECT_EQ(int64_t(5) << 32, result.get().llVal);
}

TEST(TableDispatch, RefusedCallsRunNothing) {
    Calls calls;
    auto table = makeTable(calls);
    fw::Variant result;
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, invoke(table.get(), 1, {i4(1)}, result));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, invoke(table.get(), 1, {i4(1), i4(2), i4(3)}, result));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, invoke(table.get(), 1, {i4(1), i4(2)}, result, DISPATCH_PROPERTYPUT));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, invoke(table.get(), 0, {}, result));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, invoke(table.get(), 5, {}, result));

    VARIANT null;
    null.vt = VT_NULL;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, invoke(table.get(), 2, {null}, result));
    EXPECT_TRUE(calls.seen.empty());
}

TEST(TableDispatch, ExceptionsStayInsideAndDetachedTableAnswersNothing) {
    Calls calls;
    auto table = makeTable(calls);
    fw::Variant result;
    EXPECT_EQ(DISP_E_EXCEPTION, invoke(table.get(), 3, {}, result));

    // Script engines may keep the object after its owner is gone.
    fw::ComPtr<IDispatch> client = fw::ComPtr<IDispatch>::share(table.get());
    table->detach();
    table.reset();
    EXPECT_EQ(E_UNEXPECTED, invoke(client.get(), 2, {i4(1)}, result));
    EXPECT_TRUE(calls.seen.empty());
}

TEST(TableDispatch, MethodWithAFailureResultAnswersItInsteadOfAnError) {
    int runs = 0;
    std::vector<fw::DispatchMethod> methods;
    methods.push_back({L"outOfMemory", 1,
                       [&runs](const fw::DispatchArgs&) -> fw::Variant {
                           ++runs;
                           throw std::bad_alloc();
                       },
                       [] { return fw::Variant::fromInt(-2); }});
    methods.push_back({L"fail", 0,
                       [](const fw::DispatchArgs&) -> fw::Variant { throw std::runtime_error("boom"); },
                       [] { return fw::Variant::fromString(L""); }});
    auto table = fw::TableDispatch::create(std::move(methods));

    fw::Variant result;
    ASSERT_EQ(S_OK, invoke(table.get(), 1, {i4(1)}, result));
    EXPECT_EQ(VT_I4, result.type());
    EXPECT_EQ(-2, result.get().lVal);
    EXPECT_EQ(1, runs);

    ASSERT_EQ(S_OK, invoke(table.get(), 2, {}, result));
    EXPECT_EQ(VT_BSTR, result.type());
    EXPECT_EQ(L"", result.str());

    // An argument without a text form: the handler does not run.
    VARIANT null;
    null.vt = VT_NULL;
    ASSERT_EQ(S_OK, invoke(table.get(), 1, {null}, result));
    EXPECT_EQ(-2, result.get().lVal);
    EXPECT_EQ(1, runs);

    // The argument count is still checked.
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, invoke(table.get(), 1, {}, result));
}

TEST(TableDispatch, OffersOnlyIDispatch) {
    Calls calls;
    auto table = makeTable(calls);
    fw::ComPtr<IUnknown> unknown = table.query<IUnknown>();
    EXPECT_TRUE(unknown);
    fw::ComPtr<IDispatchEx> ex = table.query<IDispatchEx>();
    EXPECT_FALSE(ex);
}

TEST(TableDispatch, LivesUntilItsLastReferenceIsReleased) {
    auto capture = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = capture;
    std::vector<fw::DispatchMethod> methods;
    methods.push_back({L"keep", 0, [capture](const fw::DispatchArgs&) { return fw::Variant(); }});
    capture.reset();

    auto table = fw::TableDispatch::create(std::move(methods));
    IDispatch* client = table.get();
    EXPECT_EQ(2u, client->AddRef());
    table.reset();
    EXPECT_FALSE(watch.expired()) << "the client's reference keeps the table";
    EXPECT_EQ(0u, client->Release());
    EXPECT_TRUE(watch.expired());
}
