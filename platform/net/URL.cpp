#include "platform/net/URL.h"

#include "platform/core/Text.h"
#include "platform/net/internal/NetText.h"

namespace murmelo {

using namespace net_internal;
using text::isHexDigit;

namespace {

bool isUnreserved(char c) {
    return isASCIIAlpha(c) || isASCIIDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelim(char c) {
    switch (c) {
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
        return true;
    default:
        return false;
    }
}

bool isGenDelim(char c) {
    switch (c) {
    case ':':
    case '/':
    case '?':
    case '#':
    case '[':
    case ']':
    case '@':
        return true;
    default:
        return false;
    }
}

// Every character is one a URL may hold, and every '%' starts an escape.
bool hasOnlyURLCharacters(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
                return false;
            }
            i += 2;
            continue;
        }
        if (!isUnreserved(c) && !isSubDelim(c) && !isGenDelim(c)) {
            return false;
        }
    }
    return true;
}

bool isValidScheme(std::string_view scheme) {
    if (scheme.empty() || !isASCIIAlpha(scheme.front())) {
        return false;
    }
    for (char c : scheme) {
        if (!isASCIIAlpha(c) && !isASCIIDigit(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

bool isRegNameOrUserInfo(std::string_view text, bool allowColon) {
    for (char c : text) {
        if (c == '%' || isUnreserved(c) || isSubDelim(c) || (allowColon && c == ':')) {
            continue;
        }
        return false;
    }
    return true;
}

bool isValidIPLiteral(std::string_view inside) {
    if (!inside.empty() && (inside.front() == 'v' || inside.front() == 'V')) {
        size_t dot = inside.find('.');
        if (dot == std::string_view::npos || dot < 2 || dot + 1 >= inside.size()) {
            return false;
        }
        for (size_t i = 1; i < dot; ++i) {
            if (!isHexDigit(inside[i])) {
                return false;
            }
        }
        for (size_t i = dot + 1; i < inside.size(); ++i) {
            char c = inside[i];
            if (!isUnreserved(c) && !isSubDelim(c) && c != ':') {
                return false;
            }
        }
        return true;
    }
    return isIPv6Literal(inside);
}

std::optional<int> defaultPort(const std::optional<std::string>& scheme) {
    if (!scheme) {
        return std::nullopt;
    }
    if (equalsIgnoringASCIICase(*scheme, "http")) {
        return 80;
    }
    if (equalsIgnoringASCIICase(*scheme, "https")) {
        return 443;
    }
    return std::nullopt;
}

// RFC 3986 §5.2.4.
std::string removeDotSegments(std::string_view input) {
    std::string output;
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../") || input == "/..") {
            if (input.size() == 3) {
                input = "/";
            } else {
                input.remove_prefix(3);
            }
            size_t last = output.rfind('/');
            output.erase(last == std::string::npos ? 0 : last);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            size_t start = input.front() == '/' ? 1 : 0;
            size_t end = input.find('/', start);
            if (end == std::string_view::npos) {
                end = input.size();
            }
            output.append(input.substr(0, end));
            input.remove_prefix(end);
        }
    }
    return output;
}

} // namespace

struct URLBuilder {
    // Splits and checks the generic syntax; components stay escaped.
    static std::optional<URL> parse(std::string_view text) {
        if (!hasOnlyURLCharacters(text)) {
            return std::nullopt;
        }
        URL url;
        std::string_view rest = text;

        size_t hash = rest.find('#');
        if (hash != std::string_view::npos) {
            // A later '#' belongs to the fragment: legacy escaping leaves '#'
            // alone, so escaped values may carry more than one.
            url.m_fragment = std::string(rest.substr(hash + 1));
            rest = rest.substr(0, hash);
        }
        size_t question = rest.find('?');
        if (question != std::string_view::npos) {
            url.m_query = std::string(rest.substr(question + 1));
            rest = rest.substr(0, question);
        }
        size_t colon = rest.find(':');
        size_t slash = rest.find('/');
        if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash)) {
            std::string_view scheme = rest.substr(0, colon);
            if (!isValidScheme(scheme)) {
                // A relative reference's first segment may not hold ':'.
                return std::nullopt;
            }
            url.m_scheme = std::string(scheme);
            rest.remove_prefix(colon + 1);
        }
        if (rest.starts_with("//")) {
            rest.remove_prefix(2);
            size_t end = rest.find('/');
            if (end == std::string_view::npos) {
                end = rest.size();
            }
            if (!parseAuthority(url, rest.substr(0, end))) {
                return std::nullopt;
            }
            rest.remove_prefix(end);
        }
        url.m_path = std::string(rest);
        url.m_absoluteString = std::string(text);
        url.m_relativeString = url.m_absoluteString;
        return url;
    }

    static bool parseAuthority(URL& url, std::string_view authority) {
        url.m_authority = std::string(authority);
        std::string_view hostPort = authority;
        size_t at = authority.rfind('@');
        if (at != std::string_view::npos) {
            std::string_view userInfo = authority.substr(0, at);
            if (!isRegNameOrUserInfo(userInfo, true)) {
                return false;
            }
            size_t colon = userInfo.find(':');
            url.m_user = std::string(userInfo.substr(0, colon));
            if (colon != std::string_view::npos) {
                url.m_password = std::string(userInfo.substr(colon + 1));
            }
            hostPort = authority.substr(at + 1);
        }
        std::string_view host;
        std::string_view afterHost;
        if (hostPort.starts_with('[')) {
            size_t close = hostPort.find(']');
            if (close == std::string_view::npos || !isValidIPLiteral(hostPort.substr(1, close - 1))) {
                return false;
            }
            host = hostPort.substr(0, close + 1);
            afterHost = hostPort.substr(close + 1);
        } else {
            size_t colon = hostPort.find(':');
            host = hostPort.substr(0, colon);
            afterHost = colon == std::string_view::npos ? std::string_view{} : hostPort.substr(colon);
            if (!isRegNameOrUserInfo(host, false)) {
                return false;
            }
        }
        if (!afterHost.empty()) {
            if (afterHost.front() != ':') {
                return false;
            }
            std::string_view portText = afterHost.substr(1);
            if (!portText.empty()) {
                auto port = parsePort(portText);
                if (!port) {
                    return false;
                }
                url.m_port = port;
            }
        }
        url.m_host = asciiLowercase(host);
        return true;
    }

    static std::string recompose(const URL& url) {
        std::string out;
        if (url.m_scheme) {
            out += *url.m_scheme + ":";
        }
        if (url.m_authority) {
            out += "//" + *url.m_authority;
        }
        out += url.m_path;
        if (url.m_query) {
            out += "?" + *url.m_query;
        }
        if (url.m_fragment) {
            out += "#" + *url.m_fragment;
        }
        return out;
    }

    static void copyAuthority(URL& to, const URL& from) {
        to.m_authority = from.m_authority;
        to.m_user = from.m_user;
        to.m_password = from.m_password;
        to.m_host = from.m_host;
        to.m_port = from.m_port;
    }

    // RFC 3986 §5.2.2, strict form.
    static URL resolve(const URL& base, const URL& ref) {
        URL target;
        if (ref.m_scheme) {
            target.m_scheme = ref.m_scheme;
            copyAuthority(target, ref);
            target.m_path = removeDotSegments(ref.m_path);
            target.m_query = ref.m_query;
        } else {
            if (ref.m_authority) {
                copyAuthority(target, ref);
                target.m_path = removeDotSegments(ref.m_path);
                target.m_query = ref.m_query;
            } else {
                if (ref.m_path.empty()) {
                    target.m_path = base.m_path;
                    target.m_query = ref.m_query ? ref.m_query : base.m_query;
                } else {
                    if (ref.m_path.front() == '/') {
                        target.m_path = removeDotSegments(ref.m_path);
                    } else {
                        target.m_path = removeDotSegments(merge(base, ref.m_path));
                    }
                    target.m_query = ref.m_query;
                }
                copyAuthority(target, base);
            }
            target.m_scheme = base.m_scheme;
        }
        target.m_fragment = ref.m_fragment;
        target.m_absoluteString = recompose(target);
        target.m_relativeString = ref.m_relativeString;
        return target;
    }

    // RFC 3986 §5.2.3.
    static std::string merge(const URL& base, const std::string& refPath) {
        if (base.m_authority && base.m_path.empty()) {
            return "/" + refPath;
        }
        size_t slash = base.m_path.rfind('/');
        if (slash == std::string::npos) {
            return refPath;
        }
        return base.m_path.substr(0, slash + 1) + refPath;
    }
};

