#include "platform/net/TransportRequest.h"

#include <charconv>

#include "platform/net/TransportError.h"

namespace murmelo {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// RFC 9110 token characters.
bool isToken(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (unsigned char c : text) {
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!ok) {
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
                ok = true;
                break;
            default:
                break;
            }
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool isSafeFieldValue(std::string_view value) {
    for (char c : value) {
        if (c == '\r' || c == '\n' || c == '\0') {
            return false;
        }
    }
    return true;
}

Error invalid(std::string description) {
    return transportError(TransportErrorCode::InvalidRequest, std::move(description));
}

} // namespace

std::optional<std::string> TransportRequest::headerValue(std::string_view name) const {
    for (const auto& [field, value] : headers) {
        if (equalsIgnoringCase(field, name)) {
            return value;
        }
    }
    return std::nullopt;
}

Result<void> TransportRequest::validate() const {
    if (!url.isHTTPFamily()) {
        return invalid("Only http and https URLs can be requested: " + url.absoluteString());
    }
    if (!url.host() || url.host()->empty()) {
        return invalid("The URL has no host: " + url.absoluteString());
    }
    if (!isToken(method)) {
        return invalid("Not a request method: " + method);
    }
    for (const auto& [name, value] : headers) {
        if (!isToken(name)) {
            return invalid("Not a header name: " + name);
        }
        if (!isSafeFieldValue(value)) {
            // A CR or LF would let a value start a header line of its own.
            return invalid("The value of header " + name + " holds a line break or NUL");
        }
        if (equalsIgnoringCase(name, "Content-Length")) {
            unsigned long long declared = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), declared);
            if (ec != std::errc() || end != value.data() + value.size() || declared != bodyLength()) {
                // A wrong length would desynchronise the connection.
                return invalid("Content-Length " + value + " does not match the body length " +
                               std::to_string(bodyLength()));
            }
        }
        if (equalsIgnoringCase(name, "Transfer-Encoding")) {
            return invalid("Transfer-Encoding is chosen by the transport");
        }
    }
    return Result<void>::success();
}

} // namespace murmelo
