// Decimal digits of an unsigned 64-bit number for the JSON writer, eight at a
// time: the digits of each block are split out in parallel lanes of one
// 64-bit word (SWAR) instead of one division by 100 after another, and the
// leading zeros of the first block are counted from that word.
#pragma once

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace murmelo::json_internal {

// What writeUnsigned() may write at its destination (it returns the end of
// the digits, at most 20 bytes on).
constexpr size_t kUnsignedRoom = 24;

// The eight digits of n < 10^8, leading zeros included, one per byte as
// values 0 to 9, the first in the lowest byte.
inline std::uint64_t eightDigitValues(std::uint32_t n) {
    // Two lanes of 32 bits: the upper and lower four digits.
    std::uint64_t fours = (n / 10000) | (static_cast<std::uint64_t>(n % 10000) << 32);
    // In each lane x / 100 is (x * 10486) >> 20 for x below 10^4.
    std::uint64_t hundreds = ((fours * 10486) >> 20) & 0x0000007F0000007FULL;
    std::uint64_t twos = hundreds | ((fours - hundreds * 100) << 16);
    // Four lanes of 16 bits; x / 10 is (x * 103) >> 10 for x below 100.
    std::uint64_t tens = ((twos * 103) >> 10) & 0x000F000F000F000FULL;
    return tens | ((twos - tens * 10) << 8);
}

// Writes n in decimal at `to`, which has kUnsignedRoom bytes, and returns
// the end of the digits.
inline char* writeUnsigned(char* to, std::uint64_t n) {
    if constexpr (std::endian::native != std::endian::little) {
        return std::to_chars(to, to + kUnsignedRoom, n).ptr;
    }
    constexpr std::uint64_t kAsciiZeros = 0x3030303030303030ULL;
    constexpr std::uint64_t kEightDigits = 100000000;
    if (n < 10) {
        *to = static_cast<char>('0' + n);
        return to + 1;
    }
    if (n < kEightDigits) {
        std::uint64_t values = eightDigitValues(static_cast<std::uint32_t>(n));
        int zeros = std::countr_zero(values) / 8;
        std::uint64_t text = (values + kAsciiZeros) >> (8 * zeros);
        std::memcpy(to, &text, 8);
        return to + 8 - zeros;
    }
    // At most twice: the leading digits, then whole blocks of eight.
    to = writeUnsigned(to, n / kEightDigits);
    std::uint64_t text = eightDigitValues(static_cast<std::uint32_t>(n % kEightDigits)) + kAsciiZeros;
    std::memcpy(to, &text, 8);
    return to + 8;
}

// A minus sign when `negative`, then the digits of `magnitude`; `to` has
// 1 + kUnsignedRoom bytes. The sign is stored either way and kept only when
// wanted, which saves a branch.
inline char* writeSigned(char* to, bool negative, std::uint64_t magnitude) {
    *to = '-';
    return writeUnsigned(to + negative, magnitude);
}

} // namespace murmelo::json_internal
