#include "app/base/NSStringHelper.h"

#include <cstdint>

#include "platform/core/Log.h"
#include "platform/core/Text.h"
#include "platform/net/URL.h"

namespace murmelo {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The platform scanner's literal match: case-insensitive, no skipping.
bool scanLiteral(std::string_view text, size_t& position, std::string_view literal) {
    if (text.size() - position < literal.size()) {
        return false;
    }
    for (size_t i = 0; i < literal.size(); ++i) {
        if (lowerAscii(text[position + i]) != literal[i]) {
            return false;
        }
    }
    position += literal.size();
    return true;
}

int digitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value;
}

// Digits in `base`, with an optional sign for decimal. The value saturates
// (it is only ever compared with the largest code point). Nothing is
// consumed when no digit follows.
std::optional<std::int64_t> scanNumber(std::string_view text, size_t& position, int base) {
    size_t cursor = position;
    bool negative = false;
    if (base == 10 && cursor < text.size() && (text[cursor] == '+' || text[cursor] == '-')) {
        negative = text[cursor] == '-';
        ++cursor;
    }
    size_t firstDigit = cursor;
    std::int64_t value = 0;
    constexpr std::int64_t kCeiling = std::int64_t{1} << 40;
    while (cursor < text.size()) {
        int digit = digitValue(text[cursor], base);
        if (digit < 0) {
            break;
        }
        if (value < kCeiling) {
            value = value * base + digit;
        }
        ++cursor;
    }
    if (cursor == firstDigit) {
        return std::nullopt;
    }
    position = cursor;
    return negative ? -value : value;
}

bool isReferenceStop(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ';';
}

void appendCodePoint(std::string& out, std::int64_t codePoint) {
    bool isCharacter =
        codePoint > 0 && codePoint <= 0x10FFFF && !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
    text::appendUtf8(out, isCharacter ? static_cast<char32_t>(codePoint) : kReplacementCharacter);
}

} // namespace

std::string stringByDecodingXMLEntities(std::string text) {
    if (text.find('&') == std::string::npos) {
        return text;
    }
    const std::string_view input(text);
    std::string result;
    result.reserve(input.size() + input.size() / 4);
    size_t position = 0;
    for (;;) {
        size_t ampersand = input.find('&', position);
        if (ampersand == std::string_view::npos) {
            result.append(input.substr(position));
            break;
        }
        result.append(input.substr(position, ampersand - position));
        position = ampersand;

        if (scanLiteral(input, position, "&amp;")) {
            result += '&';
        } else if (scanLiteral(input, position, "&apos;")) {
            result += '\'';
        } else if (scanLiteral(input, position, "&quot;")) {
            result += '"';
        } else if (scanLiteral(input, position, "&lt;")) {
            result += '<';
        } else if (scanLiteral(input, position, "&gt;")) {
            result += '>';
        } else if (scanLiteral(input, position, "&#")) {
            bool hex = scanLiteral(input, position, "x");
            if (auto number = scanNumber(input, position, hex ? 16 : 10)) {
                appendCodePoint(result, *number);
                if (position < input.size() && input[position] == ';') {
                    ++position;
                }
            } else {
                size_t stop = position;
                while (stop < input.size() && !isReferenceStop(input[stop])) {
                    ++stop;
                }
                std::string_view unknown = input.substr(position, stop - position);
                const std::string_view marker = hex ? input.substr(position - 1, 1) : std::string_view();
                result += "&#";
                result.append(marker);
                result.append(unknown);
                logLine("Expected numeric character entity but got &#%.*s%.*s;",
                        static_cast<int>(marker.size()), marker.data(), static_cast<int>(unknown.size()),
                        unknown.data());
                position = stop;
            }
        } else {
            result += '&';
            ++position;
        }
    }
    return result;
}

std::string stringByDecodingXMLEntitiesTwice(std::string text) {
    return stringByDecodingXMLEntities(stringByDecodingXMLEntities(std::move(text)));
}

std::string encodedCookieValue(std::string_view text) {
    return addingPercentEscapes(text);
}

std::optional<std::string> decodedCookieValue(std::string_view text) {
    std::optional<std::string> decoded = replacingPercentEscapes(text);
    if (decoded) {
        for (char& c : *decoded) {
            if (c == '+') {
                c = ' ';
            }
        }
    }
    return decoded;
}

} // namespace murmelo
