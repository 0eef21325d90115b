// Decimal: an exact decimal number — sign, up to 38 significant digits and a
// power-of-ten exponent in −128..127 — the platform's decimal number type.
// value = (negative ? −1 : 1) × mantissa × 10^exponent. Value type, thread-safe
// to copy. A not-a-number value exists for conversions that fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace murmelo {

class Decimal {
public:
    static constexpr int kMaxDigits = 38;
    static constexpr int kMinExponent = -128;
    static constexpr int kMaxExponent = 127;

    // GCC and Clang both provide a 128-bit integer; 10^38 − 1 fits in it,
    // which keeps the mantissa arithmetic exact without a bignum.
    using Mantissa = unsigned __int128;

    Decimal() = default; // zero

    // Builds mantissa × 10^exponent. A mantissa of more than 38 digits is
    // rounded half-up to 38 and the exponent adjusted. Gives nothing when the
    // exponent ends up outside −128..127 (a zero mantissa always succeeds).
    static std::optional<Decimal> make(Mantissa mantissa, int exponent, bool negative) {
        if (isSmall(mantissa, exponent)) {
            return makeSmall(static_cast<std::uint64_t>(mantissa), exponent, negative);
        }
        return makeWide(mantissa, exponent, negative);
    }
    // What readers mostly give: a non-zero mantissa of at most 64 bits and an
    // exponent in range, where only trailing zeros are stripped and nothing
    // can fail — so no optional to copy through memory on the hot path.
    static bool isSmall(Mantissa mantissa, int exponent) {
        return mantissa != 0 && mantissa <= UINT64_MAX && exponent >= kMinExponent &&
               exponent <= kMaxExponent;
    }
    static Decimal makeSmall(std::uint64_t mantissa, int exponent, bool negative) {
        while (mantissa % 10 == 0 && exponent < kMaxExponent) {
            mantissa /= 10;
            ++exponent;
        }
        Decimal d;
        d.m_low = mantissa;
        d.m_exponent = exponent;
        d.m_negative = negative;
        return d;
    }

    // Parses "-12.5e3"-style text: optional sign, digits with an optional
    // fraction, optional exponent. Digits past 38 are rounded half-up (and a
    // huge exponent fails). Gives nothing for anything else.
    static std::optional<Decimal> fromString(std::string_view text);
    static Decimal fromInteger(long long value);
    static Decimal notANumber();

    bool isNaN() const { return m_nan; }
    bool isZero() const { return !m_nan && (m_low | m_high) == 0; }
    bool isNegative() const { return m_negative && !isZero(); }
    Mantissa mantissa() const { return (static_cast<Mantissa>(m_high) << 64) | m_low; }
    int exponent() const { return m_exponent; }

    double doubleValue() const;
    // Truncates toward zero; saturates at the limits of long long.
    long long longLongValue() const;
    // Plain decimal notation without exponent, like the platform's
    // description: "12.5", "-0.001", "100000"; "NaN" for not-a-number.
    std::string stringValue() const;

    // Numeric comparison (NaN compares equal only to NaN).
    int compare(const Decimal& other) const;
    bool operator==(const Decimal& other) const { return compare(other) == 0; }

private:
    static std::optional<Decimal> makeWide(Mantissa mantissa, int exponent, bool negative);

    // The mantissa in two halves: a 128-bit member would make the type (and
    // every Value holding one) 16-byte aligned, a third bigger than needed.
    void setMantissa(Mantissa mantissa) {
        m_low = static_cast<std::uint64_t>(mantissa);
        m_high = static_cast<std::uint64_t>(mantissa >> 64);
    }

    std::uint64_t m_low = 0;
    std::uint64_t m_high = 0;
    int m_exponent = 0;
    bool m_negative = false;
    bool m_nan = false;
};

} // namespace murmelo
