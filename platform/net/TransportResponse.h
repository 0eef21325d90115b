// TransportResponse: the head of an HTTP reply as the transport received it
// — status line, status code, protocol version and every header field in
// arrival order (a name that repeats, such as Set-Cookie, stays repeated).
// Interim 1xx replies are not reported. Value type; thread-safe to read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/net/TransportRequest.h"

namespace murmelo {

struct TransportResponse {
    int statusCode = 0;
    std::string statusLine;   // "HTTP/1.1 404 Not Found", without CR LF
    std::string reasonPhrase; // "Not Found"; may be empty
    HTTPVersion version = HTTPVersion::V1_1;
    HeaderFields headerFields; // as received: names as written, values trimmed

    // The values of every field named `name` (any letter case) joined by
    // ", ", or nothing when there is none.
    std::optional<std::string> headerValue(std::string_view name) const;
    // One entry per name (the first spelling seen), repeated values joined
    // by ", " — the platform's allHeaderFields.
    HeaderFields mergedHeaderFields() const;

    // Parses a status line ("HTTP/1.1 200 OK"); nothing for anything else.
    static std::optional<TransportResponse> fromStatusLine(std::string_view line);
    // Adds one "Name: value" line (without CR LF); false when it is none.
    bool addHeaderLine(std::string_view line);
};

} // namespace murmelo
