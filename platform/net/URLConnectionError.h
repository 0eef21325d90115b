// Errors of URL connections, in the platform's URL error domain
// ("NSURLErrorDomain") with its usual codes and readable descriptions. The
// user info holds the failing URL under "NSErrorFailingURLStringKey"; the
// transport's own error, when there is one, is the underlying error.
// Pure values; thread-safe.
#pragma once

#include <cstddef>
#include <string>

#include "platform/core/Error.h"

namespace murmelo {

inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* kURLErrorFailingURLStringKey = "NSErrorFailingURLStringKey";

enum class URLErrorCode : long {
    Unknown = -1,
    Cancelled = -999,
    BadURL = -1000,
    TimedOut = -1001,
    UnsupportedURL = -1002,
    CannotFindHost = -1003,
    CannotConnectToHost = -1004,
    NetworkConnectionLost = -1005,
    HTTPTooManyRedirects = -1007,
    NotConnectedToInternet = -1009,
    BadServerResponse = -1011,
    UserCancelledAuthentication = -1012,
    CannotDecodeRawData = -1015,
    CannotDecodeContentData = -1016,
    DataLengthExceedsMaximum = -1103,
    SecureConnectionFailed = -1200,
    ServerCertificateUntrusted = -1202,
};

// The readable description of a code ("The request timed out.").
const char* urlErrorDescription(URLErrorCode code);
// An error of the domain with the description and the failing URL text.
Error urlError(URLErrorCode code, const std::string& failingURL);
// DataLengthExceedsMaximum for a reply whose body would pass `limit` bytes,
// with NetErrorCode::ReplyTooLarge (naming the limit) underneath.
Error urlReplyTooLargeError(const std::string& failingURL, std::size_t limit);

} // namespace murmelo
