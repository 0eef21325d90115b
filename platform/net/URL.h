// URL: a parsed URL or relative reference (RFC 3986), the device's URL type.
//
//   auto base = URL::strictParse("http://ads.example/getInfo.php?x=1");
//   auto config = URL::resolve(*base, "?appid=k&appver=230");
//   config->absoluteString();   // "http://ads.example/getInfo.php?appid=k&appver=230"
//
// strictParse gives nothing for text that holds characters not allowed in a
// URL (blank, '"', '<', '>', '\', '^', '`', '{', '|', '}', control and
// non-ASCII characters, '%' not followed by two hex digits) or that breaks the
// generic syntax (bad scheme, bad port, bad IP literal, '@' or '[' in the
// user info). '[' and ']' are tolerated outside the authority because pages
// write them in queries ("a[]=1"), and a second '#' is part of the fragment.
// Relative references are accepted.
//
// Components keep their escaped form; `path()` is the unescaped path.
// nil and empty differ: "http://a/?" has an empty query, "http://a/" none.
//
// Value type: immutable once made, copies share the base. Thread-safe to read.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace murmelo {

class URL {
public:
    struct HostAndPort {
        std::string host; // lower-cased; an IPv6 address keeps its brackets
        int port = 0;
        bool operator==(const HostAndPort&) const = default;
    };

    // URLWithString: semantics (see the header comment).
    static std::optional<URL> strictParse(std::string_view text);
    // URLWithString:relativeToURL: — RFC 3986 §5.2 against an absolute base
    // (one with a scheme); nothing when the reference does not parse or the
    // base is not absolute.
    static std::optional<URL> resolve(const URL& base, std::string_view reference);

    // The resolved text: for a URL parsed without a base, the original text
    // exactly; for a resolved one, the RFC 3986 §5.3 recomposition.
    const std::string& absoluteString() const { return m_absoluteString; }
    // The text this URL was made from (the reference when resolved).
    const std::string& relativeString() const { return m_relativeString; }
    // The base this URL was resolved against, or null.
    const std::shared_ptr<const URL>& baseURL() const { return m_base; }
    // The same address without a base (relativeString == absoluteString).
    URL absoluteURL() const;

    const std::optional<std::string>& scheme() const { return m_scheme; }
    bool hasScheme(std::string_view name) const; // case-insensitive
    bool isHTTPFamily() const { return hasScheme("http") || hasScheme("https"); }

    // Authority as written, without "//"; nothing when the URL has none.
    const std::optional<std::string>& authority() const { return m_authority; }
    const std::optional<std::string>& user() const { return m_user; }
    const std::optional<std::string>& password() const { return m_password; }
    // Lower-cased host; IPv6 literals keep their brackets ("[::1]").
    const std::optional<std::string>& host() const { return m_host; }
    const std::optional<int>& port() const { return m_port; }
    // The port, or the scheme's default (http 80, https 443).
    std::optional<int> effectivePort() const;
    // Host and effective port of an http(s) URL with a non-empty host.
    std::optional<HostAndPort> hostAndPort() const;

    const std::string& escapedPath() const { return m_path; }
    // The path with its escapes replaced (UTF-8); the escaped path when that
    // does not give valid UTF-8.
    std::string path() const;
    const std::optional<std::string>& query() const { return m_query; }
    const std::optional<std::string>& fragment() const { return m_fragment; }

    // The request line's target: the escaped path ("/" when empty) and query.
    std::string requestTarget() const;

    bool operator==(const URL& other) const { return m_absoluteString == other.m_absoluteString; }

private:
    URL() = default;
    friend struct URLBuilder;

    std::string m_absoluteString;
    std::string m_relativeString;
    std::shared_ptr<const URL> m_base;
    std::optional<std::string> m_scheme;
    std::optional<std::string> m_authority;
    std::optional<std::string> m_user;
    std::optional<std::string> m_password;
    std::optional<std::string> m_host;
    std::optional<int> m_port;
    std::string m_path;
    std::optional<std::string> m_query;
    std::optional<std::string> m_fragment;
};

// stringByAddingPercentEscapesUsingEncoding: with UTF-8. Escapes the blank,
// '"', '%', '<', '>', '\', '^', '`', '{', '|', '}', '[', ']', control
// characters and every byte of a non-ASCII character as "%XX" (upper-case
// hex); everything else, reserved characters included, stays.
std::string addingPercentEscapes(std::string_view text);

// stringByReplacingPercentEscapesUsingEncoding: with UTF-8. Nothing when a
// '%' is not followed by two hex digits or when the result is not valid UTF-8.
std::optional<std::string> replacingPercentEscapes(std::string_view text);

} // namespace murmelo
