#include "platform/core/Decimal.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace murmelo {

namespace {

constexpr Decimal::Mantissa pow10(int n) {
    Decimal::Mantissa v = 1;
    for (int i = 0; i < n; ++i) {
        v *= 10;
    }
    return v;
}

constexpr Decimal::Mantissa kMantissaLimit = pow10(Decimal::kMaxDigits); // exclusive

std::string mantissaDigits(Decimal::Mantissa m) {
    if (m == 0) {
        return "0";
    }
    std::string digits;
    while (m > 0) {
        digits.push_back(static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

} // namespace

std::optional<Decimal> Decimal::makeWide(Mantissa mantissa, int exponent, bool negative) {
    Decimal d;
    d.m_negative = negative;
    if (mantissa == 0) {
        return d;
    }
    // Half-up: the last digit dropped is the most significant one, so it
    // alone decides the rounding.
    bool roundUp = false;
    while (mantissa >= kMantissaLimit) {
        roundUp = (mantissa % 10) >= 5;
        mantissa /= 10;
        ++exponent;
    }
    if (roundUp) {
        ++mantissa;
        if (mantissa >= kMantissaLimit) {
            mantissa /= 10;
            ++exponent;
        }
    }
    // Strip trailing zeros while the exponent is too small; a canonical form
    // keeps comparisons simple. Most mantissas fit 64 bits, where this needs no
    // 128-bit division (a library call).
    if (mantissa <= UINT64_MAX) {
        auto small = static_cast<std::uint64_t>(mantissa);
        while (small % 10 == 0 && exponent < kMaxExponent) {
            small /= 10;
            ++exponent;
        }
        mantissa = small;
    } else {
        while (mantissa % 10 == 0 && exponent < kMaxExponent) {
            mantissa /= 10;
            ++exponent;
        }
    }
    if (exponent < kMinExponent) {
        // Below the smallest exponent the digits past it are dropped, rounded
        // half-up once on all of them: rounding digit by digit would round
        // twice (149e-130 would become 2e-128 rather than 1e-128).
        int dropped = kMinExponent - exponent;
        if (dropped > kMaxDigits) {
            return Decimal{}; // the mantissa is below half of 10^dropped
        }
        Mantissa scale = pow10(dropped);
        bool up = mantissa % scale >= scale / 2;
        mantissa = mantissa / scale + (up ? 1 : 0);
        exponent = kMinExponent;
        while (mantissa != 0 && mantissa % 10 == 0) {
            mantissa /= 10;
            ++exponent;
        }
    }
    if (mantissa == 0) {
        return Decimal{};
    }
    while (exponent > kMaxExponent && mantissa * 10 < kMantissaLimit) {
        mantissa *= 10;
        --exponent;
    }
    if (exponent > kMaxExponent) {
        return std::nullopt;
    }
    d.setMantissa(mantissa);
    d.m_exponent = exponent;
    return d;
}

std::optional<Decimal> Decimal::fromString(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    Mantissa mantissa = 0;
    int digitsKept = 0;
    long exponent = 0;
    bool anyDigit = false;
    bool roundUp = false;
    bool dropped = false;
    auto takeDigit = [&](int digit, bool fractional) {
        anyDigit = true;
        if (digitsKept == 0 && digit == 0) {
            if (fractional) {
                --exponent;
            }
            return;
        }
        if (digitsKept < kMaxDigits) {
            mantissa = mantissa * 10 + static_cast<unsigned>(digit);
            ++digitsKept;
            if (fractional) {
                --exponent;
            }
        } else {
            if (!dropped) {
                roundUp = digit >= 5;
                dropped = true;
            }
            if (!fractional) {
                ++exponent;
            }
        }
    };
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        takeDigit(text[i] - '0', false);
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            takeDigit(text[i] - '0', true);
            ++i;
        }
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
            expNegative = text[i] == '-';
            ++i;
        }
        long value = 0;
        bool expDigit = false;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            expDigit = true;
            if (value < 100000) {
                value = value * 10 + (text[i] - '0');
            }
            ++i;
        }
        if (!expDigit) {
            return std::nullopt;
        }
        exponent += expNegative ? -value : value;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    // Below the smallest exponent make() rounds the kept digits again, at a
    // digit above the first dropped one; half-up there depends on that digit
    // alone, so rounding here first would round twice.
    if (roundUp && exponent >= kMinExponent) {
        ++mantissa;
    }
    if (mantissa == 0) {
        Decimal zero;
        zero.m_negative = negative;
        return zero;
    }
    if (exponent > 10000 || exponent < -10000) {
        if (exponent < 0) {
            Decimal zero;
            zero.m_negative = negative;
            return zero;
        }
        return std::nullopt;
    }
    return make(mantissa, static_cast<int>(exponent), negative);
}

