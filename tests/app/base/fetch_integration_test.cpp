// The blocking GET and post helpers and the cached fetches against a local
// scripted HTTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/base/OVUtils.h"
#include "app/cache/EGOCache.h"
#include "app/http/ASIHTTPRequest.h"
#include "app/product/Constants.h"
#include "platform/core/Clock.h"
#include "platform/foundation/Crypto.h"
#include "platform/net/URLConnection.h"
#include "tests/platform/foundation/test_home.h"
#include "tests/support/scripted_http_server.h"

using namespace murmelo;
using test::ReceivedRequest;
using test::ScriptedHttpServer;
using test::ScriptedReply;

namespace {

constexpr double kBound = 10.0;

// "inflated body " twenty times, gzip-compressed.
const std::string
    kGzipped("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff\xcb\xcc\x4b\xcb\x49\x2c\x49\x4d\x51\x48\xca"
             "\x4f\xa9\x54\xc8\x1c\xe5\x41\x79\x00\x10\x3e\x74\x8a\x18\x01\x00\x00",
             38);

std::string text(const std::optional<Data>& data) {
    return data ? std::string(data->begin(), data->end()) : std::string("<nothing>");
}

// The header exactly as named on the wire (letter case included), or nothing.
std::optional<std::string> exactHeader(const ReceivedRequest& request, const std::string& name) {
    for (const auto& [key, value] : request.headers) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

// Replies by path: /status/N answers N with body "body N"; /gzip the gzip
// body; anything else 200 "ok".
ScriptedReply replyFor(const ReceivedRequest& request) {
    const std::string& target = request.target;
    if (target.rfind("/status/", 0) == 0) {
        int status = std::stoi(target.substr(8));
        ScriptedReply reply = ScriptedReply::text(status, status == 304 ? "" : "body " + target.substr(8));
        reply.reason = "Status";
        return reply;
    }
    if (target == "/gzip") {
        return ScriptedReply::text(200, kGzipped).header("Content-Encoding", "gzip");
    }
    return ScriptedReply::text(200, "ok " + request.method + " " + request.body);
}

class FetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        OVUtils::resetCachedIdentityForTesting();
        m_cache = std::make_shared<EGOCache>(m_home.home() + "/Library/Caches/DataCache");
        EGOCache::replaceCurrentCacheForTesting(m_cache);
    }
    void TearDown() override {
        EGOCache::replaceCurrentCacheForTesting(nullptr);
        OVUtils::resetCachedIdentityForTesting();
        Clock::resetWallClockShift();
    }

    test::TestHome m_home;
    std::shared_ptr<EGOCache> m_cache;
    ScriptedHttpServer m_server{ScriptedHttpServer::replyingWith(replyFor)};
};

TEST_F(FetchTest, StatusDecidesBetweenBodyAndNothing) {
    struct Case {
        int status;
        std::optional<std::string> body;
    };
    const Case cases[] = {{200, "body 200"},   {204, ""},           {304, ""},          {399, "body 399"},
                          {400, std::nullopt}, {404, std::nullopt}, {500, std::nullopt}};
    for (const Case& c : cases) {
        const std::string url = m_server.url("/status/" + std::to_string(c.status));
        std::optional<Data> data = OVUtils::dataWithContentsOfStrURL(url);
        EXPECT_EQ(data.has_value(), c.body.has_value()) << c.status;
        if (c.body) {
            EXPECT_EQ(text(data), *c.body) << c.status;
        }
        EXPECT_EQ(OVUtils::stringWithContentsOfStrURL(url), c.body) << c.status;
        EXPECT_EQ(OVUtils::stringWithContentsOfURL(URL::strictParse(url)), c.body) << c.status;
    }
}

