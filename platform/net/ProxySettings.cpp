#include "platform/net/ProxySettings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include <unistd.h>

#include "platform/core/Text.h"
#include "platform/net/NetError.h"
#include "platform/net/internal/NetText.h"

namespace murmelo {

using namespace net_internal;

namespace {

constexpr const char* kUnableText = "Unable to obtain information on proxy servers needed for request";

Error unusable(const std::string& variable, const std::string& why) {
    return netError(NetErrorCode::ProxySettingsUnusable, kUnableText)
        .withFailureReason("The variable " + variable + " cannot be used: " + why);
}

const char* schemeName(ProxyServer::Type type) {
    switch (type) {
    case ProxyServer::Type::HTTP:
        return "http";
    case ProxyServer::Type::HTTPS:
        return "https";
    case ProxyServer::Type::SOCKS4:
        return "socks4";
    case ProxyServer::Type::SOCKS4A:
        return "socks4a";
    case ProxyServer::Type::SOCKS5:
        return "socks5";
    case ProxyServer::Type::SOCKS5H:
        return "socks5h";
    }
    return "http";
}

std::optional<ProxyServer::Type> typeForScheme(std::string_view scheme) {
    for (auto type : {ProxyServer::Type::HTTP, ProxyServer::Type::HTTPS, ProxyServer::Type::SOCKS4,
                      ProxyServer::Type::SOCKS4A, ProxyServer::Type::SOCKS5, ProxyServer::Type::SOCKS5H}) {
        if (equalsIgnoringASCIICase(scheme, schemeName(type))) {
            return type;
        }
    }
    if (equalsIgnoringASCIICase(scheme, "socks")) {
        return ProxyServer::Type::SOCKS5;
    }
    return std::nullopt;
}

std::string stripBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

bool inCIDRBlock(const std::vector<std::uint8_t>& address, const std::vector<std::uint8_t>& network,
                 int bits) {
    if (address.size() != network.size() || bits < 0 || bits > static_cast<int>(address.size() * 8)) {
        return false;
    }
    for (int i = 0; i < bits; ++i) {
        int byte = i / 8;
        int mask = 0x80 >> (i % 8);
        if ((address[byte] & mask) != (network[byte] & mask)) {
            return false;
        }
    }
    return true;
}

// One no_proxy entry against a host (lower-case, brackets stripped).
bool entryMatches(std::string_view entry, const std::string& host, int port) {
    if (entry == "*") {
        return true;
    }
    std::string pattern = asciiLowercase(entry);
    std::optional<int> entryPort;
    if (pattern.starts_with('[')) {
        size_t close = pattern.find(']');
        if (close == std::string::npos) {
            return false;
        }
        std::string rest = pattern.substr(close + 1);
        if (rest.starts_with(':')) {
            entryPort = parsePort(rest.substr(1));
            if (!entryPort) {
                return false;
            }
        } else if (!rest.empty() && !rest.starts_with('/')) {
            return false;
        }
        pattern = pattern.substr(1, close - 1) + (rest.starts_with('/') ? rest : "");
    } else if (std::count(pattern.begin(), pattern.end(), ':') == 1) {
        size_t colon = pattern.find(':');
        entryPort = parsePort(pattern.substr(colon + 1));
        if (!entryPort) {
            return false;
        }
        pattern.erase(colon);
    }
    if (entryPort && *entryPort != port) {
        return false;
    }
    auto hostBytes = ipAddressBytes(host);
    size_t slash = pattern.find('/');
    if (slash != std::string::npos) {
        auto network = ipAddressBytes(pattern.substr(0, slash));
        auto bits = parsePort(pattern.substr(slash + 1));
        return hostBytes && network && bits && inCIDRBlock(*hostBytes, *network, *bits);
    }
    if (auto patternBytes = ipAddressBytes(pattern)) {
        return hostBytes && *hostBytes == *patternBytes;
    }
    if (hostBytes) {
        return false; // a name never matches an address
    }
    if (pattern.starts_with('.')) {
        pattern.erase(0, 1);
    }
    if (pattern.empty()) {
        return false;
    }
    if (host == pattern) {
        return true;
    }
    return host.size() > pattern.size() && host.ends_with(pattern) &&
           host[host.size() - pattern.size() - 1] == '.';
}

} // namespace

std::string ProxyServer::curlProxyString() const {
    return std::string(schemeName(type)) + "://" + host + ":" + std::to_string(port);
}

ProxySettings::ProxySettings(Environment environment) : m_environment(std::move(environment)) {}

ProxySettings ProxySettings::fromProcessEnvironment() {
    // Only the variables lookup() consults, found in one pass over the
    // environment (a getenv per name walked it nine times for every
    // request). The first entry of a name wins, as with getenv.
    static constexpr std::string_view kNames[] = {"http_proxy",  "HTTP_PROXY", "https_proxy",
                                                  "HTTPS_PROXY", "all_proxy",  "ALL_PROXY",
                                                  "no_proxy",    "NO_PROXY",   "REQUEST_METHOD"};
    Environment environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (std::string_view("hHaAnNR").find(**entry) == std::string_view::npos) {
            continue; // no name of ours starts so
        }
        const char* equals = std::strchr(*entry, '=');
        if (!equals) {
            continue;
        }
        std::string_view name(*entry, static_cast<std::size_t>(equals - *entry));
        if (std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames)) {
            environment.emplace(name, equals + 1);
        }
    }
    return ProxySettings(std::move(environment));
}

