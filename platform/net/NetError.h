// Errors of the device's network layer (domain "MurmeloNetErrorDomain").
// Callers above (the HTTP request, the web view) map them onto their own
// documented error values. Pure values; thread-safe.
#pragma once

#include <cstddef>
#include <string>

#include "platform/core/Error.h"

namespace murmelo {

inline constexpr const char* kNetErrorDomain = "MurmeloNetErrorDomain";

enum class NetErrorCode : long {
    CookieRejected = 1,        // a Set-Cookie line or cookie that may not be stored
    ProxySettingsUnusable = 2, // a proxy variable is set but cannot be used
    ConnectToRuleInvalid = 3,  // a connect-to rule that does not parse
    CookieFileUnusable = 4,    // the persistent cookie file cannot be read or written
    CookieFileDamaged = 5,     // the persistent cookie file is read but is not a sound cookie file
    ReplyTooLarge = 6,         // a reply body passed the limit of the code collecting it
};

inline Error netError(NetErrorCode code, std::string description) {
    return Error(kNetErrorDomain, static_cast<long>(code), std::move(description));
}

// ReplyTooLarge: "reply too large: more than LIMIT bytes".
inline Error replyTooLargeError(std::size_t limit) {
    return netError(NetErrorCode::ReplyTooLarge,
                    "reply too large: more than " + std::to_string(limit) + " bytes");
}

} // namespace murmelo
