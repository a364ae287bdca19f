#pragma once
// Builds script bridge entries from member functions of the launcher or of one of its
// subsystems: the argument count and the result's automation type follow from the C++
// signature, const or not. Text arguments arrive as the script's text up to its first zero
// character; `const std::string&` parameters get it converted with toNarrow (ANSI code
// page), `const std::wstring&` parameters get it unconverted.
// Results: void -> VT_EMPTY, int and long -> VT_I4, float -> VT_R4, bool -> VT_BOOL,
// std::string -> VT_BSTR (through toWide), int64_t -> VT_I8.
//
// No error reaches the script: a call whose argument cannot be converted, or that runs out
// of memory or otherwise fails, answers the method's empty result (nothing, 0, 0.0, false,
// empty text), or the failure value given when the method is bound where such a result
// would mean something (0 from a download is "started").
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "Halcyra/common/Helpers.h"
#include "framework/Dispatch.h"

namespace bridge {

template <class T>
T argument(const std::wstring& text);
template <>
inline std::string argument<std::string>(const std::wstring& text) { return toNarrow(text); }
template <>
inline std::wstring argument<std::wstring>(const std::wstring& text) { return text; }

inline fw::Variant result(int value) { return fw::Variant::fromInt(value); }
inline fw::Variant result(long value) { return fw::Variant::fromInt(value); }
inline fw::Variant result(float value) { return fw::Variant::fromFloat(value); }
inline fw::Variant result(bool value) { return fw::Variant::fromBool(value); }
inline fw::Variant result(int64_t value) { return fw::Variant::fromInt64(value); }
inline fw::Variant result(const std::string& value) { return fw::Variant::fromString(toWide(value)); }

template <class Owner, class Method, class R, class... A, size_t... I>
fw::Variant call(Owner* owner, Method method, const fw::DispatchArgs& args,
                 std::index_sequence<I...>) {
    if constexpr (std::is_void_v<R>) {
        (owner->*method)(argument<std::decay_t<A>>(args[I])...);
        return fw::Variant();
    } else {
        return result((owner->*method)(argument<std::decay_t<A>>(args[I])...));
    }
}

// What a failed call answers: the empty result of the method's type, or the given value.
template <class R>
struct Failure {
    R value{};
};
template <>
struct Failure<void> {};

template <class R>
fw::Variant failureResult(const Failure<R>& failure) {
    if constexpr (std::is_void_v<R>) {
        return fw::Variant();
    } else {
        return result(failure.value);
    }
}

template <class Owner, class Method, class R, class... A>
fw::DispatchMethod bind(const wchar_t* name, Owner* owner, Method fn, Failure<R> failure) {
    return {name, static_cast<unsigned>(sizeof...(A)),
            [owner, fn](const fw::DispatchArgs& args) {
                return call<Owner, Method, R, A...>(owner, fn, args, std::index_sequence_for<A...>{});
            },
            [failure] { return failureResult(failure); }};
}

template <class Owner, class R, class... A>
fw::DispatchMethod method(const wchar_t* name, Owner* owner, R (Owner::*fn)(A...)) {
    return bind<Owner, decltype(fn), R, A...>(name, owner, fn, Failure<R>{});
}

template <class Owner, class R, class... A>
fw::DispatchMethod method(const wchar_t* name, Owner* owner, R (Owner::*fn)(A...) const) {
    return bind<Owner, decltype(fn), R, A...>(name, owner, fn, Failure<R>{});
}

// As above, answering `failure` when the call fails.
template <class Owner, class R, class... A>
fw::DispatchMethod method(const wchar_t* name, Owner* owner, R (Owner::*fn)(A...), R failure) {
    return bind<Owner, decltype(fn), R, A...>(name, owner, fn, Failure<R>{failure});
}

template <class Owner, class R, class... A>
fw::DispatchMethod method(const wchar_t* name, Owner* owner, R (Owner::*fn)(A...) const, R failure) {
    return bind<Owner, decltype(fn), R, A...>(name, owner, fn, Failure<R>{failure});
}

}  // namespace bridge
