#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "platform/core/Log.h"
#include "platform/foundation/FileSystem.h"
#include "platform/net/CookieFile.h"
#include "platform/net/CookieStore.h"
#include "tests/support/temporary_directory.h"

using namespace murmelo;

namespace {

constexpr double kNow = 1'800'000'000.0; // 2027-01-15 08:00:00 UTC

URL url(const std::string& text) {
    auto parsed = URL::strictParse(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed ? *parsed : *URL::strictParse("http://invalid.test/");
}

std::vector<std::string> names(const std::vector<Cookie>& cookies) {
    std::vector<std::string> out;
    for (const auto& c : cookies) {
        out.push_back(c.name);
    }
    return out;
}

struct FakeClock {
    std::atomic<double> now{kNow};
    CookieStore::NowFunction function() {
        return [this] { return now.load(); };
    }
};

} // namespace

TEST(CookieDate, RFC6265DateAlgorithm) {
    const std::vector<std::pair<std::string, std::optional<double>>> cases = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
        {"Sun Nov  6 08:49:37 1994", 784111777},
        {"06 nov 1994 08:49:37", 784111777},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Wed, 09 Jun 2021 10:18:14 GMT", 1623233894},
        {"Fri, 31 Dec 9999 23:59:59 GMT", 253402300799},
        {"1 Jan 69 00:00:00", 3124224000},    // two-digit years below 70 are 20xx
        {"1 Jan 70 00:00:00", 0},             // ...and 70..99 are 19xx
        {"29 Feb 2024 12:00:00", 1709208000}, // leap day
        {"Thu, 01 Jan 1970 00:00:00 GMT garbage", 0},
        {"Sun, 06 Nov 1994 08:49:37", 784111777},
        {"29 Feb 2023 12:00:00", std::nullopt},
        {"31 Apr 2024 12:00:00", std::nullopt},
        {"Sun, 06 Nov 1994", std::nullopt}, // no time
        {"06 Nov 08:49:37", std::nullopt},  // no year
        {"Nov 1994 08:49:37", std::nullopt},
        {"32 Nov 1994 08:49:37", std::nullopt},
        {"06 Nov 1600 08:49:37", std::nullopt},
        {"06 Nov 1994 24:00:00", std::nullopt},
        {"06 Nov 1994 23:60:00", std::nullopt},
        {"06 Nov 1994 23:59:60", std::nullopt},
        {"06 Nov 19945 08:49:37", std::nullopt},
        {"", std::nullopt},
        {"tomorrow", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseCookieDate(text), expected);
    }
}

TEST(CookieMatching, DomainAndPathRules) {
    struct DomainCase {
        std::string host, domain;
        bool matches;
    };
    const std::vector<DomainCase> domains = {
        {"example.com", "example.com", true},
        {"www.example.com", "example.com", true},
        {"a.b.example.com", "example.com", true},
        {"badexample.com", "example.com", false},
        {"example.com", "www.example.com", false},
        {"1.2.3.4", "1.2.3.4", true},
        {"1.2.3.4", "2.3.4", false},
        {"[::1]", "[::1]", true},
        {"example.com", "", false},
    };
    for (const auto& c : domains) {
        SCOPED_TRACE(c.host + " / " + c.domain);
        EXPECT_EQ(cookieDomainMatches(c.host, c.domain), c.matches);
    }
    struct PathCase {
        std::string request, cookie;
        bool matches;
    };
    const std::vector<PathCase> paths = {
        {"/", "/", true},         {"/a", "/a", true},   {"/a/b", "/a", true},  {"/a/", "/a", true},
        {"/ab", "/a", false},     {"/a", "/a/", false}, {"/a/b", "/a/", true}, {"/b", "/a", false},
        {"/anything", "/", true}, {"/A", "/a", false},
    };
    for (const auto& c : paths) {
        SCOPED_TRACE(c.request + " / " + c.cookie);
        EXPECT_EQ(cookiePathMatches(c.request, c.cookie), c.matches);
    }
    const std::vector<std::pair<std::string, std::string>> defaults = {
        {"http://h", "/"},
        {"http://h/", "/"},
        {"http://h/a", "/"},
        {"http://h/a/", "/a"},
        {"http://h/a/b/c?x=/y", "/a/b"},
    };
    for (const auto& [text, expected] : defaults) {
        SCOPED_TRACE(text);
        EXPECT_EQ(defaultCookiePath(url(text)), expected);
    }
}