Decimal Decimal::fromInteger(long long value) {
    bool negative = value < 0;
    Mantissa m = negative ? static_cast<Mantissa>(-(value + 1)) + 1 : static_cast<Mantissa>(value);
    return *make(m, 0, negative);
}

Decimal Decimal::notANumber() {
    Decimal d;
    d.m_nan = true;
    return d;
}

double Decimal::doubleValue() const {
    if (m_nan) {
        return std::nan("");
    }
    // Built with append: GCC 12 at -O3 reports a false -Wrestrict on chained operator+.
    std::string text;
    if (m_negative) {
        text += '-';
    }
    text += mantissaDigits(mantissa());
    text += 'e';
    text += std::to_string(m_exponent);
    return std::strtod(text.c_str(), nullptr);
}

long long Decimal::longLongValue() const {
    if (m_nan || mantissa() == 0) {
        return 0;
    }
    Mantissa m = mantissa();
    if (m_exponent < 0) {
        for (int i = 0; i < -m_exponent && m != 0; ++i) {
            m /= 10;
        }
    } else {
        for (int i = 0; i < m_exponent; ++i) {
            if (m > static_cast<Mantissa>(LLONG_MAX)) {
                break;
            }
            m *= 10;
        }
    }
    if (m_negative) {
        return m > static_cast<Mantissa>(LLONG_MAX) ? LLONG_MIN : -static_cast<long long>(m);
    }
    return m > static_cast<Mantissa>(LLONG_MAX) ? LLONG_MAX : static_cast<long long>(m);
}

std::string Decimal::stringValue() const {
    if (m_nan) {
        return "NaN";
    }
    std::string digits = mantissaDigits(mantissa());
    std::string out = isNegative() ? "-" : "";
    if (mantissa() == 0) {
        return "0";
    }
    if (m_exponent >= 0) {
        out += digits;
        out.append(static_cast<size_t>(m_exponent), '0');
        return out;
    }
    size_t fraction = static_cast<size_t>(-m_exponent);
    if (digits.size() > fraction) {
        out += digits.substr(0, digits.size() - fraction);
        out += '.';
        out += digits.substr(digits.size() - fraction);
    } else {
        out += "0.";
        out.append(fraction - digits.size(), '0');
        out += digits;
    }
    return out;
}

int Decimal::compare(const Decimal& other) const {
    if (m_nan || other.m_nan) {
        return (m_nan && other.m_nan) ? 0 : (m_nan ? -1 : 1);
    }
    bool negA = isNegative();
    bool negB = other.isNegative();
    if (mantissa() == 0 && other.mantissa() == 0) {
        return 0;
    }
    if (negA != negB) {
        return negA ? -1 : 1;
    }
    // Same sign: compare magnitudes by digit count + exponent, then digits.
    std::string a = mantissaDigits(mantissa());
    std::string b = mantissaDigits(other.mantissa());
    int magA = mantissa() == 0 ? INT_MIN : static_cast<int>(a.size()) + m_exponent;
    int magB = other.mantissa() == 0 ? INT_MIN : static_cast<int>(b.size()) + other.m_exponent;
    int result;
    if (magA != magB) {
        result = magA < magB ? -1 : 1;
    } else {
        size_t n = std::max(a.size(), b.size());
        a.append(n - a.size(), '0');
        b.append(n - b.size(), '0');
        result = a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    }
    return negA ? -result : result;
}

} // namespace murmelo
