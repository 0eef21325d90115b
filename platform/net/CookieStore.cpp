#include "platform/net/CookieStore.h"

#include <algorithm>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/foundation/FileSystem.h"
#include "platform/net/CookieFile.h"
#include "platform/net/NetError.h"
#include "platform/net/internal/NetText.h"

namespace murmelo {

CookieStore::CookieStore(NowFunction now) : m_now(now ? std::move(now) : NowFunction(&Clock::now)) {}

CookieStore& CookieStore::shared() {
    static CookieStore store;
    return store;
}

double CookieStore::now() const {
    return m_now();
}

void CookieStore::setPersistentFile(const std::string& path) {
    auto loaded = CookieFile::read(path);
    if (!loaded && loaded.error().is(kNetErrorDomain, static_cast<long>(NetErrorCode::CookieFileDamaged))) {
        // Kept for a person to look at; the next change writes a sound file.
        if (auto aside = fs::moveDamagedFileAside(path)) {
            logLine("Cookie store: ignoring %s (%s); kept as %s, starting without saved cookies",
                    path.c_str(), loaded.error().localizedDescription().c_str(), aside->c_str());
        } else {
            logLine("Cookie store: ignoring %s (%s) and cannot move it aside (%s); starting without saved "
                    "cookies",
                    path.c_str(), loaded.error().localizedDescription().c_str(),
                    aside.error().localizedDescription().c_str());
        }
    } else if (!loaded) {
        logLine("Cookie store: ignoring %s (%s); starting without saved cookies", path.c_str(),
                loaded.error().localizedDescription().c_str());
    }
    bool mustSave = false;
    {
        std::lock_guard lock(m_mutex);
        m_file = path;
        double now = m_now();
        if (loaded) {
            for (Cookie& cookie : *loaded) {
                if (cookie.isSessionCookie() || cookie.isExpired(now)) {
                    continue;
                }
                bool present = std::any_of(m_cookies.begin(), m_cookies.end(),
                                           [&](const Cookie& c) { return c.sameIdentity(cookie); });
                if (!present) {
                    m_cookies.push_back(std::move(cookie));
                }
            }
        }
        // Persistent cookies made before the file was known must reach it.
        mustSave = loaded && std::any_of(m_cookies.begin(), m_cookies.end(), [&](const Cookie& c) {
                       return !c.isSessionCookie() && !c.isExpired(now);
                   });
    }
    saveIfNeeded(mustSave);
}

std::optional<std::string> CookieStore::persistentFile() const {
    std::lock_guard lock(m_mutex);
    return m_file;
}

Result<void> CookieStore::setCookie(Cookie cookie, CookieAccess access) {
    if (auto valid = Cookie::validate(cookie); !valid) {
        return valid;
    }
    bool persistentChanged = false;
    {
        std::lock_guard lock(m_mutex);
        double now = m_now();
        auto old = std::find_if(m_cookies.begin(), m_cookies.end(),
                                [&](const Cookie& c) { return c.sameIdentity(cookie); });
        if (old != m_cookies.end() && old->httpOnly && access != CookieAccess::HTTP) {
            return netError(NetErrorCode::CookieRejected,
                            "Cookie rejected: a script may not replace an HttpOnly cookie");
        }
        if (cookie.isExpired(now)) {
            if (old != m_cookies.end()) {
                persistentChanged = !old->isSessionCookie();
                m_cookies.erase(old);
            }
        } else {
            persistentChanged = !cookie.isSessionCookie();
            std::string domain = cookie.domain;
            if (old != m_cookies.end()) {
                // The replacement takes the old one's place and creation time,
                // so equal-path cookies keep their order.
                persistentChanged = persistentChanged || !old->isSessionCookie();
                cookie.creationTime = old->creationTime;
                *old = std::move(cookie);
            } else {
                m_cookies.push_back(std::move(cookie));
            }
            enforceLimitsLocked(domain, persistentChanged);
        }
    }
    saveIfNeeded(persistentChanged);
    return {};
}

std::vector<Cookie> CookieStore::cookiesFromHeaders(const HeaderFields& headers, const URL& url) const {
    std::vector<Cookie> cookies;
    double now = m_now();
    for (const auto& [name, value] : headers) {
        if (!net_internal::equalsIgnoringASCIICase(name, "Set-Cookie")) {
            continue;
        }
        auto cookie = Cookie::parseSetCookie(value, url, now);
        if (cookie) {
            cookies.push_back(std::move(*cookie));
        }
    }
    return cookies;
}

std::vector<Cookie> CookieStore::setCookiesFromHeaders(const HeaderFields& headers, const URL& url,
                                                       CookieAccess access) {
    std::vector<Cookie> stored;
    for (Cookie& cookie : cookiesFromHeaders(headers, url)) {
        if (cookie.httpOnly && access != CookieAccess::HTTP) {
            continue;
        }
        Cookie copy = cookie;
        if (setCookie(std::move(copy), access)) {
            stored.push_back(std::move(cookie));
        }
    }
    return stored;
}

std::vector<Cookie> CookieStore::cookiesForURL(const URL& url, CookieAccess access) {
    std::vector<Cookie> result;
    bool persistentChanged = false;
    {
        std::lock_guard lock(m_mutex);
        double now = m_now();
        removeExpiredLocked(now, persistentChanged);
        for (Cookie& cookie : m_cookies) {
            if (cookie.matches(url, access)) {
                cookie.lastAccessTime = now;
                result.push_back(cookie);
            }
        }
    }
    saveIfNeeded(persistentChanged);
    std::stable_sort(result.begin(), result.end(), [](const Cookie& a, const Cookie& b) {
        if (a.path.size() != b.path.size()) {
            return a.path.size() > b.path.size();
        }
        return a.creationTime < b.creationTime;
    });
    return result;
}

std::string CookieStore::cookieHeaderForURL(const URL& url, CookieAccess access) {
    std::string header;
    for (const Cookie& cookie : cookiesForURL(url, access)) {
        if (!header.empty()) {
            header += "; ";
        }
        header += cookie.pair();
    }
    return header;
}

std::vector<Cookie> CookieStore::allCookies() {
    bool persistentChanged = false;
    std::vector<Cookie> result;
    {
        std::lock_guard lock(m_mutex);
        removeExpiredLocked(m_now(), persistentChanged);
        result = m_cookies;
    }
    saveIfNeeded(persistentChanged);
    return result;
}

bool CookieStore::deleteCookie(const Cookie& cookie) {
    bool persistentChanged = false;
    bool found = false;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_cookies.begin(), m_cookies.end(),
                               [&](const Cookie& c) { return c.sameIdentity(cookie); });
        if (it != m_cookies.end()) {
            found = true;
            persistentChanged = !it->isSessionCookie();
            m_cookies.erase(it);
        }
    }
    saveIfNeeded(persistentChanged);
    return found;
}