TEST(CookieParse, SetCookieLinesAgainstTheRequestURL) {
    struct Case {
        std::string header;
        std::string requestURL;
        bool accepted;
        std::string name = "", value = "", domain = "", path = "";
        bool hostOnly = true;
        std::optional<double> expiresIn = std::nullopt; // relative to kNow
        bool secure = false, httpOnly = false;
    };
    const std::vector<Case> cases = {
        {"sid=abc", "http://Content.Example/index.php", true, "sid", "abc", "content.example", "/"},
        {" sid = a b ; Path=/x", "http://h/", true, "sid", "a b", "h", "/x"},
        {"sid=abc; Path=relative", "http://h/a/b", true, "sid", "abc", "h", "/a"},
        {"sid=abc; Path=", "http://h/a/b", true, "sid", "abc", "h", "/a"},
        {"sid=abc; Path=/one; Path=/two", "http://h/", true, "sid", "abc", "h", "/two"},
        {"sid=; Domain=.Example.com", "http://www.example.com/", true, "sid", "", "example.com", "/", false},
        {"sid=1; Domain=example.com", "http://example.com/", true, "sid", "1", "example.com", "/", false},
        {"sid=1; Domain=", "http://www.example.com/", true, "sid", "1", "www.example.com", "/", true},
        {"sid=1; Domain=other.com", "http://www.example.com/", false},
        {"sid=1; Domain=www.example.com", "http://example.com/", false},
        {"sid=1; Domain=ample.com", "http://example.com/", false},
        {"sid=1; Domain=com", "http://example.com/", false},
        {"sid=1; Domain=.com", "http://example.com/", false},
        {"sid=1; Domain=localhost", "http://localhost/", true, "sid", "1", "localhost", "/", true},
        {"sid=1; Domain=2.3.4", "http://1.2.3.4/", false},
        {"sid=1; Domain=1.2.3.4", "http://1.2.3.4/", true, "sid", "1", "1.2.3.4", "/", false},
        {"sid=1; Max-Age=60", "http://h/", true, "sid", "1", "h", "/", true, 60},
        {"sid=1; Max-Age=60; Expires=Thu, 01 Jan 2037 00:00:00 GMT", "http://h/", true, "sid", "1", "h", "/",
         true, 60},
        {"sid=1; Expires=Thu, 01 Jan 2037 00:00:00 GMT; Max-Age=60", "http://h/", true, "sid", "1", "h", "/",
         true, 60},
        {"sid=1; Expires=Fri, 01 Jan 2027 00:00:00 GMT", "http://h/", true, "sid", "1", "h", "/", true,
         1798761600 - kNow},
        {"sid=1; Expires=not a date", "http://h/", true, "sid", "1", "h", "/", true, std::nullopt},
        {"sid=1; Max-Age=abc", "http://h/", true, "sid", "1", "h", "/", true, std::nullopt},
        {"sid=1; Max-Age=0", "http://h/", true, "sid", "1", "h", "/", true, -kNow},
        {"sid=1; Max-Age=-5", "http://h/", true, "sid", "1", "h", "/", true, -kNow},
        {"sid=1; Secure; HttpOnly", "https://h/", true, "sid", "1", "h", "/", true, std::nullopt, true, true},
        {"sid=1; secure; httponly; SameSite=Lax; Unknown=x", "https://h/", true, "sid", "1", "h", "/", true,
         std::nullopt, true, true},
        {"a=b=c", "http://h/", true, "a", "b=c", "h", "/"},
        {"noequals", "http://h/", false},
        {"=value", "http://h/", false},
        {"", "http://h/", false},
        {"sid=a\r\nSet-Cookie: x=1", "http://h/", false},
        {std::string("sid=a\0b", 7), "http://h/", false},
        {"sid=" + std::string(5000, 'x'), "http://h/", false},
        {"sid=1", "http:///nohost", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header + " for " + c.requestURL);
        auto cookie = Cookie::parseSetCookie(c.header, url(c.requestURL), kNow);
        ASSERT_EQ(cookie.ok(), c.accepted);
        if (!cookie) {
            EXPECT_EQ(cookie.error().domain(), "MurmeloNetErrorDomain");
            continue;
        }
        EXPECT_EQ(cookie->name, c.name);
        EXPECT_EQ(cookie->value, c.value);
        EXPECT_EQ(cookie->domain, c.domain);
        EXPECT_EQ(cookie->path, c.path);
        EXPECT_EQ(cookie->hostOnly, c.hostOnly);
        EXPECT_EQ(cookie->secureOnly, c.secure);
        EXPECT_EQ(cookie->httpOnly, c.httpOnly);
        ASSERT_EQ(cookie->expiresAt.has_value(), c.expiresIn.has_value());
        if (c.expiresIn) {
            EXPECT_DOUBLE_EQ(*cookie->expiresAt, kNow + *c.expiresIn);
        }
    }
    // A page script may not set an HttpOnly cookie.
    EXPECT_FALSE(Cookie::parseSetCookie("s=1; HttpOnly", url("http://h/"), kNow, CookieAccess::Script).ok());
}