TEST_F(FetchTest, NothingForNothingOrFailure) {
    EXPECT_EQ(OVUtils::dataWithContentsOfStrURL(std::nullopt), std::nullopt);
    EXPECT_EQ(OVUtils::dataWithContentsOfURL(std::optional<URL>()), std::nullopt);
    EXPECT_EQ(OVUtils::dataWithContentsOfStrURL("http://bad host/"), std::nullopt); // strict parse refuses
    const std::string refused = "http://127.0.0.1:" + std::to_string(ScriptedHttpServer::unusedPort()) + "/";
    EXPECT_EQ(OVUtils::dataWithContentsOfStrURL(refused), std::nullopt);
    EXPECT_EQ(
        OVUtils::requestWithStrURL(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt),
        nullptr);
    EXPECT_EQ(OVUtils::simpleFakeRequestWithURL(std::nullopt), nullptr);
    EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(FetchTest, GzipBodyIsInflated) {
    std::string expected;
    for (int i = 0; i < 20; ++i) {
        expected += "inflated body ";
    }
    EXPECT_EQ(text(OVUtils::dataWithContentsOfStrURL(m_server.url("/gzip"))), expected);
}

TEST_F(FetchTest, IdentityHeaders) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> fetch;
        std::string userAgent;
        std::optional<std::string> referer;
        std::optional<std::string> cookie;
    };
    const std::string own = OVUtils::defaultUserAgent();
    const std::string browser(Constant_UserAgent);
    const Case cases[] = {
        {"plain", [](const std::string& u) { (void)OVUtils::dataWithContentsOfStrURL(u); }, own, std::nullopt,
         std::nullopt},
        {"all four",
         [](const std::string& u) {
             (void)OVUtils::stringWithContentsOfStrURL(u, std::nullopt, "Agent/1", "http://ref.example/",
                                                       "a=1; b=2");
         },
         "Agent/1", "http://ref.example/", "a=1; b=2"},
        {"own agent when none given",
         [](const std::string& u) {
             (void)OVUtils::dataWithContentsOfURL(URL::strictParse(u), std::nullopt, std::nullopt,
                                                  std::nullopt, "c=3");
         },
         own, std::nullopt, "c=3"},
        {"like a browser",
         [](const std::string& u) { (void)OVUtils::dataWithContentsOfStrURL(u, "http://r.example/", true); },
         browser, "http://r.example/", std::nullopt},
        {"not like a browser",
         [](const std::string& u) {
             (void)OVUtils::stringWithContentsOfURL(URL::strictParse(u), "r", false);
         },
         own, "r", std::nullopt},
        {"string shorthand",
         [](const std::string& u) { (void)stringWithContentsOfStrURL(u, std::optional<std::string>("s")); },
         browser, "s", std::nullopt},
        {"simple fake request",
         [](const std::string& u) { OVUtils::simpleFakeRequestWithStrURL(u)->start(); }, browser,
         std::nullopt /* checked below */, std::nullopt},
    };
    size_t seen = 0;
    for (const Case& c : cases) {
        const std::string url = m_server.url(std::string("/h?") + std::to_string(seen));
        c.fetch(url);
        ASSERT_TRUE(m_server.waitForRequests(++seen, kBound)) << c.name;
        const ReceivedRequest request = m_server.requests().back();
        EXPECT_EQ(request.header("User-Agent"), c.userAgent) << c.name;
        EXPECT_EQ(request.headerCount("User-Agent"), 1) << c.name;
        if (std::string(c.name) == "simple fake request") {
            EXPECT_EQ(exactHeader(request, "referer"), url); // the URL itself
        } else {
            EXPECT_EQ(exactHeader(request, "referer"), c.referer) << c.name;
        }
        EXPECT_EQ(exactHeader(request, "cookie"), c.cookie) << c.name;
        EXPECT_EQ(request.headerCount("referer"), exactHeader(request, "referer") ? 1 : 0) << c.name;
        EXPECT_EQ(request.headerCount("cookie"), c.cookie ? 1 : 0) << c.name;
    }
}

TEST_F(FetchTest, AddressReplacesTheHostAndHostHeaderKeepsIt) {
    const std::string url = "http://lh5.photos.example:" + std::to_string(m_server.port()) + "/p/1.jpg?s=2";
    auto data =
        OVUtils::dataWithContentsOfURL(URL::strictParse(url), std::string("127.0.0.1"), std::nullopt, false);
    EXPECT_EQ(text(data), "ok GET ");
    ASSERT_TRUE(m_server.waitForRequests(1, kBound));
    const ReceivedRequest request = m_server.requests().back();
    EXPECT_EQ(request.target, "/p/1.jpg?s=2");
    EXPECT_EQ(request.header("Host"), "lh5.photos.example");
    EXPECT_EQ(request.headerCount("Host"), 1);

    auto built = OVUtils::requestWithStrURL("mailto:someone", std::string("127.0.0.1"), std::nullopt,
                                            std::nullopt, std::nullopt);
    EXPECT_EQ(built, nullptr); // no "://" to rewrite
}