std::optional<std::pair<std::string, std::string>> ProxySettings::lookup(const std::string& lowerName) const {
    std::string upperName;
    for (char c : lowerName) {
        upperName += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    for (const std::string& name : {lowerName, upperName}) {
        if (name == "HTTP_PROXY" && m_environment.count("REQUEST_METHOD")) {
            continue;
        }
        auto it = m_environment.find(name);
        if (it != m_environment.end() && !trimWhitespace(it->second).empty()) {
            return std::make_pair(name, std::string(trimWhitespace(it->second)));
        }
    }
    return std::nullopt;
}

Result<ProxyServer> ProxySettings::parseProxy(const std::string& value) {
    return parseProxyNamed(value, "proxy");
}

Result<ProxyServer> ProxySettings::parseProxyNamed(const std::string& value, const std::string& variable) {
    std::string text = value;
    ProxyServer server;
    size_t schemeEnd = text.find("://");
    if (schemeEnd != std::string::npos) {
        auto type = typeForScheme(std::string_view(text).substr(0, schemeEnd));
        if (!type) {
            return unusable(variable, "unsupported proxy scheme \"" + text.substr(0, schemeEnd) + "\"");
        }
        server.type = *type;
    } else {
        text = "http://" + text;
    }
    auto url = URL::strictParse(text);
    if (!url || !url->host() || url->host()->empty()) {
        return unusable(variable, "\"" + value + "\" is not a proxy address");
    }
    if (!url->escapedPath().empty() && url->escapedPath() != "/") {
        return unusable(variable, "\"" + value + "\" has a path");
    }
    if (url->query() || url->fragment()) {
        return unusable(variable, "\"" + value + "\" has a query or fragment");
    }
    server.host = *url->host();
    int defaultPort = server.type == ProxyServer::Type::HTTPS ? 443 : 1080;
    server.port = url->port().value_or(defaultPort);
    if (server.port == 0) {
        return unusable(variable, "\"" + value + "\" has port 0");
    }
    if (url->user()) {
        server.user = replacingPercentEscapes(*url->user());
        if (!server.user) {
            return unusable(variable, "bad escape in the user name");
        }
    }
    if (url->password()) {
        server.password = replacingPercentEscapes(*url->password());
        if (!server.password) {
            return unusable(variable, "bad escape in the password");
        }
    }
    return server;
}

bool ProxySettings::bypassesProxy(const std::string& host, int port) const {
    auto noProxy = lookup("no_proxy");
    if (!noProxy) {
        return false;
    }
    std::string bare = asciiLowercase(stripBrackets(host));
    while (bare.ends_with('.')) {
        bare.pop_back();
    }
    std::string list = noProxy->second;
    for (char& c : list) {
        if (c == ' ' || c == '\t') {
            c = ',';
        }
    }
    for (std::string_view entry : text::split(list, ',')) {
        if (!entry.empty() && entryMatches(entry, bare, port)) {
            return true;
        }
    }
    return false;
}

Result<std::optional<ProxyServer>> ProxySettings::proxyForURL(const URL& url) const {
    if (m_environment.empty()) {
        return std::optional<ProxyServer>{}; // the common case: nothing set, direct
    }
    auto target = url.hostAndPort();
    if (!target) {
        return std::optional<ProxyServer>{};
    }
    if (bypassesProxy(target->host, target->port)) {
        return std::optional<ProxyServer>{};
    }
    auto variable = lookup(url.hasScheme("https") ? "https_proxy" : "http_proxy");
    if (!variable) {
        variable = lookup("all_proxy");
    }
    if (!variable) {
        return std::optional<ProxyServer>{};
    }
    MURMELO_TRY_VALUE(auto server, parseProxyNamed(variable->second, variable->first));
    return std::optional<ProxyServer>(server);
}

} // namespace murmelo