TEST(CookieStore, SendsOnlyMatchingCookiesInOrder) {
    FakeClock clock;
    CookieStore store(clock.function());
    const URL origin = url("https://www.example.com/a/b/page");
    const std::vector<std::string> lines = {
        "root=1; Path=/",
        "deep=2; Path=/a/b",
        "mid=3; Path=/a",
        "sibling=4; Path=/ab",
        "domain=5; Domain=example.com; Path=/",
        "secure=6; Secure; Path=/",
        "http=7; HttpOnly; Path=/",
    };
    for (const auto& line : lines) {
        clock.now = clock.now + 1; // distinct creation times
        auto cookie = Cookie::parseSetCookie(line, origin, clock.now);
        ASSERT_TRUE(cookie.ok()) << line;
        ASSERT_TRUE(store.setCookie(*cookie).ok());
    }
    struct Case {
        std::string url;
        CookieAccess access;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"https://www.example.com/a/b/c",
         CookieAccess::HTTP,
         {"deep", "mid", "root", "domain", "secure", "http"}},
        {"https://www.example.com/a/b/c", CookieAccess::Script, {"deep", "mid", "root", "domain", "secure"}},
        {"http://www.example.com/a/b/c", CookieAccess::HTTP, {"deep", "mid", "root", "domain", "http"}},
        {"https://www.example.com/ab", CookieAccess::HTTP, {"sibling", "root", "domain", "secure", "http"}},
        {"https://WWW.EXAMPLE.COM", CookieAccess::HTTP, {"root", "domain", "secure", "http"}},
        {"https://sub.example.com/a/b", CookieAccess::HTTP, {"domain"}},
        {"https://example.com/", CookieAccess::HTTP, {"domain"}},
        {"https://other.com/", CookieAccess::HTTP, {}},
        {"ftp://www.example.com/", CookieAccess::HTTP, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(names(store.cookiesForURL(url(c.url), c.access)), c.expected);
    }
    EXPECT_EQ(store.cookieHeaderForURL(url("https://sub.example.com/")), "domain=5");
    EXPECT_EQ(store.cookieHeaderForURL(url("http://www.example.com/a")), "mid=3; root=1; domain=5; http=7");
    EXPECT_EQ(store.cookieHeaderForURL(url("http://nobody.test/")), "");
}

