// FdEvents: which events a file-descriptor source watches or saw. A bit set.
#pragma once

#include <cstdint>

namespace murmelo {

enum class FdEvents : std::uint8_t {
    None = 0,
    Readable = 1,
    Writable = 2,
    Error = 4,  // reported whatever the interest
    Hangup = 8, // reported whatever the interest; a reader then sees end of file
};

constexpr FdEvents operator|(FdEvents a, FdEvents b) {
    return static_cast<FdEvents>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr FdEvents operator&(FdEvents a, FdEvents b) {
    return static_cast<FdEvents>(static_cast<std::uint8_t>(a) & static_cast<std::uint8_t>(b));
}
constexpr FdEvents& operator|=(FdEvents& a, FdEvents b) {
    return a = a | b;
}
constexpr bool any(FdEvents e) {
    return e != FdEvents::None;
}

} // namespace murmelo
