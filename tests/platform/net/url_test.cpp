#include <gtest/gtest.h>

#include "platform/net/URL.h"

using namespace murmelo;

namespace {

using OptString = std::optional<std::string>;

struct ParseCase {
    std::string text;
    OptString scheme;
    OptString user;
    OptString password;
    OptString host;
    std::optional<int> port;
    std::string path;
    OptString query;
    OptString fragment;
};

} // namespace

TEST(URLParse, SplitsComponentsAndKeepsNilApartFromEmpty) {
    const std::vector<ParseCase> cases = {
        {"http://a/", "http", {}, {}, "a", {}, "/", {}, {}},
        {"http://a/?", "http", {}, {}, "a", {}, "/", "", {}},
        {"http://a/#", "http", {}, {}, "a", {}, "/", {}, ""},
        {"http://a", "http", {}, {}, "a", {}, "", {}, {}},
        {"HTTP://Example.COM:8080/P/q?x=1&y=%20#Frag",
         "HTTP",
         {},
         {},
         "example.com",
         8080,
         "/P/q",
         "x=1&y=%20",
         "Frag"},
        {"https://user:pw@host:443/", "https", "user", "pw", "host", 443, "/", {}, {}},
        {"https://user@host/", "https", "user", {}, "host", {}, "/", {}, {}},
        {"http://user:@host/", "http", "user", "", "host", {}, "/", {}, {}},
        {"http://[::1]:8080/x", "http", {}, {}, "[::1]", 8080, "/x", {}, {}},
        {"http://[2001:DB8::A]/", "http", {}, {}, "[2001:db8::a]", {}, "/", {}, {}},
        {"http://[v1.fe:x]/", "http", {}, {}, "[v1.fe:x]", {}, "/", {}, {}},
        {"http://127.0.0.1:/", "http", {}, {}, "127.0.0.1", {}, "/", {}, {}},
        {"http://h:0/", "http", {}, {}, "h", 0, "/", {}, {}},
        {"http://h:65535/", "http", {}, {}, "h", 65535, "/", {}, {}},
        {"http://", "http", {}, {}, "", {}, "", {}, {}},
        {"mailto:someone@example.com", "mailto", {}, {}, {}, {}, "someone@example.com", {}, {}},
        {"fbconnect://success?auth_token=abc", "fbconnect", {}, {}, "success", {}, "", "auth_token=abc", {}},
        {"file:///tmp/a%20b", "file", {}, {}, "", {}, "/tmp/a%20b", {}, {}},
        {"?appid=1", {}, {}, {}, {}, {}, "", "appid=1", {}},
        {"//other/x", {}, {}, {}, "other", {}, "/x", {}, {}},
        {"a/b/c", {}, {}, {}, {}, {}, "a/b/c", {}, {}},
        {"./a:b", {}, {}, {}, {}, {}, "./a:b", {}, {}},
        {"a:b:c/d", "a", {}, {}, {}, {}, "b:c/d", {}, {}},
        {"", {}, {}, {}, {}, {}, "", {}, {}},
        {"#top", {}, {}, {}, {}, {}, "", {}, "top"},
        {"http://a/b?c?d/e", "http", {}, {}, "a", {}, "/b", "c?d/e", {}},
        {"http://a/list?x[]=1", "http", {}, {}, "a", {}, "/list", "x[]=1", {}},
        {"http://a/?q#b#c", "http", {}, {}, "a", {}, "/", "q", "b#c"},
        {"http://a/b;p=1/c@d", "http", {}, {}, "a", {}, "/b;p=1/c@d", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto url = URL::strictParse(c.text);
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(url->absoluteString(), c.text);
        EXPECT_EQ(url->relativeString(), c.text);
        EXPECT_EQ(url->scheme(), c.scheme);
        EXPECT_EQ(url->user(), c.user);
        EXPECT_EQ(url->password(), c.password);
        EXPECT_EQ(url->host(), c.host);
        EXPECT_EQ(url->port(), c.port);
        EXPECT_EQ(url->escapedPath(), c.path);
        EXPECT_EQ(url->query(), c.query);
        EXPECT_EQ(url->fragment(), c.fragment);
    }
}

TEST(URLParse, StrictParseRejectsWhatMayNotStandInAURL) {
    const std::vector<std::string> rejected = {
        "http://a/b c",         "http://a/\"q\"",  "http://a/<x>",  "http://a/a\\b",
        "http://a/^",           "http://a/`",      "http://a/{x}",  "http://a/a|b",
        "http://a/caf\xC3\xA9", "http://a/\t",     "http://a/\n",   std::string("http://a/\0b", 11),
        "http://a/\x7F",        "http://a/100%",   "http://a/%4",   "http://a/%zz",
        "http://a:80x/",        "http://a:65536/", "http://a:-1/",  "http://[::1/",
        "http://[not-ip]/",     "http://[::1]x/",  "http://a@b@c/", "http://a[b]/",
        "1http://a/",           ":nothing",        " http://a/",
    };
    for (const auto& text : rejected) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(URL::strictParse(text).has_value());
    }
}