TEST(CookieStore, ReplacesByIdentityAndExpires) {
    FakeClock clock;
    CookieStore store(clock.function());
    const URL site = url("http://h.test/x/y");
    const CookieStore::HeaderFields first = {
        {"Content-Type", "text/html"},
        {"Set-Cookie", "a=1; Path=/"},
        {"set-cookie", "b=1; Path=/; Max-Age=100"},
        {"SET-COOKIE", "bad"},
        {"Set-Cookie", "c=1; Path=/; Expires=Fri, 15 Jan 2027 09:00:00 GMT"}};
    auto stored = store.setCookiesFromHeaders(first, site);
    EXPECT_EQ(names(stored), (std::vector<std::string>{"a", "b", "c"}));
    double created = store.cookiesForURL(site).front().creationTime;

    // Same name, domain and path replaces and keeps the creation time;
    // another path is another cookie.
    clock.now = kNow + 10;
    (void)store.setCookiesFromHeaders({{"Set-Cookie", "a=2; Path=/"}, {"Set-Cookie", "a=3; Path=/x"}}, site);
    auto cookies = store.cookiesForURL(site);
    EXPECT_EQ(store.cookieHeaderForURL(site), "a=3; a=2; b=1; c=1");
    auto replaced =
        std::find_if(cookies.begin(), cookies.end(), [](const Cookie& c) { return c.value == "2"; });
    ASSERT_NE(replaced, cookies.end());
    EXPECT_DOUBLE_EQ(replaced->creationTime, created);

    // Max-Age wins, and the clock ends cookies without anyone sleeping.
    clock.now = kNow + 100;
    EXPECT_EQ(store.cookieHeaderForURL(site), "a=3; a=2; c=1");
    clock.now = kNow + 3600;
    EXPECT_EQ(store.cookieHeaderForURL(site), "a=3; a=2");
    EXPECT_EQ(store.allCookies().size(), 2u);

    // Max-Age=0 deletes the stored cookie and stores nothing.
    (void)store.setCookiesFromHeaders({{"Set-Cookie", "a=gone; Path=/x; Max-Age=0"}}, site);
    EXPECT_EQ(store.cookieHeaderForURL(site), "a=2");

    // A script can neither replace nor delete an HttpOnly cookie.
    (void)store.setCookiesFromHeaders({{"Set-Cookie", "h=1; HttpOnly"}}, site);
    auto scripted = Cookie::parseSetCookie("h=2", site, clock.now, CookieAccess::Script);
    ASSERT_TRUE(scripted.ok());
    EXPECT_FALSE(store.setCookie(*scripted, CookieAccess::Script).ok());
    EXPECT_EQ(store.cookieHeaderForURL(site), "h=1; a=2");
    EXPECT_EQ(store.cookieHeaderForURL(site, CookieAccess::Script), "a=2");
    EXPECT_TRUE(
        store.setCookiesFromHeaders({{"Set-Cookie", "s=1; HttpOnly"}}, site, CookieAccess::Script).empty());

    // Deleting one and all.
    EXPECT_TRUE(store.deleteCookie(*replaced));
    EXPECT_FALSE(store.deleteCookie(*replaced));
    EXPECT_EQ(store.cookieHeaderForURL(site), "h=1");
    store.deleteAllCookies();
    EXPECT_TRUE(store.allCookies().empty());

    // Cookies made by callers are checked.
    Cookie made;
    made.name = "x";
    made.value = "1\r\n";
    made.domain = "h.test";
    made.path = "/";
    EXPECT_FALSE(store.setCookie(made).ok());
    made.value = "1";
    made.domain = "H.test";
    EXPECT_FALSE(store.setCookie(made).ok());
    made.domain = "h.test";
    EXPECT_TRUE(store.setCookie(made).ok());
    EXPECT_EQ(store.cookieHeaderForURL(site), "x=1");
}

