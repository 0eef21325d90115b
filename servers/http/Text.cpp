#include "servers/http/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/core/AsciiText.h"
#include "platform/core/Text.h"

namespace murmelo::servers {

namespace {

// Decodes the code point at `i` of valid UTF-8 and advances `i`.
char32_t nextCodePoint(std::string_view text, size_t& i) {
    auto byte = static_cast<unsigned char>(text[i]);
    int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    char32_t cp = length == 1   ? byte
                  : length == 2 ? (byte & 0x1F)
                  : length == 3 ? (byte & 0x0F)
                                : (byte & 0x07);
    for (int k = 1; k < length; ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += length;
    return cp;
}

bool isSpace(char32_t cp) {
    switch (cp) {
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '\v':
    case '\f':
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
    case 0x200B:
    case 0xFEFF:
        return true;
    default:
        return cp >= 0x2000 && cp <= 0x200A;
    }
}

} // namespace

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            ++i;
            continue;
        }
        int length;
        char32_t min;
        if (byte >= 0xC2 && byte <= 0xDF) {
            length = 2;
            min = 0x80;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            length = 3;
            min = 0x800;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            length = 4;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        char32_t cp = byte & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

size_t codePointCount(std::string_view text) {
    size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

std::string trimWhitespace(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    size_t i = 0;
    bool seenContent = false;
    while (i < text.size()) {
        size_t start = i;
        char32_t cp = nextCodePoint(text, i);
        if (!isSpace(cp)) {
            if (!seenContent) {
                begin = start;
                seenContent = true;
            }
            end = i;
        }
    }
    return seenContent ? std::string(text.substr(begin, end - begin)) : std::string();
}

namespace {
bool isControl(char c) {
    auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7f;
}
} // namespace

bool hasControlCharacters(std::string_view text) {
    return std::any_of(text.begin(), text.end(), isControl);
}

std::string htmlEscapeText(std::string_view text) {
    if (!hasControlCharacters(text)) {
        return htmlEscape(text);
    }
    std::string shown;
    shown.reserve(text.size() + 8);
    for (char c : text) {
        if (isControl(c)) {
            shown += "\xEF\xBF\xBD";
        } else {
            shown += c;
        }
    }
    return htmlEscape(shown);
}

std::string xmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string percentEncode(std::string_view text) {
    return text::percentEncodedExceptUnreserved(text);
}

std::optional<std::string> percentDecode(std::string_view text, PlusAsSpace plus) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            int high = text::hexDigitValue(text[i + 1]);
            int low = text::hexDigitValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && plus == PlusAsSpace::Yes) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string hexEncode(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

std::optional<std::string> hexDecode(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = text::hexDigitValue(hex[i]);
        int low = text::hexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
    }
    return out;
}

std::string describeAge(double seconds) {
    auto plural = [](long n, const char* unit) {
        return std::to_string(n) + " " + unit + (n == 1 ? "" : "s") + " ago";
    };
    if (seconds < 60) {
        return "just now";
    }
    long minutes = static_cast<long>(seconds / 60);
    if (minutes < 60) {
        return plural(minutes, "minute");
    }
    long hours = minutes / 60;
    if (hours < 24) {
        return plural(hours, "hour");
    }
    long days = hours / 24;
    if (days == 1) {
        return "yesterday";
    }
    if (days < 60) {
        return plural(days, "day");
    }
    return plural(days / 30, "month");
}

double secondsUntilAgeChanges(double seconds) {
    constexpr double kMinute = 60;
    constexpr double kHour = 60 * kMinute;
    constexpr double kDay = 24 * kHour;
    // The unit describeAge counts in at this age: the wording changes when
    // the next whole unit is reached ("month" counts in 30-day steps).
    double unit = seconds < kHour ? kMinute : seconds < kDay ? kHour : seconds < 60 * kDay ? kDay : 30 * kDay;
    if (seconds < 0) {
        return kMinute - seconds;
    }
    double next = (std::floor(seconds / unit) + 1) * unit;
    return next - seconds;
}

} // namespace murmelo::servers