TEST(URLParse, DerivedValuesForTheTransport) {
    struct Case {
        std::string text;
        std::optional<int> effectivePort;
        std::optional<URL::HostAndPort> hostAndPort;
        std::string requestTarget;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"http://Content.Example/index.php?r=secret/create", 80, URL::HostAndPort{"content.example", 80},
         "/index.php?r=secret/create", "/index.php"},
        {"https://h/", 443, URL::HostAndPort{"h", 443}, "/", "/"},
        {"https://h:8443", 8443, URL::HostAndPort{"h", 8443}, "/", ""},
        {"http://[::1]:9/a%20b?", 9, URL::HostAndPort{"[::1]", 9}, "/a%20b?", "/a b"},
        {"ftp://h/x", {}, {}, "/x", "/x"},
        {"http:///nohost", 80, {}, "/nohost", "/nohost"},
        {"http://h/caf%C3%A9", 80, URL::HostAndPort{"h", 80}, "/caf%C3%A9", "/caf\xC3\xA9"},
        {"http://h/bad%FF", 80, URL::HostAndPort{"h", 80}, "/bad%FF", "/bad%FF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto url = URL::strictParse(c.text);
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(url->effectivePort(), c.effectivePort);
        EXPECT_EQ(url->hostAndPort(), c.hostAndPort);
        EXPECT_EQ(url->requestTarget(), c.requestTarget);
        EXPECT_EQ(url->path(), c.path);
    }
}

// Every example of RFC 3986 §5.4, normal and abnormal.
TEST(URLResolve, ReferenceResolutionExamples) {
    const auto base = URL::strictParse("http://a/b/c/d;p?q");
    ASSERT_TRUE(base.has_value());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
        // abnormal
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http:g"},
    };
    for (const auto& [reference, expected] : cases) {
        SCOPED_TRACE(reference);
        auto resolved = URL::resolve(*base, reference);
        ASSERT_TRUE(resolved.has_value());
        EXPECT_EQ(resolved->absoluteString(), expected);
        EXPECT_EQ(resolved->relativeString(), reference);
        ASSERT_TRUE(resolved->baseURL());
        EXPECT_EQ(resolved->baseURL()->absoluteString(), "http://a/b/c/d;p?q");
        // The resolved text parses to the same address on its own.
        auto reparsed = URL::strictParse(resolved->absoluteString());
        ASSERT_TRUE(reparsed.has_value());
        EXPECT_EQ(reparsed->host(), resolved->host());
        EXPECT_EQ(reparsed->escapedPath(), resolved->escapedPath());
        EXPECT_EQ(reparsed->query(), resolved->query());
    }
}

