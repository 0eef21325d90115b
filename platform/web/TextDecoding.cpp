#include "platform/web/TextDecoding.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <vector>

namespace murmelo::web {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void appendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The length of the valid UTF-8 sequence at `i`, or 0 when it is invalid.
std::size_t validSequenceAt(std::string_view bytes, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    }
    return length;
}

bool isValidUTF8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = validSequenceAt(bytes, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// windows-1252's 0x80...0x9F; 0 marks the five undefined bytes (kept as the C1 control).
constexpr std::uint16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string decodeWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b <= 0x9F && kWindows1252High[b - 0x80] != 0)
            appendCodePoint(out, kWindows1252High[b - 0x80]);
        else
            appendCodePoint(out, b);
    }
    return out;
}

std::string decodeWithIconv(std::string_view bytes, iconv_t converter) {
    std::string out;
    std::vector<char> buffer(16384);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or a truncated sequence at the end: one replacement, skip a byte.
        out += kReplacement;
        ++in;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    iconv(converter, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    return sanitizeUTF8(out);
}

std::string lowerTrimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Canonical name of a label we decode ourselves, or "" for anything else.
std::string builtinCharset(const std::string& label) {
    if (label == "utf-8" || label == "utf8" || label == "unicode-1-1-utf-8")
        return "utf-8";
    if (label == "iso-8859-1" || label == "iso8859-1" || label == "latin1" || label == "l1" ||
        label == "us-ascii" || label == "ascii" || label == "windows-1252" || label == "cp1252" ||
        label == "x-cp1252" || label == "iso_8859-1")
        return "windows-1252";
    return {};
}

std::optional<DecodedText> decodeAs(std::string_view bytes, const std::string& rawLabel) {
    std::string label = lowerTrimmed(rawLabel);
    if (label.size() >= 2 && (label.front() == '"' || label.front() == '\'') && label.back() == label.front())
        label = label.substr(1, label.size() - 2);
    std::string builtin = builtinCharset(label);
    if (builtin == "utf-8")
        return DecodedText{sanitizeUTF8(bytes), builtin};
    if (builtin == "windows-1252")
        return DecodedText{decodeWindows1252(bytes), builtin};
    if (label.empty())
        return std::nullopt;
    iconv_t converter = iconv_open("UTF-8", label.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    DecodedText decoded{decodeWithIconv(bytes, converter), label};
    iconv_close(converter);
    return decoded;
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
    if (at + word.size() > text.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i])
            return false;
    }
    return true;
}

// The charset= value inside a Content-Type text ("text/html; charset=koi8-r").
std::optional<std::string> charsetFromContentType(std::string_view content) {
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (!startsWithNoCase(content, i, "charset"))
            continue;
        std::size_t k = i + 7;
        while (k < content.size() && std::isspace(static_cast<unsigned char>(content[k])))
            ++k;
        if (k >= content.size() || content[k] != '=')
            continue;
        ++k;
        while (k < content.size() && std::isspace(static_cast<unsigned char>(content[k])))
            ++k;
        std::size_t end = k;
        char quote = 0;
        if (k < content.size() && (content[k] == '"' || content[k] == '\'')) {
            quote = content[k];
            end = ++k;
        }
        while (end < content.size() &&
               (quote ? content[end] != quote
                      : (content[end] != ';' && !std::isspace(static_cast<unsigned char>(content[end])))))
            ++end;
        if (end > k)
            return lowerTrimmed(content.substr(k, end - k));
    }
    return std::nullopt;
}

} // namespace

std::string sanitizeUTF8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = validSequenceAt(bytes, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(bytes.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::optional<std::string> sniffMetaCharset(std::string_view bytes) {
    std::string_view head = bytes.substr(0, 1024);
    for (std::size_t i = 0; i + 5 < head.size(); ++i) {
        if (head[i] != '<')
            continue;
        if (head.compare(i, 4, "<!--") == 0) {
            std::size_t end = head.find("-->", i + 4);
            if (end == std::string_view::npos)
                return std::nullopt;
            i = end + 2;
            continue;
        }
        if (!startsWithNoCase(head, i + 1, "meta") ||
            !(isspace(static_cast<unsigned char>(head[i + 5])) || head[i + 5] == '/'))
            continue;
        // Read the attributes up to '>'.
        std::size_t k = i + 5;
        std::optional<std::string> charset;
        std::optional<std::string> content;
        bool httpEquivContentType = false;
        while (k < head.size() && head[k] != '>') {
            while (k < head.size() && (std::isspace(static_cast<unsigned char>(head[k])) || head[k] == '/'))
                ++k;
            std::size_t nameStart = k;
            while (k < head.size() && head[k] != '=' && head[k] != '>' &&
                   !std::isspace(static_cast<unsigned char>(head[k])) && head[k] != '/')
                ++k;
            std::string name = lowerTrimmed(head.substr(nameStart, k - nameStart));
            while (k < head.size() && std::isspace(static_cast<unsigned char>(head[k])))
                ++k;
            std::string value;
            if (k < head.size() && head[k] == '=') {
                ++k;
                while (k < head.size() && std::isspace(static_cast<unsigned char>(head[k])))
                    ++k;
                if (k < head.size() && (head[k] == '"' || head[k] == '\'')) {
                    char quote = head[k++];
                    std::size_t end = head.find(quote, k);
                    if (end == std::string_view::npos)
                        end = head.size();
                    value = std::string(head.substr(k, end - k));
                    k = end + 1;
                } else {
                    std::size_t start = k;
                    while (k < head.size() && head[k] != '>' &&
                           !std::isspace(static_cast<unsigned char>(head[k])))
                        ++k;
                    value = std::string(head.substr(start, k - start));
                }
            }
            if (name.empty()) {
                if (k < head.size() && head[k] != '>')
                    ++k;
                continue;
            }
            if (name == "charset")
                charset = lowerTrimmed(value);
            else if (name == "content")
                content = value;
            else if (name == "http-equiv")
                httpEquivContentType = lowerTrimmed(value) == "content-type";
        }
        if (charset && !charset->empty())
            return charset;
        if (httpEquivContentType && content) {
            if (auto found = charsetFromContentType(*content))
                return found;
        }
        i = k;
    }
    return std::nullopt;
}

DecodedText decodeDocument(std::string_view bytes, const std::optional<std::string>& headerCharset) {
    if (headerCharset) {
        if (auto decoded = decodeAs(bytes, *headerCharset))
            return *decoded;
    }
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return DecodedText{sanitizeUTF8(bytes.substr(3)), "utf-8"};
    if (bytes.starts_with("\xFF\xFE")) {
        if (auto decoded = decodeAs(bytes.substr(2), "utf-16le"))
            return *decoded;
    }
    if (bytes.starts_with("\xFE\xFF")) {
        if (auto decoded = decodeAs(bytes.substr(2), "utf-16be"))
            return *decoded;
    }
    if (auto meta = sniffMetaCharset(bytes)) {
        // A page that claims a 16-bit charset in ASCII-compatible bytes means UTF-8.
        if (meta->starts_with("utf-16"))
            meta = "utf-8";
        if (auto decoded = decodeAs(bytes, *meta))
            return *decoded;
    }
    if (isValidUTF8(bytes))
        return DecodedText{std::string(bytes), "utf-8"};
    return DecodedText{decodeWindows1252(bytes), "windows-1252"};
}

} // namespace murmelo::web
