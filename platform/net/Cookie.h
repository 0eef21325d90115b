// Cookie: one HTTP cookie as the cookie store keeps it (RFC 6265 §5.3), and
// the Set-Cookie parser that makes one from a reply header for the request
// URL (§5.2 and the storage checks of §5.3: domain, path, expiry, flags).
//
//   auto cookie = Cookie::parseSetCookie("sid=1; Path=/; Max-Age=60", url, Clock::now());
//
// Domain rules: a leading dot is ignored; the domain must domain-match the
// request host or the cookie is rejected. No public-suffix list: a
// single-label domain ("com") is rejected unless it is the request host
// itself, which then gets a host-only cookie. Lines with control characters,
// or whose name and value exceed 4096 bytes, are rejected so nothing unsafe
// is ever sent back in a Cookie header.
//
// Plain value type; thread-safe to read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/net/URL.h"

namespace murmelo {

// Who reads or writes cookies: HTTP traffic sees HttpOnly cookies, page
// scripts do not.
enum class CookieAccess { HTTP, Script };

struct Cookie {
    static constexpr size_t kMaxNameAndValueBytes = 4096;
    static constexpr size_t kMaxAttributeValueBytes = 1024;

    std::string name;
    std::string value;
    std::string domain;              // lower-case, no leading dot
    std::string path;                // starts with "/"
    std::optional<double> expiresAt; // seconds since 1970; nothing = session cookie
    double creationTime = 0;
    double lastAccessTime = 0;
    bool hostOnly = true;
    bool secureOnly = false;
    bool httpOnly = false;

    bool isSessionCookie() const { return !expiresAt.has_value(); }
    bool isExpired(double now) const { return expiresAt && *expiresAt <= now; }
    // RFC 6265 §5.4 step 1 for one cookie (expiry is the store's business).
    bool matches(const URL& url, CookieAccess access) const;
    // Same name, domain and path: the store keeps one of each.
    bool sameIdentity(const Cookie& other) const {
        return name == other.name && domain == other.domain && path == other.path;
    }
    // "name=value".
    std::string pair() const { return name + "=" + value; }

    // Set-Cookie header value received for `requestURL` at `now`.
    static Result<Cookie> parseSetCookie(std::string_view header, const URL& requestURL, double now,
                                         CookieAccess access = CookieAccess::HTTP);
    // Checks a cookie made elsewhere (a file, a caller): non-empty name, no
    // control characters, sizes, a lower-case domain, a path starting "/".
    static Result<void> validate(const Cookie& cookie);
};

// RFC 6265 §5.1.1: seconds since 1970, or nothing for text that is no date.
std::optional<double> parseCookieDate(std::string_view text);
// RFC 6265 §5.1.3; both lower-case. Suffix matches only for host names.
bool cookieDomainMatches(std::string_view host, std::string_view domain);
// RFC 6265 §5.1.4.
bool cookiePathMatches(std::string_view requestPath, std::string_view cookiePath);
std::string defaultCookiePath(const URL& url);

} // namespace murmelo
