#include "platform/net/Cookie.h"

#include <cmath>

#include "platform/net/NetError.h"
#include "platform/net/internal/NetText.h"

namespace murmelo {

using namespace net_internal;

namespace {

// Beyond this a Max-Age only risks overflow; roughly 300 years.
constexpr double kMaxDeltaSeconds = 1e10;

bool isControl(char c) {
    auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7F;
}

bool hasControl(std::string_view text) {
    for (char c : text) {
        if (isControl(c)) {
            return true;
        }
    }
    return false;
}

Error rejected(const std::string& why) {
    return netError(NetErrorCode::CookieRejected, "Cookie rejected: " + why);
}

// Host text without IPv6 brackets, to recognise IP addresses.
bool isIPAddressHost(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return true;
    }
    return isIPv4Literal(host);
}

bool isDateDelimiter(unsigned char c) {
    return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
           (c >= 0x7B && c <= 0x7E);
}

// 1*max DIGIT at the start, followed by nothing or a non-digit.
std::optional<int> leadingDigits(std::string_view token, size_t minimum, size_t maximum, size_t& consumed) {
    size_t n = 0;
    int value = 0;
    while (n < token.size() && isASCIIDigit(token[n])) {
        if (n == maximum) {
            return std::nullopt;
        }
        value = value * 10 + (token[n] - '0');
        ++n;
    }
    if (n < minimum) {
        return std::nullopt;
    }
    consumed = n;
    return value;
}

bool parseTime(std::string_view token, int& hour, int& minute, int& second) {
    int parts[3];
    for (int i = 0; i < 3; ++i) {
        size_t used = 0;
        auto value = leadingDigits(token, 1, 2, used);
        if (!value) {
            return false;
        }
        parts[i] = *value;
        token.remove_prefix(used);
        if (i < 2) {
            if (token.empty() || token.front() != ':') {
                return false;
            }
            token.remove_prefix(1);
        }
    }
    hour = parts[0];
    minute = parts[1];
    second = parts[2];
    return true;
}

int monthOf(std::string_view token) {
    static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() < 3) {
        return 0;
    }
    for (int m = 0; m < 12; ++m) {
        if (equalsIgnoringASCIICase(token.substr(0, 3), kMonths[m])) {
            return m + 1;
        }
    }
    return 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long daysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::optional<double> parseMaxAge(std::string_view value) {
    if (value.empty() || !(isASCIIDigit(value.front()) || value.front() == '-')) {
        return std::nullopt;
    }
    bool negative = value.front() == '-';
    std::string_view digits = negative ? value.substr(1) : value;
    if (digits.empty()) {
        return std::nullopt;
    }
    double delta = 0;
    for (char c : digits) {
        if (!isASCIIDigit(c)) {
            return std::nullopt;
        }
        delta = std::min(delta * 10 + (c - '0'), kMaxDeltaSeconds);
    }
    return negative ? -delta : delta;
}

} // namespace

