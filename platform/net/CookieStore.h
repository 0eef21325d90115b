// CookieStore: the device's cookie jar (RFC 6265 §5.3–5.4), shared by every
// HTTP request and every web view of the process through `shared()`.
//
//   auto& jar = CookieStore::shared();
//   jar.setPersistentFile(home + "/Library/Cookies/Cookies.txt"); // at launch
//   jar.setCookiesFromHeaders(reply.headers, url);
//   request.setHeader("Cookie", jar.cookieHeaderForURL(url));
//
// One cookie per (name, domain, path); a newer one replaces the older and
// keeps its creation time. Expired cookies are never returned. Persistent
// cookies (with an expiry) are written to the persistent file whenever they
// change — atomically, via a temporary file and rename, mode 0600 — and read
// back by setPersistentFile; session cookies live only in memory. A damaged
// file gives an empty store and a log line.
//
// Time comes from the injected clock (default Clock::now) so tests move it.
// Thread-safe: every member may be called from any thread.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/Result.h"
#include "platform/net/Cookie.h"

namespace murmelo {

class CookieStore {
public:
    using NowFunction = std::function<double()>;
    using HeaderFields = std::vector<std::pair<std::string, std::string>>;

    static constexpr size_t kMaxCookiesPerDomain = 180;
    static constexpr size_t kMaxCookies = 3000;

    explicit CookieStore(NowFunction now = {});
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    // The process-wide store (NSHTTPCookieStorage's shared instance).
    static CookieStore& shared();

    // Points persistence at `path` (created with its folder when first
    // written) and loads the persistent cookies kept there. Cookies already
    // in memory win over loaded ones with the same identity.
    void setPersistentFile(const std::string& path);
    std::optional<std::string> persistentFile() const;

    // Stores a complete cookie (one from Cookie::parseSetCookie or a caller).
    // An expired cookie deletes the stored one of the same identity. A script
    // may not replace an HttpOnly cookie.
    Result<void> setCookie(Cookie cookie, CookieAccess access = CookieAccess::HTTP);

    // The cookies the "Set-Cookie" lines (any letter case) of a reply for
    // `url` carry, each line one cookie; rejected lines are skipped.
    std::vector<Cookie> cookiesFromHeaders(const HeaderFields& headers, const URL& url) const;
    // cookiesFromHeaders, then setCookie for each; returns those stored.
    std::vector<Cookie> setCookiesFromHeaders(const HeaderFields& headers, const URL& url,
                                              CookieAccess access = CookieAccess::HTTP);

    // Cookies to send to `url`: longer paths first, then earlier creation.
    std::vector<Cookie> cookiesForURL(const URL& url, CookieAccess access = CookieAccess::HTTP);
    // "a=1; b=2" for `url`; empty when there are none.
    std::string cookieHeaderForURL(const URL& url, CookieAccess access = CookieAccess::HTTP);

    // Forgets every cookie and the persistent file without writing: the
    // store of a new process, for tests that launch an app twice in one.
    void resetForTesting();

    std::vector<Cookie> allCookies();
    // Removes the cookie with the same name, domain and path; false if none.
    bool deleteCookie(const Cookie& cookie);
    void deleteAllCookies();

    double now() const;

private:
    void removeExpiredLocked(double now, bool& persistentChanged);
    void enforceLimitsLocked(const std::string& domain, bool& persistentChanged);
    // Writes the persistent cookies if the file is set; failures are logged.
    void saveIfNeeded(bool persistentChanged);

    NowFunction m_now;
    mutable std::mutex m_mutex;
    std::vector<Cookie> m_cookies; // in arrival order
    std::optional<std::string> m_file;
    unsigned long m_generation = 0;

    std::mutex m_fileMutex; // serialises writers; taken without m_mutex held
    unsigned long m_writtenGeneration = 0;
};

} // namespace murmelo
