#include "platform/net/internal/NetText.h"

#include <arpa/inet.h>

#include <cstring>

namespace murmelo::net_internal {

bool isValidUTF8(std::string_view bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        std::uint32_t code = 0;
        std::uint32_t minimum = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            code = b & 0x1F;
            minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            code = b & 0x0F;
            minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            code = b & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (n - i < length) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (c & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string asciiLowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = asciiLower(c);
    }
    return out;
}

bool isASCIIDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isASCIIAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string_view trimWhitespace(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<int> parsePort(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    long value = 0;
    for (char c : text) {
        if (!isASCIIDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > 65535) {
            return std::nullopt;
        }
    }
    return static_cast<int>(value);
}

namespace {

bool parseAddress(int family, std::string_view text, void* out) {
    if (text.empty() || text.size() > 63 || text.find('\0') != std::string_view::npos) {
        return false;
    }
    std::string copy(text);
    return inet_pton(family, copy.c_str(), out) == 1;
}

} // namespace

bool isIPv4Literal(std::string_view text) {
    unsigned char buffer[4];
    return parseAddress(AF_INET, text, buffer);
}

bool isIPv6Literal(std::string_view text) {
    unsigned char buffer[16];
    return parseAddress(AF_INET6, text, buffer);
}

std::optional<std::vector<std::uint8_t>> ipAddressBytes(std::string_view text) {
    unsigned char buffer[16];
    if (parseAddress(AF_INET, text, buffer)) {
        return std::vector<std::uint8_t>(buffer, buffer + 4);
    }
    if (parseAddress(AF_INET6, text, buffer)) {
        return std::vector<std::uint8_t>(buffer, buffer + 16);
    }
    return std::nullopt;
}

} // namespace murmelo::net_internal
