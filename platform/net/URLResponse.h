// URLResponse: the reply a URL connection reports — URL, MIME type, expected
// length, text encoding, and for HTTP the status code and header fields
// (the platform's HTTP URL response).
//
// expectedContentLength is the Content-Length, or -1 when unknown — also
// when the body is decoded (gzip/deflate), since the length then no longer
// describes the bytes delivered. Value type; thread-safe to read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/net/TransportResponse.h"
#include "platform/net/URL.h"

namespace murmelo {

struct URLResponse {
    static constexpr std::int64_t kUnknownLength = -1;

    explicit URLResponse(URL responseURL) : url(std::move(responseURL)) {}

    URL url;
    int statusCode = 0;
    // One entry per name, repeated fields joined by ", ".
    HeaderFields allHeaderFields;
    std::optional<std::string> MIMEType;         // lower-cased, without parameters
    std::optional<std::string> textEncodingName; // the charset parameter, as sent
    std::int64_t expectedContentLength = kUnknownLength;

    // From a transport reply for `url`; `decoded` says the body is decoded.
    static URLResponse fromTransport(const URL& url, const TransportResponse& reply, bool decoded);
    std::optional<std::string> headerValue(std::string_view name) const;
    // The platform's short English text for a status code ("not found").
    static std::string localizedStringForStatusCode(int statusCode);
};

} // namespace murmelo