std::optional<double> parseCookieDate(std::string_view text) {
    bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
    int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isDateDelimiter(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        size_t start = i;
        while (i < text.size() && !isDateDelimiter(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        std::string_view token = text.substr(start, i - start);
        if (token.empty()) {
            continue;
        }
        size_t used = 0;
        if (!foundTime && parseTime(token, hour, minute, second)) {
            foundTime = true;
        } else if (!foundDay && leadingDigits(token, 1, 2, used)) {
            day = *leadingDigits(token, 1, 2, used);
            foundDay = true;
        } else if (!foundMonth && monthOf(token) != 0) {
            month = monthOf(token);
            foundMonth = true;
        } else if (!foundYear && leadingDigits(token, 2, 4, used)) {
            year = *leadingDigits(token, 2, 4, used);
            foundYear = true;
        }
    }
    if (!foundTime || !foundDay || !foundMonth || !foundYear) {
        return std::nullopt;
    }
    if (year >= 70 && year <= 99) {
        year += 1900;
    } else if (year >= 0 && year <= 69) {
        year += 2000;
    }
    if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    if (day > daysInMonth(year, month)) {
        return std::nullopt;
    }
    long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<double>(days) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
}

bool cookieDomainMatches(std::string_view host, std::string_view domain) {
    if (host == domain) {
        return true;
    }
    if (domain.empty() || host.size() <= domain.size() || isIPAddressHost(host)) {
        return false;
    }
    return host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.';
}

bool cookiePathMatches(std::string_view requestPath, std::string_view cookiePath) {
    if (requestPath == cookiePath) {
        return true;
    }
    if (!requestPath.starts_with(cookiePath)) {
        return false;
    }
    return cookiePath.ends_with('/') || requestPath[cookiePath.size()] == '/';
}

std::string defaultCookiePath(const URL& url) {
    const std::string& path = url.escapedPath();
    if (path.empty() || path.front() != '/') {
        return "/";
    }
    size_t last = path.rfind('/');
    if (last == 0) {
        return "/";
    }
    return path.substr(0, last);
}

bool Cookie::matches(const URL& url, CookieAccess access) const {
    if (!url.isHTTPFamily() || !url.host() || url.host()->empty()) {
        return false;
    }
    const std::string& host = *url.host();
    if (hostOnly ? host != domain : !cookieDomainMatches(host, domain)) {
        return false;
    }
    std::string requestPath = url.escapedPath().empty() ? "/" : url.escapedPath();
    if (!cookiePathMatches(requestPath, path)) {
        return false;
    }
    if (secureOnly && !url.hasScheme("https")) {
        return false;
    }
    if (httpOnly && access != CookieAccess::HTTP) {
        return false;
    }
    return true;
}

Result<void> Cookie::validate(const Cookie& cookie) {
    if (cookie.name.empty()) {
        return rejected("empty name");
    }
    if (cookie.name.size() + cookie.value.size() > kMaxNameAndValueBytes) {
        return rejected("name and value too long");
    }
    if (hasControl(cookie.name) || hasControl(cookie.value) || hasControl(cookie.domain) ||
        hasControl(cookie.path)) {
        return rejected("control character");
    }
    if (cookie.name.find_first_of("=;") != std::string::npos || cookie.value.find(';') != std::string::npos) {
        return rejected("separator in name or value");
    }
    if (cookie.domain.empty() || cookie.domain.front() == '.' ||
        cookie.domain != asciiLowercase(cookie.domain)) {
        return rejected("bad domain");
    }
    if (cookie.path.empty() || cookie.path.front() != '/' || cookie.path.find(';') != std::string::npos) {
        return rejected("bad path");
    }
    if (!std::isfinite(cookie.creationTime) || !std::isfinite(cookie.lastAccessTime) ||
        (cookie.expiresAt && std::isnan(*cookie.expiresAt))) {
        return rejected("bad time");
    }
    return {};
}

Result<Cookie> Cookie::parseSetCookie(std::string_view header, const URL& requestURL, double now,
                                      CookieAccess access) {
    if (!requestURL.host() || requestURL.host()->empty()) {
        return rejected("request URL has no host");
    }
    if (hasControl(header)) {
        return rejected("control character");
    }
    size_t semicolon = header.find(';');
    std::string_view pair = header.substr(0, semicolon);
    std::string_view attributes =
        semicolon == std::string_view::npos ? std::string_view{} : header.substr(semicolon);
    size_t equals = pair.find('=');
    if (equals == std::string_view::npos) {
        return rejected("no '=' in the name-value pair");
    }
    Cookie cookie;
    cookie.name = std::string(trimBlanks(pair.substr(0, equals)));
    cookie.value = std::string(trimBlanks(pair.substr(equals + 1)));
    if (cookie.name.empty()) {
        return rejected("empty name");
    }
    if (cookie.name.size() + cookie.value.size() > kMaxNameAndValueBytes) {
        return rejected("name and value too long");
    }

    std::optional<double> maxAgeExpiry;
    std::optional<double> expiresExpiry;
    std::optional<std::string> domainAttribute;
    std::optional<std::string> pathAttribute;
    while (!attributes.empty()) {
        attributes.remove_prefix(1); // the ';'
        size_t next = attributes.find(';');
        std::string_view attribute = attributes.substr(0, next);
        attributes = next == std::string_view::npos ? std::string_view{} : attributes.substr(next);
        size_t eq = attribute.find('=');
        std::string_view name = trimBlanks(attribute.substr(0, eq));
        std::string_view value =
            eq == std::string_view::npos ? std::string_view{} : trimBlanks(attribute.substr(eq + 1));
        if (value.size() > kMaxAttributeValueBytes) {
            continue;
        }
        if (equalsIgnoringASCIICase(name, "expires")) {
            if (auto date = parseCookieDate(value)) {
                expiresExpiry = date;
            }
        } else if (equalsIgnoringASCIICase(name, "max-age")) {
            if (auto delta = parseMaxAge(value)) {
                maxAgeExpiry = *delta <= 0 ? 0.0 : now + *delta;
            }
        } else if (equalsIgnoringASCIICase(name, "domain")) {
            if (!value.empty()) {
                if (value.front() == '.') {
                    value.remove_prefix(1);
                }
                domainAttribute = asciiLowercase(value);
            }
        } else if (equalsIgnoringASCIICase(name, "path")) {
            if (!value.empty() && value.front() == '/') {
                pathAttribute = std::string(value);
            } else {
                pathAttribute.reset();
            }
        } else if (equalsIgnoringASCIICase(name, "secure")) {
            cookie.secureOnly = true;
        } else if (equalsIgnoringASCIICase(name, "httponly")) {
            cookie.httpOnly = true;
        }
    }

    cookie.creationTime = now;
    cookie.lastAccessTime = now;
    cookie.expiresAt = maxAgeExpiry ? maxAgeExpiry : expiresExpiry;

    const std::string& host = *requestURL.host();
    std::string domain = domainAttribute.value_or("");
    if (!domain.empty() && domain.find('.') == std::string::npos && domain.front() != '[') {
        // A single label is a top-level domain or a local name: only the
        // host itself may use it, and then as a host-only cookie.
        if (domain != host) {
            return rejected("domain \"" + domain + "\" is a top-level domain");
        }
        domain.clear();
    }
    if (!domain.empty()) {
        if (!cookieDomainMatches(host, domain)) {
            return rejected("domain \"" + domain + "\" does not match host \"" + host + "\"");
        }
        cookie.hostOnly = false;
        cookie.domain = domain;
    } else {
        cookie.hostOnly = true;
        cookie.domain = host;
    }
    cookie.path = pathAttribute ? *pathAttribute : defaultCookiePath(requestURL);
    if (cookie.httpOnly && access != CookieAccess::HTTP) {
        return rejected("HttpOnly cookie from a script");
    }
    MURMELO_TRY_VOID(validate(cookie));
    return cookie;
}

} // namespace murmelo
