#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/core/Text.h"

using namespace murmelo;
using text::QuoteMark;

namespace {

TEST(Text, HexDigitValue) {
    struct Case {
        char c;
        int value;
    };
    const Case cases[] = {
        {'0', 0},   {'9', 9},  {'a', 10}, {'f', 15}, {'A', 10},    {'F', 15},    {'c', 12},
        {'/', -1},  {':', -1}, {'@', -1}, {'G', -1}, {'`', -1},    {'g', -1},    {' ', -1},
        {'\0', -1}, {'x', -1}, {'-', -1}, {'+', -1}, {'\xB0', -1}, {'\xE1', -1}, {'\xFF', -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text::hexDigitValue(c.c), c.value) << int(c.c);
        EXPECT_EQ(text::isHexDigit(c.c), c.value >= 0) << int(c.c);
    }
    int digits = 0;
    for (int i = 0; i < 256; ++i) {
        digits += text::isHexDigit(static_cast<char>(i)) ? 1 : 0;
    }
    EXPECT_EQ(digits, 22);
}

TEST(Text, PercentDecoding) {
    struct Case {
        std::string in;
        std::optional<std::string> out;
    };
    const Case cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a%20b", "a b"},
        {"%41%6a%6A", "Ajj"},
        {"%00%ff", std::string("\0\xFF", 2)},
        {"%2525", "%25"}, // decoded once
        {"%", std::nullopt},
        {"%4", std::nullopt},
        {"ab%4", std::nullopt},
        {"%g0", std::nullopt},
        {"%0g", std::nullopt},
        {"ok%20then%", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text::percentDecoded(c.in), c.out) << c.in;
    }
}

TEST(Text, PercentEncodingFollowsTheCallersRuleAndDecodesBack) {
    auto controlsAndPercent = [](unsigned char b) { return b < 0x20 || b == '%' || b == 0x7F; };
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {"a b", "a b"},
        {"100%", "100%25"},
        {"tab\there\r\n", "tab%09here%0D%0A"},
        {std::string("\0\x7F\x80", 3), "%00%7F\x80"},
    };
    for (const Case& c : cases) {
        std::string encoded = text::percentEncoded(c.in, controlsAndPercent);
        EXPECT_EQ(encoded, c.out) << c.in;
        EXPECT_EQ(text::percentDecoded(encoded), c.in) << c.in;
    }
    std::string everyByte;
    for (int i = 0; i < 256; ++i) {
        everyByte += static_cast<char>(i);
    }
    std::string all = text::percentEncoded(everyByte, [](unsigned char) { return true; });
    EXPECT_EQ(all.substr(0, 9), "%00%01%02");
    EXPECT_EQ(all.substr(all.size() - 6), "%FE%FF");
    EXPECT_EQ(text::percentDecoded(all), everyByte);
}

TEST(Text, AppendUtf8) {
    struct Case {
        char32_t codePoint;
        std::string out;
    };
    const Case cases[] = {
        {0x00, std::string(1, '\0')},
        {0x41, "A"},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0xE9, "\xC3\xA9"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xD7FF, "\xED\x9F\xBF"},
        {0xD800, "\xEF\xBF\xBD"}, // surrogates have no UTF-8 form
        {0xDFFF, "\xEF\xBF\xBD"},
        {0xE000, "\xEE\x80\x80"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x1F600, "\xF0\x9F\x98\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0x110000, "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        std::string out = "<";
        text::appendUtf8(out, c.codePoint);
        EXPECT_EQ(out, "<" + c.out) << std::hex << static_cast<unsigned>(c.codePoint);
    }
}

TEST(Text, ScriptStringEscapesWhatCouldEndTheStringOrTheScript) {
    struct Case {
        std::string in;
        QuoteMark quote;
        std::string out;
    };
    const Case cases[] = {
        {"", QuoteMark::Single, "''"},
        {"plain", QuoteMark::Double, R"("plain")"},
        {"it's \"so\"", QuoteMark::Single, R"('it\'s "so"')"},
        {"it's \"so\"", QuoteMark::Double, R"("it's \"so\"")"},
        {"a\\b", QuoteMark::Single, R"('a\\b')"},
        {"\\'", QuoteMark::Single, R"('\\\'')"},
        {"</script>", QuoteMark::Double, R"("<\/script>")"},
        {"a\nb\rc\td\be\ff", QuoteMark::Single, R"('a\nb\rc\td\be\ff')"},
        {std::string("\0\x01\x1f ", 4), QuoteMark::Double, R"("\u0000\u0001\u001f ")"},
        {"a\xE2\x80\xA8"
         "b\xE2\x80\xA9"
         "c",
         QuoteMark::Single, R"('a\u2028b\u2029c')"},
        // Other characters of the same block, DEL and the rest of UTF-8 are copied.
        {"\xE2\x80\xA7\xE2\x80\xAA\x7F\xC3\xA9<>&", QuoteMark::Double,
         "\"\xE2\x80\xA7\xE2\x80\xAA\x7F\xC3\xA9<>&\""},
        {"cut \xE2\x80", QuoteMark::Double, "\"cut \xE2\x80\""},
    };
    for (const Case& c : cases) {
        std::string out = "x=";
        text::appendScriptString(out, c.in, c.quote);
        EXPECT_EQ(out, "x=" + c.out) << c.in;
        EXPECT_EQ(text::scriptString(c.in, c.quote), c.out) << c.in;
    }
}

} // namespace