std::optional<URL> URL::strictParse(std::string_view text) {
    return URLBuilder::parse(text);
}

std::optional<URL> URL::resolve(const URL& base, std::string_view reference) {
    if (!base.m_scheme) {
        return std::nullopt;
    }
    auto ref = URLBuilder::parse(reference);
    if (!ref) {
        return std::nullopt;
    }
    URL target = URLBuilder::resolve(base, *ref);
    target.m_base = std::make_shared<const URL>(base);
    return target;
}

URL URL::absoluteURL() const {
    URL copy = *this;
    copy.m_base.reset();
    copy.m_relativeString = m_absoluteString;
    return copy;
}

bool URL::hasScheme(std::string_view name) const {
    return m_scheme && equalsIgnoringASCIICase(*m_scheme, name);
}

std::optional<int> URL::effectivePort() const {
    return m_port ? m_port : defaultPort(m_scheme);
}

std::optional<URL::HostAndPort> URL::hostAndPort() const {
    if (!isHTTPFamily() || !m_host || m_host->empty()) {
        return std::nullopt;
    }
    return HostAndPort{*m_host, *effectivePort()};
}

std::string URL::path() const {
    auto unescaped = replacingPercentEscapes(m_path);
    return unescaped ? *unescaped : m_path;
}

std::string URL::requestTarget() const {
    std::string target = m_path.empty() ? "/" : m_path;
    if (m_query) {
        target += "?" + *m_query;
    }
    return target;
}

std::string addingPercentEscapes(std::string_view text) {
    return text::percentEncoded(text, [](unsigned char byte) {
        switch (byte) {
        case '"':
        case '%':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
        case '[':
        case ']':
            return true;
        default:
            return byte <= 0x20 || byte >= 0x7F;
        }
    });
}

std::optional<std::string> replacingPercentEscapes(std::string_view text) {
    auto out = text::percentDecoded(text);
    if (!out || !isValidUTF8(*out)) {
        return std::nullopt;
    }
    return out;
}

} // namespace murmelo
