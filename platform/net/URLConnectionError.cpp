#include "platform/net/URLConnectionError.h"

#include "platform/net/NetError.h"

namespace murmelo {

const char* urlErrorDescription(URLErrorCode code) {
    switch (code) {
    case URLErrorCode::Cancelled:
        return "cancelled";
    case URLErrorCode::BadURL:
        return "bad URL";
    case URLErrorCode::TimedOut:
        return "The request timed out.";
    case URLErrorCode::UnsupportedURL:
        return "unsupported URL";
    case URLErrorCode::CannotFindHost:
        return "A server with the specified hostname could not be found.";
    case URLErrorCode::CannotConnectToHost:
        return "Could not connect to the server.";
    case URLErrorCode::NetworkConnectionLost:
        return "The network connection was lost.";
    case URLErrorCode::HTTPTooManyRedirects:
        return "too many HTTP redirects";
    case URLErrorCode::NotConnectedToInternet:
        return "The Internet connection appears to be offline.";
    case URLErrorCode::BadServerResponse:
        return "bad server response";
    case URLErrorCode::UserCancelledAuthentication:
        return "The user cancelled authentication.";
    case URLErrorCode::CannotDecodeRawData:
        return "cannot decode raw data";
    case URLErrorCode::CannotDecodeContentData:
        return "cannot decode content data";
    case URLErrorCode::DataLengthExceedsMaximum:
        return "resource exceeds maximum size";
    case URLErrorCode::SecureConnectionFailed:
        return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case URLErrorCode::ServerCertificateUntrusted:
        return "The certificate for this server is invalid.";
    case URLErrorCode::Unknown:
        break;
    }
    return "unknown error";
}

Error urlError(URLErrorCode code, const std::string& failingURL) {
    Error error(kURLErrorDomain, static_cast<long>(code), urlErrorDescription(code));
    Dictionary info;
    info.set(kURLErrorFailingURLStringKey, Value(failingURL));
    error.withUserInfo(std::move(info));
    return error;
}

Error urlReplyTooLargeError(const std::string& failingURL, std::size_t limit) {
    Error error = urlError(URLErrorCode::DataLengthExceedsMaximum, failingURL);
    error.withUnderlyingError(replyTooLargeError(limit));
    return error;
}

} // namespace murmelo
