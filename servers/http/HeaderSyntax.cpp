#include "servers/http/HeaderSyntax.h"

#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

bool isHttpTokenChar(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        return true;
    }
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
        return true;
    default:
        return false;
    }
}

bool isHttpToken(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!isHttpTokenChar(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

Result<std::pair<std::string_view, std::string_view>> splitHeaderLine(std::string_view line) {
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        return httpRefusal(400, "folded header line");
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return httpRefusal(400, "header line without a colon");
    }
    std::string_view name = line.substr(0, colon);
    if (!isHttpToken(name)) {
        return httpRefusal(400, "malformed header name");
    }
    std::string_view value = trimBlanks(line.substr(colon + 1));
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f) {
            return httpRefusal(400, "control character in header value");
        }
    }
    return std::pair{name, value};
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace murmelo::servers