void CookieStore::resetForTesting() {
    std::lock_guard lock(m_mutex);
    m_cookies.clear();
    m_file.reset();
}

void CookieStore::deleteAllCookies() {
    {
        std::lock_guard lock(m_mutex);
        m_cookies.clear();
    }
    saveIfNeeded(true);
}

void CookieStore::removeExpiredLocked(double now, bool& persistentChanged) {
    auto expired = [&](const Cookie& c) { return c.isExpired(now); };
    if (std::any_of(m_cookies.begin(), m_cookies.end(), expired)) {
        persistentChanged = true;
        std::erase_if(m_cookies, expired);
    }
}

void CookieStore::enforceLimitsLocked(const std::string& domain, bool& persistentChanged) {
    auto evictOldest = [&](auto belongs) {
        auto victim = m_cookies.end();
        for (auto it = m_cookies.begin(); it != m_cookies.end(); ++it) {
            if (belongs(*it) && (victim == m_cookies.end() || it->lastAccessTime < victim->lastAccessTime)) {
                victim = it;
            }
        }
        persistentChanged = persistentChanged || !victim->isSessionCookie();
        m_cookies.erase(victim);
    };
    while (std::count_if(m_cookies.begin(), m_cookies.end(), [&](const Cookie& c) {
               return c.domain == domain;
           }) > static_cast<long>(kMaxCookiesPerDomain)) {
        evictOldest([&](const Cookie& c) { return c.domain == domain; });
    }
    while (m_cookies.size() > kMaxCookies) {
        evictOldest([](const Cookie&) { return true; });
    }
}

void CookieStore::saveIfNeeded(bool persistentChanged) {
    if (!persistentChanged) {
        return;
    }
    std::string path;
    std::vector<Cookie> persistent;
    unsigned long generation = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_file) {
            return;
        }
        path = *m_file;
        generation = ++m_generation;
        double now = m_now();
        for (const Cookie& cookie : m_cookies) {
            if (!cookie.isSessionCookie() && !cookie.isExpired(now)) {
                persistent.push_back(cookie);
            }
        }
    }
    std::lock_guard fileLock(m_fileMutex);
    if (generation <= m_writtenGeneration) {
        return; // a later snapshot is already on disk
    }
    if (auto written = CookieFile::write(path, persistent); !written) {
        logLine("Cookie store: cannot save cookies: %s", written.error().localizedDescription().c_str());
        return;
    }
    m_writtenGeneration = generation;
}

} // namespace murmelo
