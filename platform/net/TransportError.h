// Errors of the HTTP transport. Connection-level failures use the domain
// "MurmeloTransportErrorDomain"; TLS failures are reported the way the phone's
// secure transport reports them, in "NSOSStatusErrorDomain" with a code from
// -9818 to -9800, so callers can tell a certificate or handshake problem from
// any other connection failure. The libcurl code, when there is one, is in
// the user info under "curlCode". Pure values; thread-safe.
#pragma once

#include <string>

#include "platform/core/Error.h"

namespace murmelo {

inline constexpr const char* kTransportErrorDomain = "MurmeloTransportErrorDomain";
inline constexpr const char* kOSStatusErrorDomain = "NSOSStatusErrorDomain";

enum class TransportErrorCode : long {
    InvalidRequest = 1,    // the message cannot be sent: bad URL, scheme, header or length
    ProxyUnusable = 2,     // the proxy settings the URL needs cannot be used
    SetupFailed = 3,       // the transfer could not be created or scheduled
    HostNotFound = 4,      // name resolution failed (".invalid" names always do)
    CannotConnect = 5,     // refused, unreachable, or the proxy could not be reached
    ConnectionLost = 6,    // reset or closed before the reply was complete
    BadServerResponse = 7, // a reply that is not HTTP/1.x, or a malformed one
    TimedOut = 8,          // the transport's own connect limit passed
    Other = 9,             // any other failure of the transfer
};

// SecureTransport codes used for TLS failures (kOSStatusErrorDomain).
enum class SecureTransportCode : long {
    Protocol = -9800,           // errSSLProtocol: handshake or record failure
    CertificateInvalid = -9807, // errSSLXCertChainInvalid: the chain was not trusted
    ClosedAbort = -9806,        // errSSLClosedAbort: the peer dropped the connection
};

inline Error transportError(TransportErrorCode code, std::string description) {
    return Error(kTransportErrorDomain, static_cast<long>(code), std::move(description));
}

// Whether `error` is a TLS failure in the secure-transport range.
inline bool isSecureTransportError(const Error& error) {
    return error.domain() == kOSStatusErrorDomain && error.code() >= -9818 && error.code() <= -9800;
}

} // namespace murmelo
