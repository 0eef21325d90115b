#include "platform/foundation/StringsFile.h"

#include <cstring>

#include "platform/core/Text.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/foundation/Unicode.h"

namespace murmelo {

namespace {

Error stringsError(std::string description) {
    return Error("NSCocoaErrorDomain", 3840, "Strings table is malformed: " + std::move(description));
}

bool isWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("_$+/:.-", c) != nullptr;
}

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    Result<StringsTable> parse() {
        StringsTable table;
        MURMELO_TRY_VOID(skipBlanks());
        bool braced = peek('{');
        if (braced) {
            ++m_at;
        }
        for (;;) {
            MURMELO_TRY_VOID(skipBlanks());
            if (atEnd()) {
                if (braced) {
                    return fail("missing '}'");
                }
                return table;
            }
            if (braced && peek('}')) {
                ++m_at;
                MURMELO_TRY_VOID(skipBlanks());
                if (!atEnd()) {
                    return fail("text after '}'");
                }
                return table;
            }
            MURMELO_TRY_VALUE(auto key, token());
            MURMELO_TRY_VOID(skipBlanks());
            if (peek(';')) {
                ++m_at;
                table[key] = key;
                continue;
            }
            if (!peek('=')) {
                return fail("expected '=' or ';' after a key");
            }
            ++m_at;
            MURMELO_TRY_VOID(skipBlanks());
            MURMELO_TRY_VALUE(auto value, token());
            MURMELO_TRY_VOID(skipBlanks());
            if (!peek(';')) {
                return fail("expected ';' after a value");
            }
            ++m_at;
            table[std::move(key)] = std::move(value);
        }
    }

private:
    bool atEnd() const { return m_at >= m_text.size(); }
    bool peek(char c) const { return !atEnd() && m_text[m_at] == c; }
    bool peekPair(const char* pair) const {
        return m_text.size() - m_at >= 2 && m_text[m_at] == pair[0] && m_text[m_at + 1] == pair[1];
    }

    Error fail(const std::string& what) const {
        size_t line = 1;
        for (size_t i = 0; i < m_at && i < m_text.size(); ++i) {
            line += m_text[i] == '\n';
        }
        return stringsError(what + " on line " + std::to_string(line));
    }

    Result<void> skipBlanks() {
        while (!atEnd()) {
            char c = m_text[m_at];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                ++m_at;
            } else if (peekPair("/*")) {
                size_t end = m_text.find("*/", m_at + 2);
                if (end == std::string_view::npos) {
                    return fail("unterminated comment");
                }
                m_at = end + 2;
            } else if (peekPair("//")) {
                size_t end = m_text.find('\n', m_at);
                m_at = end == std::string_view::npos ? m_text.size() : end + 1;
            } else {
                break;
            }
        }
        return Result<void>::success();
    }

    Result<std::string> token() {
        if (peek('"')) {
            return quoted();
        }
        size_t start = m_at;
        while (!atEnd() && isWordCharacter(m_text[m_at])) {
            ++m_at;
        }
        if (m_at == start) {
            return fail("expected a quoted string or a word");
        }
        return std::string(m_text.substr(start, m_at - start));
    }

    Result<std::string> quoted() {
        ++m_at; // opening quote
        std::string out;
        char32_t pendingHigh = 0; // a high surrogate waiting for its partner
        auto flushPending = [&] {
            if (pendingHigh) {
                text::appendUtf8(out, 0xFFFD);
                pendingHigh = 0;
            }
        };
        while (!atEnd()) {
            char c = m_text[m_at++];
            if (c == '"') {
                flushPending();
                return out;
            }
            if (c != '\\') {
                flushPending();
                out.push_back(c);
                continue;
            }
            if (atEnd()) {
                break;
            }
            char e = m_text[m_at++];
            if (e == 'U' || e == 'u') {
                char32_t unit = 0;
                int digits = 0;
                while (digits < 4 && !atEnd() && text::hexDigitValue(m_text[m_at]) >= 0) {
                    unit = unit << 4 | static_cast<char32_t>(text::hexDigitValue(m_text[m_at++]));
                    ++digits;
                }
                if (digits == 0) {
                    return fail("\\U without hexadecimal digits");
                }
                if (unit >= 0xDC00 && unit <= 0xDFFF && pendingHigh) {
                    text::appendUtf8(out, 0x10000 + ((pendingHigh - 0xD800) << 10) + (unit - 0xDC00));
                    pendingHigh = 0;
                    continue;
                }
                flushPending();
                if (unit >= 0xD800 && unit <= 0xDBFF) {
                    pendingHigh = unit;
                } else {
                    text::appendUtf8(out, unit);
                }
                continue;
            }
            flushPending();
            if (e >= '0' && e <= '7') {
                char32_t value = static_cast<char32_t>(e - '0');
                for (int k = 0; k < 2 && !atEnd() && m_text[m_at] >= '0' && m_text[m_at] <= '7'; ++k) {
                    value = value * 8 + static_cast<char32_t>(m_text[m_at++] - '0');
                }
                text::appendUtf8(out, value);
                continue;
            }
            switch (e) {
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 'a':
                out.push_back('\a');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'v':
                out.push_back('\v');
                break;
            default:
                out.push_back(e);
                break; // \" \\ \' and any other character stand for themselves
            }
        }
        return fail("unterminated string");
    }

    std::string_view m_text;
    size_t m_at = 0;
};

Result<StringsTable> fromPropertyList(std::string_view bytes) {
    MURMELO_TRY_VALUE(auto value, PropertyListSerialization::propertyListWithData(bytes));
    const Dictionary* dict = value.asDictionary();
    if (!dict) {
        return stringsError("the property list is not a dictionary");
    }
    StringsTable table;
    for (const auto& [key, item] : *dict) {
        const ValueString* text = item.asString();
        if (!text) {
            return stringsError("the value of \"" + key.str() + "\" is not a string");
        }
        table[key.str()] = text->str();
    }
    return table;
}

} // namespace

Result<StringsTable> parseStringsFile(std::string_view bytes) {
    std::string decoded;
    std::string_view text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        decoded = unicode::utf16ToUtf8(bytes.substr(2), unicode::ByteOrder::LittleEndian);
        text = decoded;
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
               static_cast<unsigned char>(bytes[1]) == 0xFF) {
        decoded = unicode::utf16ToUtf8(bytes.substr(2), unicode::ByteOrder::BigEndian);
        text = decoded;
    } else {
        text = bytes;
        if (text.substr(0, 3) == "\xEF\xBB\xBF") {
            text.remove_prefix(3);
        }
        if (text.substr(0, 6) == "bplist") {
            return fromPropertyList(text);
        }
        if (!unicode::isValidUtf8(text)) {
            return stringsError("the text is neither UTF-8 nor UTF-16 with a byte-order mark");
        }
    }
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos &&
        (text.substr(first, 5) == "<?xml" || text.substr(first, 6) == "<plist")) {
        return fromPropertyList(text.substr(first));
    }
    return Parser(text).parse();
}

} // namespace murmelo
