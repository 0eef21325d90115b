#include "platform/net/TransportRequest.h"

#include <charconv>

#include "platform/core/AsciiText.h"
#include "platform/net/TransportError.h"

namespace murmelo {

namespace {

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
        if (text::equalsIgnoringASCIICase(field, name)) {
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
    if (!text::isHttpToken(method)) {
        return invalid("Not a request method: " + method);
    }
    for (const auto& [name, value] : headers) {
        if (!text::isHttpToken(name)) {
            return invalid("Not a header name: " + name);
        }
        if (!isSafeFieldValue(value)) {
            // A CR or LF would let a value start a header line of its own.
            return invalid("The value of header " + name + " holds a line break or NUL");
        }
        if (text::equalsIgnoringASCIICase(name, "Content-Length")) {
            unsigned long long declared = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), declared);
            if (ec != std::errc() || end != value.data() + value.size() || declared != bodyLength()) {
                // A wrong length would desynchronise the connection.
                return invalid("Content-Length " + value + " does not match the body length " +
                               std::to_string(bodyLength()));
            }
        }
        if (text::equalsIgnoringASCIICase(name, "Transfer-Encoding")) {
            return invalid("Transfer-Encoding is chosen by the transport");
        }
    }
    return Result<void>::success();
}

} // namespace murmelo
