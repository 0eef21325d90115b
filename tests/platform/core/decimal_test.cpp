#include <gtest/gtest.h>

#include "platform/core/Decimal.h"

using namespace murmelo;

TEST(Decimal, ParsesAndPrintsExactly) {
    struct Case {
        const char* text;
        const char* printed; // nullptr: rejected
    } cases[] = {
        {"0", "0"},
        {"-0", "0"},
        {"12.5", "12.5"},
        {"-0.001", "-0.001"},
        {"1e3", "1000"},
        {"1.5E-2", "0.015"},
        {"123456789012345678901234567890.12345678", "123456789012345678901234567890.12345678"},
        // 40 digits: rounded half-up to 38 significant digits
        {"1234567890123456789012345678901234567895", "1234567890123456789012345678901234567900"},
        {"0.000000000000000000000000000000000000000000001",
         "0.000000000000000000000000000000000000000000001"},
        {"1e127", nullptr}, // exponent beyond range is still representable by shifting digits
        {"1e200", nullptr},
        {"", nullptr},
        {"-", nullptr},
        {"1.2.3", nullptr},
        {"1e", nullptr},
        {"abc", nullptr},
        {".5", "0.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto d = Decimal::fromString(c.text);
        if (std::string(c.text) == "1e127") {
            ASSERT_TRUE(d.has_value());
            EXPECT_EQ(d->stringValue(), "1" + std::string(127, '0'));
            continue;
        }
        if (!c.printed) {
            EXPECT_FALSE(d.has_value());
            continue;
        }
        ASSERT_TRUE(d.has_value());
        EXPECT_EQ(d->stringValue(), c.printed);
    }
}

TEST(Decimal, ConvertsAndCompares) {
    auto d = [](const char* t) { return *Decimal::fromString(t); };
    EXPECT_DOUBLE_EQ(d("0.1").doubleValue(), 0.1);
    EXPECT_DOUBLE_EQ(d("-2.5e10").doubleValue(), -2.5e10);
    EXPECT_EQ(d("99.99").longLongValue(), 99);
    EXPECT_EQ(d("-99.99").longLongValue(), -99);
    EXPECT_EQ(d("1e30").longLongValue(), 9223372036854775807LL);
    EXPECT_EQ(Decimal::fromInteger(-9223372036854775807LL - 1).longLongValue(), -9223372036854775807LL - 1);
    EXPECT_EQ(d("1.50").compare(d("1.5")), 0);
    EXPECT_LT(d("1.4999").compare(d("1.5")), 0);
    EXPECT_GT(d("-1").compare(d("-2")), 0);
    EXPECT_LT(d("-0.5").compare(d("0")), 0);
    EXPECT_GT(d("100").compare(d("99.9999")), 0);
    EXPECT_TRUE(Decimal::notANumber().isNaN());
    EXPECT_EQ(Decimal::notANumber().stringValue(), "NaN");
}

// make() strips trailing zeros into the exponent the same way whether the
// mantissa fits 64 bits or needs all 128.
TEST(Decimal, MakeCanonicalisesOnBothSidesOfSixtyFourBits) {
    constexpr Decimal::Mantissa kTen19 = 10000000000000000000ULL;
    struct Case {
        Decimal::Mantissa mantissa;
        int exponent;
        Decimal::Mantissa wantMantissa;
        int wantExponent;
    } cases[] = {
        {1500, 0, 15, 2},
        {UINT64_MAX, 0, UINT64_MAX, 0},
        {kTen19, 0, 1, 19},
        {kTen19 * 10, -3, 1, 17},
        {kTen19 * 123, 0, 123, 19},
        {1000, 125, 10, 127},
        {kTen19 * 1000, 100, 1, 122},
        {kTen19 * 1000, 110, 100000, 127},
        // Below the smallest exponent: rounded once, half-up, then canonical.
        {200405678, -135, 2, -127},
        {149, -130, 1, -128},
        {15, -129, 2, -128},
        {5, -129, 1, -128},
        {kTen19 + 7, -140, 1, -121},
    };
    for (const auto& c : cases) {
        auto d = Decimal::make(c.mantissa, c.exponent, false);
        ASSERT_TRUE(d.has_value());
        EXPECT_TRUE(d->mantissa() == c.wantMantissa) << static_cast<unsigned long long>(c.mantissa);
        EXPECT_EQ(d->exponent(), c.wantExponent);
    }
}

// Past 38 digits and below the smallest exponent the text is rounded once:
// ...4|5e-129 keeps the 4 and drops it, where rounding the 5 first would
// have carried into it and rounded up.
TEST(Decimal, FromStringRoundsOnceBelowTheSmallestExponent) {
    struct Case {
        std::string text;
        Decimal::Mantissa wantMantissa;
        int wantExponent;
    } cases[] = {
        {"1" + std::string(36, '0') + "45e-130", 1, -92},
        {"1" + std::string(36, '0') + "55e-130",
         Decimal::Mantissa{10000000000000000000ULL} * 100000000000000000ULL + 1, -128},
        {"1" + std::string(36, '0') + "45e-129",
         Decimal::Mantissa{10000000000000000000ULL} * 1000000000000000000ULL + 5, -128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto d = Decimal::fromString(c.text);
        ASSERT_TRUE(d.has_value());
        EXPECT_TRUE(d->mantissa() == c.wantMantissa);
        EXPECT_EQ(d->exponent(), c.wantExponent);
    }
}

// Values that underflow to nothing are zero, not an error.
TEST(Decimal, MakeUnderflowsToZero) {
    for (auto [mantissa, exponent] : {std::pair<Decimal::Mantissa, int>{4, -129},
                                      {123456789, -200},
                                      {49, -130},
                                      {Decimal::Mantissa{1} << 120, -300}}) {
        auto d = Decimal::make(mantissa, exponent, true);
        ASSERT_TRUE(d.has_value());
        EXPECT_TRUE(d->isZero()) << exponent;
    }
}