TEST(CookieStore, LimitsEvictTheLeastRecentlyUsed) {
    FakeClock clock;
    CookieStore store(clock.function());
    const URL site = url("http://many.test/");
    for (size_t i = 0; i < CookieStore::kMaxCookiesPerDomain + 5; ++i) {
        clock.now = kNow + static_cast<double>(i);
        (void)store.setCookiesFromHeaders({{"Set-Cookie", "c" + std::to_string(i) + "=1"}}, site);
    }
    auto cookies = store.allCookies();
    EXPECT_EQ(cookies.size(), CookieStore::kMaxCookiesPerDomain);
    auto has = [&](const std::string& name) {
        return std::any_of(cookies.begin(), cookies.end(), [&](const Cookie& c) { return c.name == name; });
    };
    EXPECT_FALSE(has("c0"));
    EXPECT_FALSE(has("c4"));
    EXPECT_TRUE(has("c5"));
    EXPECT_TRUE(has("c184"));
}

TEST(CookiePersistence, PersistentCookiesSurviveReopenSessionCookiesDoNot) {
    test::TemporaryDirectory home;
    const std::string file = home.file("Library/Cookies/Cookies.txt");
    FakeClock clock;
    const URL site = url("http://content.example/index.php");
    {
        CookieStore store(clock.function());
        store.setPersistentFile(file);
        (void)store.setCookiesFromHeaders({{"Set-Cookie", "session=1"},
                                           {"Set-Cookie", "keep=yes%20\"q\"; Max-Age=3600; HttpOnly"},
                                           {"Set-Cookie", "short=1; Max-Age=10"},
                                           {"Set-Cookie", "wide=1; Domain=example; Max-Age=10"},
                                           {"Set-Cookie", "tab=a\tb; Expires=Fri, 01 Jan 2100 00:00:00 GMT"}},
                                          site);
    }
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    clock.now = kNow + 60; // "short" has ended meanwhile
    CookieStore reopened(clock.function());
    reopened.setPersistentFile(file);
    auto cookies = reopened.cookiesForURL(site);
    ASSERT_EQ(names(cookies), (std::vector<std::string>{"keep", "tab"}));
    EXPECT_EQ(cookies[0].value, "yes%20\"q\"");
    EXPECT_TRUE(cookies[0].httpOnly);
    EXPECT_DOUBLE_EQ(*cookies[0].expiresAt, kNow + 3600);
    EXPECT_DOUBLE_EQ(cookies[0].creationTime, kNow);
    EXPECT_EQ(cookies[1].value, "a\tb");

    // Deleting a persistent cookie is saved too.
    EXPECT_TRUE(reopened.deleteCookie(cookies[0]));
    CookieStore third(clock.function());
    third.setPersistentFile(file);
    EXPECT_EQ(third.cookieHeaderForURL(site), "tab=a\tb");
}

TEST(CookiePersistence, DamagedFilesGiveAnEmptyStoreAndALogLine) {
    Cookie sample;
    sample.name = "keep";
    sample.value = "1";
    sample.domain = "h.test";
    sample.path = "/";
    sample.expiresAt = kNow + 3600;
    sample.creationTime = kNow;
    sample.lastAccessTime = kNow;
    const std::string good = CookieFile::encode({sample});
    ASSERT_TRUE(CookieFile::decode(good).ok());

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"garbage", "\x01\x02garbage\xFF"},
        {"cut short", good.substr(0, good.size() - 8)},
        {"no final newline", good.substr(0, good.size() - 1)},
        {"future version", "MurmeloCookies 2\nend\t0\n"},
        {"wrong count", "MurmeloCookies 1\nend\t1\n"},
        {"bad flags", "MurmeloCookies 1\ncookie\tn\tv\th\t/\t-\t1\t1\t1x1\nend\t1\n"},
        {"missing field", "MurmeloCookies 1\ncookie\tn\tv\th\t/\t-\t1\t1\nend\t1\n"},
        {"bad escape", "MurmeloCookies 1\ncookie\tn%zz\tv\th\t/\t-\t1\t1\t100\nend\t1\n"},
        {"bad time", "MurmeloCookies 1\ncookie\tn\tv\th\t/\tnan\t1\t1\t100\nend\t1\n"},
        {"bad domain", "MurmeloCookies 1\ncookie\tn\tv\t.H\t/\t-\t1\t1\t100\nend\t1\n"},
        {"control char", "MurmeloCookies 1\ncookie\tn\tv%0D%0A\th\t/\t-\t1\t1\t100\nend\t1\n"},
    };
    for (const auto& [label, contents] : cases) {
        SCOPED_TRACE(label);
        EXPECT_FALSE(CookieFile::decode(contents).ok());
        test::TemporaryDirectory home;
        const std::string file = home.file("Cookies.txt");
        test::writeFile(file, contents);
        FakeClock clock;
        CookieStore store(clock.function());
        LogCapture log;
        store.setPersistentFile(file);
        EXPECT_TRUE(store.allCookies().empty());
        // Set aside for a person to look at, and said so.
        EXPECT_EQ(test::readFile(file + ".damaged"), contents);
        EXPECT_FALSE(fs::fileExists(file));
        EXPECT_TRUE(log.contains("Cookie store: ignoring " + file))
            << (log.messages().empty() ? "" : log.messages()[0]);
        EXPECT_TRUE(log.contains("kept as " + file + ".damaged"));
        // The store carries on and replaces the damaged file with a sound one.
        ASSERT_TRUE(store.setCookie(sample).ok());
        auto reread = CookieFile::read(file);
        ASSERT_TRUE(reread.ok());
        EXPECT_EQ(reread->size(), 1u);
    }
}

