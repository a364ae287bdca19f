#pragma once
// Builds script bridge entries from member functions of the launcher or of one of its
// subsystems: the argument count and the result's automation type follow from the C++
// signature, const or not. Text arguments arrive as the script's text up to its first zero
// character; `const std::string&` parameters get it converted with toNarrow (ANSI code
// page), `const std::wstring&` parameters get it unconverted.
// Results: void -> VT_EMPTY, int and long -> VT_I4, float -> VT_R4, bool -> VT_BOOL,
// std::string -> VT_BSTR (through toWide), int64_t -> VT_I8.
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

template <class Owner, class Method, class R, class... A>
fw::DispatchMethod bind(const wchar_t* name, Owner* owner, Method fn) {
    return {name, static_cast<unsigned>(sizeof...(A)), [owner, fn](const fw::DispatchArgs& args) {
                return call<Owner, Method, R, A...>(owner, fn, args, std::index_sequence_for<A...>{});
            }};
}

template <class Owner, class R, class... A>
fw::DispatchMethod method(const wchar_t* name, Owner* owner, R (Owner::*fn)(A...)) {
    return bind<Owner, decltype(fn), R, A...>(name, owner, fn);
}

template <class Owner, class R, class... A>
fw::DispatchMethod method(const wchar_t* name, Owner* owner, R (Owner::*fn)(A...) const) {
    return bind<Owner, decltype(fn), R, A...>(name, owner, fn);
}

}  // namespace bridge
