// ProxySettings: the device's proxy configuration, which on Linux is the
// standard environment: http_proxy, https_proxy, all_proxy and no_proxy, each
// also in upper case (the lower-case name wins when both are set; an empty
// value counts as unset). HTTP_PROXY is ignored when REQUEST_METHOD is set,
// as in a CGI process where it would come from a request header.
//
//   auto settings = ProxySettings::fromProcessEnvironment();
//   auto proxy = settings.proxyForURL(url);   // Result<std::optional<ProxyServer>>
//   if (!proxy) fail("Unable to obtain information on proxy servers needed for request");
//
// A proxy value is "[scheme://][user[:password]@]host[:port][/]" with scheme
// http (default), https, socks4, socks4a, socks5 or socks5h; without a port
// the scheme's usual one (1080 for http and socks, 443 for https). A value
// that does not parse is an error, but only for URLs that need it.
//
// no_proxy: entries separated by commas or blanks; "*" matches every host; a
// name matches itself and its subdomains (a leading "." is ignored); an IP
// address matches exactly, a CIDR block ("10.0.0.0/8", "fd00::/8") every
// address in it; "host:port" or "[v6]:port" only that port.
//
// Immutable after construction; thread-safe to read.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/core/Result.h"
#include "platform/net/URL.h"

namespace murmelo {

struct ProxyServer {
    enum class Type { HTTP, HTTPS, SOCKS4, SOCKS4A, SOCKS5, SOCKS5H };

    Type type = Type::HTTP;
    std::string host; // lower-cased; IPv6 in brackets
    int port = 0;
    std::optional<std::string> user;     // unescaped
    std::optional<std::string> password; // unescaped

    // "socks5h://host:port" — the form libcurl's CURLOPT_PROXY takes
    // (credentials go separately).
    std::string curlProxyString() const;
    bool operator==(const ProxyServer&) const = default;
};

class ProxySettings {
public:
    using Environment = std::map<std::string, std::string>;

    explicit ProxySettings(Environment environment);
    // The variables of this process (read once, now).
    static ProxySettings fromProcessEnvironment();

    // No proxy (nothing), the proxy to use, or a ProxySettingsUnusable error
    // naming the variable when the one this URL needs cannot be used.
    Result<std::optional<ProxyServer>> proxyForURL(const URL& url) const;

    // Whether no_proxy exempts this host and port.
    bool bypassesProxy(const std::string& host, int port) const;

    static Result<ProxyServer> parseProxy(const std::string& value);

private:
    static Result<ProxyServer> parseProxyNamed(const std::string& value, const std::string& variable);
    // The first set variable among the names, lower-case first.
    std::optional<std::pair<std::string, std::string>> lookup(const std::string& lowerName) const;

    Environment m_environment;
};

} // namespace murmelo