TEST(CookiePersistence, UnwritableFileIsLoggedNotFatal) {
    test::TemporaryDirectory home;
    const std::string blocker = home.file("notadir");
    test::writeFile(blocker, "x");
    FakeClock clock;
    CookieStore store(clock.function());
    LogCapture log;
    store.setPersistentFile(blocker + "/Cookies.txt");
    EXPECT_TRUE(log.contains("Cookie store: ignoring")); // ENOTDIR: cannot even be read
    auto cookie = Cookie::parseSetCookie("k=1; Max-Age=60", url("http://h/"), kNow);
    ASSERT_TRUE(cookie.ok());
    EXPECT_TRUE(store.setCookie(*cookie).ok());
    EXPECT_TRUE(log.contains("Cookie store: cannot save cookies"));
    EXPECT_EQ(store.cookieHeaderForURL(url("http://h/")), "k=1");
}

TEST(CookieStore, ManyThreadsSetAndReadConsistently) {
    test::TemporaryDirectory home;
    FakeClock clock;
    CookieStore store(clock.function());
    store.setPersistentFile(home.file("Cookies.txt"));
    constexpr int kThreads = 8;
    constexpr int kRounds = 60;
    std::atomic<int> malformed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const URL site = url("http://t" + std::to_string(t) + ".test/");
            for (int i = 0; i < kRounds; ++i) {
                std::string line = "n" + std::to_string(i % 10) + "=" + std::to_string(i);
                if (i % 15 == 0) { // some persistent ones exercise the writer
                    (void)store.setCookiesFromHeaders(
                        {{"Set-Cookie", "p" + std::to_string(i) + "=1; Max-Age=600"}}, site);
                }
                (void)store.setCookiesFromHeaders({{"Set-Cookie", line}}, site);
                std::string header = store.cookieHeaderForURL(site);
                if (header.find("n" + std::to_string(i % 10) + "=") == std::string::npos) {
                    malformed++;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(malformed.load(), 0);
    EXPECT_EQ(store.allCookies().size(), static_cast<size_t>(kThreads * 14));
    for (int t = 0; t < kThreads; ++t) {
        const std::string host = "t" + std::to_string(t) + ".test";
        auto cookies = store.cookiesForURL(url("http://" + host + "/"));
        EXPECT_EQ(cookies.size(), 14u);
        for (const auto& cookie : cookies) {
            EXPECT_EQ(cookie.domain, host);
        }
    }
    auto saved = CookieFile::read(home.file("Cookies.txt"));
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(saved->size(), static_cast<size_t>(kThreads * 4)); // p0, p15, p30, p45
}
