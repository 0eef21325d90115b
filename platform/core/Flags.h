// Bit-set operators for the screen's option enums (autoresizing masks,
// control events, control states): opt in with
//   template <> struct EnableFlags<MyOptions> : std::true_type {};
// Header-only; no state.
#pragma once

#include <type_traits>

namespace murmelo {

template <class E> struct EnableFlags : std::false_type {};

template <class E>
requires EnableFlags<E>::value constexpr E operator|(E a, E b) {
    using U = std::underlying_type_t<E>;
    return static_cast<E>(static_cast<U>(a) | static_cast<U>(b));
}
template <class E>
requires EnableFlags<E>::value constexpr E operator&(E a, E b) {
    using U = std::underlying_type_t<E>;
    return static_cast<E>(static_cast<U>(a) & static_cast<U>(b));
}
template <class E>
requires EnableFlags<E>::value constexpr E operator~(E a) {
    using U = std::underlying_type_t<E>;
    return static_cast<E>(~static_cast<U>(a));
}
template <class E>
requires EnableFlags<E>::value constexpr E& operator|=(E& a, E b) {
    return a = a | b;
}
template <class E>
requires EnableFlags<E>::value constexpr E& operator&=(E& a, E b) {
    return a = a & b;
}
// Whether any bit of `b` is set in `a`.
template <class E>
requires EnableFlags<E>::value constexpr bool hasAny(E a, E b) {
    using U = std::underlying_type_t<E>;
    return (static_cast<U>(a) & static_cast<U>(b)) != 0;
}

} // namespace murmelo