TEST(URLResolve, QueryReferencesAndBaseRules) {
    struct Case {
        std::string base;
        std::string reference;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        // Mediation: a query replaces the base's query and keeps its path.
        {"http://ads.example/getInfo.php", "?appid=k&appver=230&client=1",
         "http://ads.example/getInfo.php?appid=k&appver=230&client=1"},
        {"http://ads.example/getInfo.php?old=1", "?appid=k", "http://ads.example/getInfo.php?appid=k"},
        {"http://ads.example", "x", "http://ads.example/x"},
        {"http://ads.example", "?q", "http://ads.example?q"},
        {"http://u:p@h:81/a/b", "c", "http://u:p@h:81/a/c"},
        {"http://h/a/b", "//[::1]:9/z", "http://[::1]:9/z"},
        {"http://h/a", "https://other/", "https://other/"},
        {"http://h/a", "bad ref", std::nullopt},
        {"a/b", "c", std::nullopt}, // a base without scheme cannot anchor anything
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base + " + " + c.reference);
        auto base = URL::strictParse(c.base);
        ASSERT_TRUE(base.has_value());
        auto resolved = URL::resolve(*base, c.reference);
        ASSERT_EQ(resolved.has_value(), c.expected.has_value());
        if (resolved) {
            EXPECT_EQ(resolved->absoluteString(), *c.expected);
        }
    }
    // Resolving against a resolved base uses its absolute form.
    auto base = URL::strictParse("http://h/a/b/c");
    auto middle = URL::resolve(*base, "../x/y");
    ASSERT_TRUE(middle.has_value());
    auto last = URL::resolve(*middle, "z?q=1");
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->absoluteString(), "http://h/a/x/z?q=1");
    EXPECT_EQ(last->host(), "h");
    EXPECT_EQ(last->absoluteURL().relativeString(), "http://h/a/x/z?q=1");
    EXPECT_FALSE(last->absoluteURL().baseURL());
}

TEST(URLEscaping, LegacyEscapingLeavesReservedCharacters) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"MurmeloIP", "MurmeloIP"},
        {"zh-Hans", "zh-Hans"},
        {"Murmelo App", "Murmelo%20App"},
        {"a&b=c?d/e:f#g+h;i,j@k$l!m'n(o)p*q~r", "a&b=c?d/e:f#g+h;i,j@k$l!m'n(o)p*q~r"},
        {"\"%<>\\^`{|}[]", "%22%25%3C%3E%5C%5E%60%7B%7C%7D%5B%5D"},
        {"100%25", "100%2525"},
        {"caf\xC3\xA9", "caf%C3%A9"},
        {"\xE4\xB8\xAD\xF0\x9F\x98\x80", "%E4%B8%AD%F0%9F%98%80"},
        {"tab\tnl\ncr\r", "tab%09nl%0Acr%0D"},
        {std::string("nul\0x", 5), "nul%00x"},
        {"\x7F", "%7F"},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        std::string escaped = addingPercentEscapes(input);
        EXPECT_EQ(escaped, expected);
        // Escaping gives text a URL may hold, and unescaping gives the input back.
        EXPECT_TRUE(URL::strictParse("http://h/?" + escaped).has_value());
        EXPECT_EQ(replacingPercentEscapes(escaped), input);
    }
}

TEST(URLEscaping, UnescapingNeedsWellFormedEscapesAndUTF8) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"", ""},
        {"plain", "plain"},
        {"a%20b", "a b"},
        {"%41%62%2f", "Ab/"},
        {"caf%C3%A9", "caf\xC3\xA9"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"%E4%B8%AD", "\xE4\xB8\xAD"},
        {"+stays+", "+stays+"},
        {"%2525", "%25"},
        {"%FF", std::nullopt},
        {"%C3", std::nullopt},
        {"%C3%28", std::nullopt},
        {"%C0%AF", std::nullopt},       // overlong "/"
        {"%ED%A0%80", std::nullopt},    // surrogate
        {"%F4%90%80%80", std::nullopt}, // above U+10FFFF
        {"\xFF", std::nullopt},
        {"100%", std::nullopt},
        {"%4", std::nullopt},
        {"%G1", std::nullopt},
        {"a%2", std::nullopt},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(replacingPercentEscapes(input), expected);
    }
}