TEST_F(FetchTest, PostsFormFieldsAndJudgesTheStatus) {
    struct Case {
        std::string path;
        bool answered;
    };
    const Case cases[] = {
        {"/status/200", true}, {"/status/399", true}, {"/status/400", false}, {"/form", true}};
    const Dictionary fields{{"Secret[content]", "a b&c"}, {"Secret[appName]", "Murmelo"}};
    for (const Case& c : cases) {
        auto url = URL::strictParse(m_server.url(c.path));
        std::optional<std::string> reply = OVUtils::sendPostToURL(url, fields);
        std::optional<Data> data = OVUtils::dataBySendingPostToURL(
            url, fields, std::string("Poster/2"), std::string("http://r/"), std::string("k=v"));
        EXPECT_EQ(reply.has_value(), c.answered) << c.path;
        EXPECT_EQ(data.has_value(), c.answered) << c.path;
    }
    std::vector<ReceivedRequest> requests = m_server.requests();
    ASSERT_EQ(requests.size(), 8u);
    const ReceivedRequest& plain = requests[6];
    const ReceivedRequest& full = requests[7];
    EXPECT_EQ(plain.method, "POST");
    EXPECT_EQ(plain.header("User-Agent"), OVUtils::defaultUserAgent());
    EXPECT_EQ(exactHeader(plain, "referer"), std::nullopt);
    // Every field, in the dictionary's order, URL-encoded by the form request.
    EXPECT_EQ(plain.body, "Secret%5Bcontent%5D=a%20b%26c&Secret%5BappName%5D=Murmelo");
    EXPECT_EQ(full.header("User-Agent"), "Poster/2");
    EXPECT_EQ(exactHeader(full, "referer"), "http://r/");
    EXPECT_EQ(exactHeader(full, "cookie"), "k=v");
    EXPECT_EQ(OVUtils::sendPostToURL(std::nullopt, fields), std::nullopt);
}

TEST_F(FetchTest, PlainDeviceGetIgnoresTheStatus) {
    struct Case {
        bool customAgent;
        std::string path;
        std::optional<std::string> body;
    };
    const Case cases[] = {{true, "/status/200", "body 200"},
                          {false, "/status/200", "body 200"},
                          {true, "/status/404", "body 404"}, // the status is not looked at
                          {false, "/status/500", "body 500"}};
    for (const Case& c : cases) {
        const size_t before = m_server.requests().size();
        auto data = OVUtils::dataWithContentsOfURL_withCustomUserAgent(URL::strictParse(m_server.url(c.path)),
                                                                       c.customAgent);
        EXPECT_EQ(text(data), c.body.value_or("<nothing>")) << c.path;
        ASSERT_TRUE(m_server.waitForRequests(before + 1, kBound));
        const auto agent = m_server.requests().back().header("User-Agent");
        if (c.customAgent) {
            EXPECT_EQ(agent, OVUtils::defaultUserAgent()) << c.path;
        } else {
            EXPECT_NE(agent, OVUtils::defaultUserAgent()) << c.path; // the device's own
        }
    }
    EXPECT_EQ(OVUtils::dataWithContentsOfURL_withCustomUserAgent(std::nullopt, true), std::nullopt);
    const std::string refused = "http://127.0.0.1:" + std::to_string(ScriptedHttpServer::unusedPort()) + "/";
    EXPECT_EQ(OVUtils::dataWithContentsOfURL_withCustomUserAgent(URL::strictParse(refused), true),
              std::nullopt);
}

