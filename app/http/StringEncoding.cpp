#include "app/http/StringEncoding.h"

#include <array>
#include <cctype>

#include "platform/core/Text.h"
#include "platform/foundation/Unicode.h"

namespace murmelo {

namespace {

std::string normalised(std::string_view name) {
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front()))) {
        name.remove_prefix(1);
    }
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) {
        name.remove_suffix(1);
    }
    std::string lower(name);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

// Windows-1252 0x80–0x9F; 0 marks the five bytes it leaves undefined.
constexpr std::array<char32_t, 32> kCP1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Decodes one UTF-8 sequence at `i` (already validated text).
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t code = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        code = (code << 6) | (byte(i + static_cast<std::size_t>(k)) & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return code;
}

void appendUtf16(std::string& out, char32_t code, bool bigEndian) {
    auto unit = [&](std::uint16_t u) {
        char hi = static_cast<char>(u >> 8);
        char lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    };
    if (code >= 0x10000) {
        code -= 0x10000;
        unit(static_cast<std::uint16_t>(0xD800 + (code >> 10)));
        unit(static_cast<std::uint16_t>(0xDC00 + (code & 0x3FF)));
    } else {
        unit(static_cast<std::uint16_t>(code));
    }
}

} // namespace

std::optional<StringEncoding> stringEncodingForIANAName(std::string_view name) {
    static const std::array<std::pair<const char*, StringEncoding>, 19> kNames = {{
        {"utf-8", StringEncoding::UTF8},
        {"utf8", StringEncoding::UTF8},
        {"us-ascii", StringEncoding::ASCII},
        {"ascii", StringEncoding::ASCII},
        {"ansi_x3.4-1968", StringEncoding::ASCII},
        {"iso-8859-1", StringEncoding::ISOLatin1},
        {"iso_8859-1", StringEncoding::ISOLatin1},
        {"iso8859-1", StringEncoding::ISOLatin1},
        {"latin1", StringEncoding::ISOLatin1},
        {"l1", StringEncoding::ISOLatin1},
        {"ibm819", StringEncoding::ISOLatin1},
        {"cp819", StringEncoding::ISOLatin1},
        {"windows-1252", StringEncoding::WindowsCP1252},
        {"cp1252", StringEncoding::WindowsCP1252},
        {"utf-16", StringEncoding::UTF16},
        {"utf-16be", StringEncoding::UTF16BigEndian},
        {"utf-16le", StringEncoding::UTF16LittleEndian},
        {"iso-10646-ucs-2", StringEncoding::UTF16},
        {"csisolatin1", StringEncoding::ISOLatin1},
    }};
    std::string wanted = normalised(name);
    for (const auto& [known, encoding] : kNames) {
        if (wanted == known) {
            return encoding;
        }
    }
    return std::nullopt;
}

const char* ianaNameOfStringEncoding(StringEncoding encoding) {
    switch (encoding) {
    case StringEncoding::ASCII:
        return "us-ascii";
    case StringEncoding::UTF8:
        return "utf-8";
    case StringEncoding::ISOLatin1:
        return "iso-8859-1";
    case StringEncoding::WindowsCP1252:
        return "windows-1252";
    case StringEncoding::UTF16:
        return "utf-16";
    case StringEncoding::UTF16BigEndian:
        return "utf-16be";
    case StringEncoding::UTF16LittleEndian:
        return "utf-16le";
    }
    return "utf-8";
}

std::optional<std::string> decodeString(const std::uint8_t* bytes, std::size_t length,
                                        StringEncoding encoding) {
    std::string_view view(reinterpret_cast<const char*>(bytes), length);
    std::string out;
    switch (encoding) {
    case StringEncoding::UTF8:
        if (!unicode::isValidUtf8(view)) {
            return std::nullopt;
        }
        if (view.starts_with("\xEF\xBB\xBF")) {
            view.remove_prefix(3); // a byte-order mark is no text
        }
        return std::string(view);
    case StringEncoding::ASCII:
        for (unsigned char c : view) {
            if (c >= 0x80) {
                return std::nullopt;
            }
        }
        return std::string(view);
    case StringEncoding::ISOLatin1:
        out.reserve(length + length / 4);
        for (unsigned char c : view) {
            text::appendUtf8(out, c);
        }
        return out;
    case StringEncoding::WindowsCP1252:
        out.reserve(length + length / 4);
        for (unsigned char c : view) {
            if (c >= 0x80 && c <= 0x9F) {
                char32_t mapped = kCP1252High[c - 0x80];
                if (mapped == 0) {
                    return std::nullopt;
                }
                text::appendUtf8(out, mapped);
            } else {
                text::appendUtf8(out, c);
            }
        }
        return out;
    case StringEncoding::UTF16:
    case StringEncoding::UTF16BigEndian:
    case StringEncoding::UTF16LittleEndian: {
        if (length % 2 != 0) {
            return std::nullopt;
        }
        unicode::ByteOrder order = encoding == StringEncoding::UTF16LittleEndian
                                       ? unicode::ByteOrder::LittleEndian
                                       : unicode::ByteOrder::BigEndian;
        if (encoding == StringEncoding::UTF16 && length >= 2) {
            if (view.starts_with("\xFF\xFE")) {
                order = unicode::ByteOrder::LittleEndian;
                view.remove_prefix(2);
            } else if (view.starts_with("\xFE\xFF")) {
                view.remove_prefix(2);
            }
        }
        return unicode::utf16ToUtf8(view, order);
    }
    }
    return std::nullopt;
}

std::optional<std::string> encodeString(std::string_view utf8, StringEncoding encoding) {
    if (!unicode::isValidUtf8(utf8)) {
        return std::nullopt;
    }
    if (encoding == StringEncoding::UTF8) {
        return std::string(utf8);
    }
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t code = nextCodePoint(utf8, i);
        switch (encoding) {
        case StringEncoding::ASCII:
            if (code >= 0x80) {
                return std::nullopt;
            }
            out += static_cast<char>(code);
            break;
        case StringEncoding::ISOLatin1:
            if (code >= 0x100) {
                return std::nullopt;
            }
            out += static_cast<char>(code);
            break;
        case StringEncoding::WindowsCP1252: {
            if (code < 0x80 || (code >= 0xA0 && code < 0x100)) {
                out += static_cast<char>(code);
                break;
            }
            bool found = false;
            for (std::size_t k = 0; k < kCP1252High.size(); ++k) {
                if (kCP1252High[k] == code && code != 0) {
                    out += static_cast<char>(0x80 + k);
                    found = true;
                    break;
                }
            }
            if (!found) {
                return std::nullopt;
            }
            break;
        }
        case StringEncoding::UTF16:
        case StringEncoding::UTF16BigEndian:
            appendUtf16(out, code, true);
            break;
        case StringEncoding::UTF16LittleEndian:
            appendUtf16(out, code, false);
            break;
        case StringEncoding::UTF8:
            break;
        }
    }
    return out;
}

} // namespace murmelo
