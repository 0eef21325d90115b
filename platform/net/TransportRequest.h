// TransportRequest: the HTTP request message a Transport sends — method,
// URL, header lines in the caller's order, an optional body and the protocol
// version. It is the device's stand-in for the platform's HTTP message.
//
//   TransportRequest message(*URL::strictParse("http://example.test/x"));
//   message.method = "POST";
//   message.headers.emplace_back("Content-Type", "text/plain");
//   message.body = std::make_shared<const Data>(bytes);
//   if (auto ok = message.validate(); !ok) ...
//
// The body is shared, not copied: a caller that resends it (a redirect)
// keeps its own reference. Value type; not shared between threads while
// being changed.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/Result.h"
#include "platform/core/Value.h"
#include "platform/net/ProxySettings.h"
#include "platform/net/URL.h"

namespace murmelo {

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

enum class HTTPVersion { V1_0, V1_1 };
enum class CertificateCheck { Verify, Skip };

struct TransportRequest {
    explicit TransportRequest(URL target) : url(std::move(target)) {}

    std::string method = "GET";
    URL url;
    // Sent exactly as given, in order; the transport adds only "Host" (unless
    // set here) and, for a body, "Content-Length" (unless set here).
    HeaderFields headers;
    std::shared_ptr<const Data> body; // null or empty: no body
    HTTPVersion version = HTTPVersion::V1_1;
    CertificateCheck certificateCheck = CertificateCheck::Verify;
    // An explicit proxy; when unset the device's proxy settings decide.
    std::optional<ProxyServer> proxy;

    std::size_t bodyLength() const { return body ? body->size() : 0; }
    // The value of the first header named `name` (any letter case).
    std::optional<std::string> headerValue(std::string_view name) const;

    // Whether this message can be put on the wire: an http or https URL with
    // a host, a method token, header names that are tokens and values
    // without CR, LF or NUL, and a Content-Length (if set) equal to the body
    // length. Fails with TransportErrorCode::InvalidRequest.
    Result<void> validate() const;
};

} // namespace murmelo