// Every blocking helper ends however the server answers: a reply dripping a
// byte now and then at the request's overall deadline, one past 32 MiB as soon
// as that is clear; the helper then gives nothing. The drip outlasts the
// deadline by far, so the bound still tells the deadline from the server's end
// while leaving room for a loaded machine.
TEST_F(FetchTest, BlockingHelpersGiveNothingForADripOrAnOversizeReply) {
    using Fetch = std::function<bool(const std::string&)>;
    const Fetch getData = [](const std::string& u) {
        return OVUtils::dataWithContentsOfStrURL(u).has_value();
    };
    const Fetch post = [](const std::string& u) {
        return OVUtils::sendPostToURL(URL::strictParse(u), Dictionary{{"k", "v"}}).has_value();
    };
    const Fetch deviceGet = [](const std::string& u) {
        return OVUtils::dataWithContentsOfURL_withCustomUserAgent(URL::strictParse(u), true).has_value();
    };
    const std::uint64_t oversize = URLConnection::kDefaultMaxBodyBytes + 1;
    using Framing = ScriptedHttpServer::Framing;
    struct Case {
        const char* name;
        Fetch fetch;
        ScriptedHttpServer::Script script;
    };
    // The device's own GET keeps its 60 s time-out; its deadline is covered
    // with the URL connection.
    const Case cases[] = {
        {"data, dripping", getData, ScriptedHttpServer::drippingBody(0.02, 8.0)},
        {"post, dripping", post, ScriptedHttpServer::drippingBody(0.02, 8.0)},
        {"data, oversize", getData, ScriptedHttpServer::streamingBody(oversize, Framing::UntilClose)},
        {"post, oversize announced", post,
         ScriptedHttpServer::streamingBody(oversize, Framing::ContentLength)},
        {"device GET, oversize", deviceGet, ScriptedHttpServer::streamingBody(oversize, Framing::UntilClose)},
    };
    const double previousDefault = ASIHTTPRequest::defaultTimeOutSeconds();
    ASIHTTPRequest::setDefaultTimeOutSeconds(0.4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server(c.script);
        const double began = Clock::monotonic();
        EXPECT_FALSE(c.fetch(server.url("/x")));
        EXPECT_LT(Clock::monotonic() - began, 0.4 * ASIHTTPRequest::kDeadlineFactor + 3.0);
        EXPECT_EQ(server.requests().size(), 1u);
    }
    ASIHTTPRequest::setDefaultTimeOutSeconds(previousDefault);
}

TEST_F(FetchTest, CachedFetchFallsBackToStaleBytesWhenTheNetworkIsDown) {
    auto server = std::make_unique<ScriptedHttpServer>(ScriptedHttpServer::replyingWith(
        [](const ReceivedRequest&) { return ScriptedReply::text(200, "list v1"); }));
    const std::string url = server->url("/recommandApp.php");
    EXPECT_EQ(text(OVUtils::getDataCachedByStrUrl(url)), "list v1");
    EXPECT_EQ(text(OVUtils::getDataCachedByStrUrl(url)), "list v1"); // fresh: no second request
    EXPECT_EQ(server->requests().size(), 1u);
    ASSERT_TRUE(m_cache->waitUntilDiskOperationsFinished(kBound));
    EXPECT_TRUE(m_cache->hasCacheForKey(md5Hex(url)));

    server.reset(); // the network is down
    Clock::shiftWallClock(2 * 3600);
    EXPECT_FALSE(m_cache->hasCacheForKey(md5Hex(url)));
    EXPECT_EQ(text(OVUtils::getDataCachedByStrUrl(url)), "list v1"); // stale, but something
    EXPECT_EQ(OVUtils::getDataCachedByStrUrl(m_server.url("/status/404")), std::nullopt);
    EXPECT_EQ(OVUtils::getDataCachedByStrUrl(std::nullopt), std::nullopt);
}

TEST_F(FetchTest, CachedFetchWithAGivenCache) {
    EGOCache cache(m_home.home() + "/other");
    const std::string good = m_server.url("/status/200");
    EXPECT_EQ(text(OVUtils::getDataOfStrURL(good, cache, 60)), "body 200");
    EXPECT_EQ(text(OVUtils::getDataOfStrURL(good, cache, 60)), "body 200");
    EXPECT_EQ(m_server.requests().size(), 1u);

    // A failed fetch records an expiry without a file: it reads as absent,
    // and there is no stale fallback here.
    const std::string bad = m_server.url("/status/404");
    EXPECT_EQ(OVUtils::getDataOfStrURL(bad, cache, 60), std::nullopt);
    EXPECT_FALSE(cache.hasCacheForKey(md5Hex(bad)));
    EXPECT_EQ(OVUtils::getDataOfStrURL(bad, cache, 60), std::nullopt);
    EXPECT_EQ(m_server.requests().size(), 3u);
    EXPECT_EQ(OVUtils::getDataOfStrURL(std::nullopt, cache, 60), std::nullopt);
}

} // namespace
