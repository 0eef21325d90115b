// Text: the byte-level helpers every layer needs — hex digits, %XX escapes,
// the UTF-8 form of one code point, script string literals. Pure functions
// on caller-owned text; thread-safe. Bytes are bytes: nothing here looks at
// the locale.
//
//   text::hexDigitValue('b');                                 // 11
//   text::percentDecoded("a%20b");                            // "a b"
//   text::appendUtf8(out, 0xE9);                              // out += "\xC3\xA9"
//   text::appendScriptString(out, "it's", QuoteMark::Single); // out += R"('it\'s')"
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace murmelo::text {

// 0..15 for '0'-'9', 'a'-'f' and 'A'-'F'; -1 for every other byte.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

constexpr bool isHexDigit(char c) {
    return hexDigitValue(c) >= 0;
}

// Appends "%XX" for one byte, in upper-case hex.
void appendPercentEscape(std::string& out, unsigned char byte);

// `text` with every byte for which `mustEscape(byte)` holds written as %XX;
// the caller's rule decides, '%' included.
template <class Predicate> std::string percentEncoded(std::string_view text, Predicate mustEscape) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (mustEscape(byte)) {
            appendPercentEscape(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

// Every %XX replaced by its byte (either letter case). Nothing when a '%' is
// not followed by two hex digits. The result may be any bytes at all.
std::optional<std::string> percentDecoded(std::string_view text);

// Appends the UTF-8 form of a code point; surrogates and values above
// U+10FFFF, which have none, become U+FFFD. Inline: the JSON reader calls it
// for every \u escape. `out`: any std::basic_string of char.
template <typename Text> inline void appendUtf8(Text& out, char32_t codePoint) {
    if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) {
        codePoint = 0xFFFD;
    }
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

enum class QuoteMark { Single, Double };

// Appends `text` as a script string literal between `quote` marks, so no
// text can end the string early, nor the page script around it. Escaped:
// the backslash; that quote mark (the other one is left as it is); "/" as
// "\/" (so "</script>" never closes a page script); \b \f \n \r \t; every
// other byte below 0x20 as \u00XX (lower-case hex); U+2028 and U+2029, which
// end a line inside a script, as \u2028 and \u2029. Every other byte is
// copied, so UTF-8 stays UTF-8. With QuoteMark::Double the literal is also a
// JSON string.
void appendScriptString(std::string& out, std::string_view text, QuoteMark quote);

// The same, as a new string.
std::string scriptString(std::string_view text, QuoteMark quote);

// The pieces of `text` between each `separator`, empty pieces included
// ("a,,b" gives "a", "", "b"; "" gives one empty piece). Views into `text`.
std::vector<std::string_view> split(std::string_view text, char separator);

} // namespace murmelo::text
