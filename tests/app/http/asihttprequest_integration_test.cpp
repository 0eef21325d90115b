// The HTTP request against a scripted server on loopback: replies, charsets,
// compression, every failure code, time-outs, redirects, cookies across
// requests and hosts, authentication challenges, big bodies, cancelling.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

#include <unistd.h>

#include "app/http/ASIFormDataRequest.h"
#include "app/http/ASIHTTPRequest.h"
#include "platform/core/Clock.h"
#include "platform/net/ConnectToMap.h"
#include "platform/net/CookieStore.h"
#include "platform/net/NetError.h"
#include "tests/app/http/http_test_support.h"
#include "tests/support/scripted_http_server.h"

using namespace murmelo;
using namespace murmelo::test;
using Action = ScriptedReply::Action;

namespace {

URL url(const std::string& text) {
    auto parsed = URL::strictParse(text);
    EXPECT_TRUE(parsed) << text;
    return *parsed;
}

std::shared_ptr<ASIHTTPRequest> fetch(const std::string& address, double timeOut = 2.0) {
    auto request = ASIHTTPRequest::requestWithURL(url(address));
    request->setTimeOutSeconds(timeOut);
    request->start();
    return request;
}

class ASIHTTPRequestServer : public testing::Test {
protected:
    void SetUp() override {
        CookieStore::shared().deleteAllCookies();
        ASIHTTPRequest::clearSession();
    }
    void TearDown() override {
        CookieStore::shared().deleteAllCookies();
        ConnectToMap::shared().clear();
    }
    TestBundle m_bundle{{{"CFBundleName", "Murmelo"}, {"CFBundleShortVersionString", "2.3"}}};
};

// Whether thread `tid` of this process is asleep (state S), waiting up to
// `timeoutSeconds` for it. A cross-thread cancel must wake a request that
// sleeps; one still running would see the cancel without any wake-up.
bool waitUntilAsleep(pid_t tid, double timeoutSeconds) {
    double until = Clock::monotonic() + timeoutSeconds;
    std::string path = "/proc/self/task/" + std::to_string(tid) + "/stat";
    while (Clock::monotonic() < until) {
        std::ifstream stat(path);
        std::string line;
        std::getline(stat, line);
        auto close = line.rfind(')'); // the name in parentheses may hold blanks
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S') {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace

TEST_F(ASIHTTPRequestServer, RepliesStatusesAndWhatGoesOut) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        if (request.target == "/399") {
            return ScriptedReply::text(399, "three-nine-nine");
        }
        if (request.target == "/400") {
            return ScriptedReply::text(400, "four-hundred");
        }
        if (request.target == "/404") {
            return ScriptedReply::text(404, "not here");
        }
        if (request.target == "/empty") {
            return ScriptedReply::text(204, "", "");
        }
        return ScriptedReply::text(200, "hello").header("X-Twice", "1").header("x-twice", "2");
    }));
    struct Case {
        std::string path;
        int status;
        std::optional<std::string> text;
    };
    const std::vector<Case> cases = {
        {"/ok", 200, "hello"},         {"/399", 399, "three-nine-nine"},
        {"/400", 400, "four-hundred"}, {"/404", 404, "not here"},
        {"/empty", 204, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto request = fetch(server.url(c.path));
        EXPECT_FALSE(request->error()) << request->error()->debugDescription();
        EXPECT_EQ(request->responseStatusCode(), c.status);
        EXPECT_EQ(request->responseString(), c.text);
        EXPECT_TRUE(request->complete());
        EXPECT_EQ(request->totalBytesRead(), c.text->size());
        EXPECT_EQ(request->contentLength(), c.text->size());
    }
    auto request = fetch(server.url("/ok"));
    EXPECT_EQ(request->responseStatusMessage(), "HTTP/1.1 200 OK");
    ASSERT_TRUE(request->responseHeaders());
    bool merged = false;
    for (const auto& [name, value] : *request->responseHeaders()) {
        merged = merged || (name == "X-Twice" && value == "1, 2");
    }
    EXPECT_TRUE(merged);

    const ReceivedRequest sent = server.requests().back();
    EXPECT_EQ(sent.method, "GET");
    EXPECT_EQ(sent.version, "HTTP/1.1");
    EXPECT_EQ(sent.header("Accept-Encoding"), "gzip");
    EXPECT_EQ(sent.header("User-Agent"), "Murmelo 2.3 (iPhone; iPhone OS 4.3.3; de_DE)");
    EXPECT_FALSE(sent.header("Accept"));
    EXPECT_FALSE(sent.header("Cookie"));
    // Sequential requests of a thread share one kept-alive connection.
    EXPECT_EQ(server.connectionCount(), 1);

    auto old = ASIHTTPRequest::requestWithURL(url(server.url("/ok")));
    old->setUseHTTPVersionOne(true);
    old->start();
    EXPECT_FALSE(old->error());
    EXPECT_EQ(server.requests().back().version, "HTTP/1.0");
}

TEST_F(ASIHTTPRequestServer, TheFormPostGoesOutAsDescribed) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        return ScriptedReply::text(200, "{\"code\":1,\"msg\":\"" + request.body + "\"}", "application/json");
    }));
    ASSERT_TRUE(CookieStore::shared().setCookie(
        *Cookie::parseSetCookie("PHPSESSID=abc; Path=/", url(server.url("/")), Clock::now())));
    auto post = ASIFormDataRequest::requestWithURL(url(server.url("/index.php?r=secret/create")));
    post->addRequestHeader("User-Agent", "Murmelo/2.3 test");
    post->setPostValue("a b", "Secret[content]");
    post->setPostValue("MurmeloIP", "Secret[appName]");
    post->start();
    ASSERT_FALSE(post->error());
    const ReceivedRequest sent = server.requests().back();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.target, "/index.php?r=secret/create");
    EXPECT_EQ(sent.body, "Secret%5Bcontent%5D=a%20b&Secret%5BappName%5D=MurmeloIP");
    EXPECT_EQ(sent.header("Content-Length"), std::to_string(sent.body.size()));
    EXPECT_EQ(sent.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(sent.header("User-Agent"), "Murmelo/2.3 test");
    EXPECT_EQ(sent.header("Cookie"), "PHPSESSID=abc");
    EXPECT_EQ(sent.header("Accept-Encoding"), "gzip");
    std::set<std::string> names;
    for (const auto& [name, value] : sent.headers) {
        names.insert(name);
    }
    EXPECT_EQ(names, (std::set<std::string>{"Host", "User-Agent", "Content-Type", "Content-Length",
                                            "Accept-Encoding", "Cookie"}));
    EXPECT_EQ(post->totalBytesSent(), sent.body.size());
}

TEST_F(ASIHTTPRequestServer, CharsetsAndCompression) {
    const std::string utf8Text = "grüß dich — 秘密";
    const std::string gz = compress(utf8Text, 31);
    std::string corrupt = gz;
    corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x5A);
    const std::string bomb = gzipRepeated('A', ASIHTTPRequest::kMaxInflatedBytes + 4096);
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([&](const ReceivedRequest& request) {
        const std::string& t = request.target;
        if (t == "/utf8")
            return ScriptedReply::text(200, utf8Text, "text/html; charset=utf-8");
        if (t == "/UTF8")
            return ScriptedReply::text(200, utf8Text, "text/html; Charset=\"UTF-8\"; q=1");
        if (t == "/none")
            return ScriptedReply::text(200, utf8Text, "text/html");
        if (t == "/unknown")
            return ScriptedReply::text(200, utf8Text, "text/html; charset=x-klingon");
        if (t == "/badutf8")
            return ScriptedReply::text(200, "a\xC3(", "text/plain; charset=utf-8");
        if (t == "/gzip")
            return ScriptedReply::text(200, gz, "text/plain; charset=utf-8")
                .header("Content-Encoding", "gzip");
        if (t == "/gzip-chunked") {
            ScriptedReply reply = ScriptedReply::text(200, gz, "text/plain; charset=utf-8");
            reply.chunked = true;
            reply.chunkSize = 5;
            return reply.header("Content-Encoding", "x-gzip");
        }
        if (t == "/corrupt")
            return ScriptedReply::text(200, corrupt, "text/plain").header("Content-Encoding", "gzip");
        if (t == "/raw-gzip")
            return ScriptedReply::text(200, gz, "application/octet-stream");
        if (t == "/bomb")
            return ScriptedReply::text(200, bomb, "text/plain").header("Content-Encoding", "gzip");
        return ScriptedReply::text(404, "");
    }));
    struct Case {
        std::string path;
        std::optional<std::string> data;   // responseData
        std::optional<std::string> string; // responseString
        std::optional<StringEncoding> encoding;
    };
    const std::string latin1Reading = *decodeString(toData(utf8Text), StringEncoding::ISOLatin1);
    const std::vector<Case> cases = {
        {"/utf8", utf8Text, utf8Text, StringEncoding::UTF8},
        {"/UTF8", utf8Text, utf8Text, StringEncoding::UTF8},
        {"/none", utf8Text, latin1Reading, StringEncoding::ISOLatin1},
        {"/unknown", utf8Text, latin1Reading, StringEncoding::ISOLatin1},
        {"/badutf8", "a\xC3(", std::nullopt, StringEncoding::UTF8},
        {"/gzip", utf8Text, utf8Text, StringEncoding::UTF8},
        {"/gzip-chunked", utf8Text, utf8Text, StringEncoding::UTF8},
        {"/corrupt", std::nullopt, std::nullopt, StringEncoding::ISOLatin1},
        {"/raw-gzip", gz, *decodeString(toData(gz), StringEncoding::ISOLatin1), StringEncoding::ISOLatin1},
        {"/bomb", std::nullopt, std::nullopt, StringEncoding::ISOLatin1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto request = fetch(server.url(c.path));
        // Whatever the body holds, the exchange itself succeeded.
        EXPECT_FALSE(request->error());
        EXPECT_EQ(request->responseStatusCode(), 200);
        auto data = request->responseData();
        EXPECT_EQ(data ? std::optional<std::string>(toText(*data)) : std::nullopt, c.data);
        EXPECT_EQ(request->responseString(), c.string);
        EXPECT_EQ(request->responseEncoding(), c.encoding);
    }
}

TEST_F(ASIHTTPRequestServer, ConnectionFailuresAreCodeOne) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        if (request.target == "/reset") {
            return ScriptedReply::rawBytes(Action::ResetAfterRaw,
                                           "HTTP/1.1 200 OK\r\nContent-Length: 90000\r\n\r\n" +
                                               std::string(20000, 'r'));
        }
        if (request.target == "/truncated-chunks") {
            return ScriptedReply::rawBytes(
                Action::SendRawClose,
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n9\r\nef");
        }
        return ScriptedReply::rawBytes(Action::Close, "");
    }));
    const std::string refused = "http://127.0.0.1:" + std::to_string(ScriptedHttpServer::unusedPort()) + "/";
    struct Case {
        std::string label;
        std::string address;
        TransportErrorCode cause;
    };
    const std::vector<Case> cases = {
        {"connection refused", refused, TransportErrorCode::CannotConnect},
        {"unknown host", "http://secrets.murmelo.invalid/index.php", TransportErrorCode::HostNotFound},
        {"reset mid-body", server.url("/reset"), TransportErrorCode::ConnectionLost},
        {"truncated chunked body", server.url("/truncated-chunks"), TransportErrorCode::ConnectionLost},
        {"closed without a reply", server.url("/close"), TransportErrorCode::ConnectionLost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto request = fetch(c.address);
        ASSERT_TRUE(request->error());
        EXPECT_EQ(request->error()->domain(), "ASIHTTPRequestErrorDomain");
        EXPECT_EQ(request->error()->code(), 1);
        EXPECT_EQ(request->error()->localizedDescription(), "A connection failure occurred");
        ASSERT_TRUE(request->error()->underlyingError());
        EXPECT_TRUE(
            request->error()->underlyingError()->is(kTransportErrorDomain, static_cast<long>(c.cause)))
            << request->error()->underlyingError()->debugDescription();
        EXPECT_TRUE(request->complete());
    }

    // A TLS failure names the certificate in the text.
    ScriptedHttpServer plain([](ScriptedConnection& connection, ScriptedHttpServer&) {
        connection.send("HTTP/1.1 400 Bad Request\r\n\r\n");
        connection.close();
    });
    auto secure = fetch("https://127.0.0.1:" + std::to_string(plain.port()) + "/");
    ASSERT_TRUE(secure->error());
    EXPECT_EQ(secure->error()->code(), 1);
    EXPECT_EQ(secure->error()->localizedDescription(),
              "A connection failure occurred: SSL problem (possibily a bad/expired/self-signed certificate)");
}

TEST_F(ASIHTTPRequestServer, AnUnusableProxySettingIsCodeSix) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith(
        [](const ReceivedRequest&) { return ScriptedReply::text(200, "direct"); }));
    const char* previous = std::getenv("http_proxy");
    std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
    setenv("http_proxy", "gopher://proxy.lan:70", 1);
    auto request = fetch(server.url("/"));
    if (saved) {
        setenv("http_proxy", saved->c_str(), 1);
    } else {
        unsetenv("http_proxy");
    }
    ASSERT_TRUE(request->error());
    EXPECT_EQ(request->error()->code(), 6);
    EXPECT_EQ(request->error()->localizedDescription(),
              "Unable to obtain information on proxy servers needed for request");
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(ASIHTTPRequestServer, ASilentServerTimesOutAfterTheInactivityLimit) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        if (request.target == "/slow-body") {
            // A head and a little body, then nothing.
            return ScriptedReply::rawBytes(Action::SendRaw,
                                           "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
        }
        return ScriptedReply::rawBytes(Action::Silent, "");
    }));
    struct Case {
        std::string path;
        double limit;
        bool post;
    };
    const std::vector<Case> cases = {
        {"/silent", 0.5, false}, {"/slow-body", 0.5, false}, {"/silent", 0.6, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + (c.post ? " POST" : " GET"));
        auto request = ASIFormDataRequest::requestWithURL(url(server.url(c.path)));
        request->setTimeOutSeconds(c.limit);
        if (c.post) {
            request->setPostValue("v", "k");
        }
        double began = Clock::monotonic();
        request->start();
        double took = Clock::monotonic() - began;
        ASSERT_TRUE(request->error());
        EXPECT_EQ(request->error()->code(), 2);
        EXPECT_EQ(request->error()->localizedDescription(), "The request timed out");
        EXPECT_GE(took, c.limit);
        EXPECT_LT(took, c.limit + 1.0);
    }
}

TEST_F(ASIHTTPRequestServer, TheDefaultLimitIsFiveSeconds) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith(
        [](const ReceivedRequest&) { return ScriptedReply::rawBytes(Action::Silent, ""); }));
    auto request = ASIHTTPRequest::requestWithURL(url(server.url("/")));
    EXPECT_EQ(request->timeOutSeconds(), 5.0);
    double began = Clock::monotonic();
    request->start();
    double took = Clock::monotonic() - began;
    ASSERT_TRUE(request->error());
    EXPECT_EQ(request->error()->localizedDescription(), "The request timed out");
    EXPECT_GE(took, 5.0);
    EXPECT_LT(took, 6.5);
}

// A server dripping a byte now and then never trips the inactivity limit;
// the overall deadline ends the request all the same.
TEST_F(ASIHTTPRequestServer, ADrippingReplyEndsAtTheOverallDeadline) {
    struct Case {
        const char* name;
        std::optional<double> timeOut; // unset: the class default
        double defaultTimeOut;
        double overall; // 0: derived
        double expected;
    };
    const double factor = ASIHTTPRequest::kDeadlineFactor;
    // The drip comes far more often than any inactivity limit here, so only
    // the overall deadline can end these requests.
    const Case cases[] = {
        {"factor times the time-out", 0.5, 5.0, 0, 0.5 * factor},
        {"explicit overall limit", 30.0, 5.0, 0.6, 0.6},
        {"no inactivity limit: factor times the class default", 0.0, 0.3, 0, 0.3 * factor},
    };
    const double previousDefault = ASIHTTPRequest::defaultTimeOutSeconds();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer drip(ScriptedHttpServer::drippingBody(0.02, 4.0));
        ASIHTTPRequest::setDefaultTimeOutSeconds(c.defaultTimeOut);
        auto request = ASIHTTPRequest::requestWithURL(url(drip.url("/drip")));
        if (c.timeOut) {
            request->setTimeOutSeconds(*c.timeOut);
        }
        request->setOverallTimeOutSeconds(c.overall);
        EXPECT_DOUBLE_EQ(request->overallTimeOutSeconds(), c.expected);
        double began = Clock::monotonic();
        request->start();
        double took = Clock::monotonic() - began;
        ASSERT_TRUE(request->error()) << "the drip was read to its end";
        EXPECT_EQ(request->error()->domain(), NetworkRequestErrorDomain);
        EXPECT_EQ(request->error()->code(), static_cast<long>(ASINetworkErrorType::RequestTimedOutErrorType));
        EXPECT_GE(took, c.expected - 0.05);
        EXPECT_LT(took, c.expected + 1.0);
    }
    ASIHTTPRequest::setDefaultTimeOutSeconds(previousDefault);
}

// A body past the limit ends the request as soon as it is announced or
// received; the rest is not read and what came is let go.
TEST_F(ASIHTTPRequestServer, ABodyPastTheLimitFailsAndStopsTheTransfer) {
    constexpr std::size_t kLimit = 64 * 1024;
    constexpr std::uint64_t kHuge = 16 * 1024 * 1024;
    using Framing = ScriptedHttpServer::Framing;
    struct Case {
        const char* name;
        std::uint64_t size;
        Framing framing;
        bool fails;
    };
    const Case cases[] = {
        {"announced length", kHuge, Framing::ContentLength, true},
        {"no length", kHuge, Framing::UntilClose, true},
        {"exactly the limit", kLimit, Framing::UntilClose, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto sent = std::make_shared<std::atomic<std::uint64_t>>(0);
        auto request = ASIHTTPRequest::requestWithURL(std::nullopt);
        {
            ScriptedHttpServer server(ScriptedHttpServer::streamingBody(c.size, c.framing, sent));
            request->setURL(url(server.url("/big")));
            request->setMaxResponseDataSize(kLimit);
            request->start();
        } // the server has ended: `sent` is final
        if (!c.fails) {
            ASSERT_FALSE(request->error()) << request->error()->localizedDescription();
            EXPECT_EQ(request->responseData()->size(), kLimit);
            continue;
        }
        ASSERT_TRUE(request->error());
        EXPECT_EQ(request->error()->domain(), NetworkRequestErrorDomain);
        EXPECT_EQ(request->error()->code(),
                  static_cast<long>(ASINetworkErrorType::ResponseTooLargeErrorType));
        ASSERT_NE(request->error()->underlyingError(), nullptr);
        EXPECT_EQ(request->error()->underlyingError()->domain(), kNetErrorDomain);
        EXPECT_EQ(request->error()->underlyingError()->code(),
                  static_cast<long>(NetErrorCode::ReplyTooLarge));
        EXPECT_TRUE(!request->rawResponseData() || request->rawResponseData()->empty());
        EXPECT_LT(sent->load(), kHuge / 2) << "the rest of the body was read";
    }
}

TEST_F(ASIHTTPRequestServer, RedirectChains) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        const std::string& t = request.target;
        // /hop/N/CODE redirects with CODE to /hop/N-1/CODE until /hop/0.
        if (t.starts_with("/hop/")) {
            int left = std::stoi(t.substr(5));
            std::string code = t.substr(t.rfind('/') + 1);
            if (left == 0) {
                return ScriptedReply::text(200, request.method + " " + request.body);
            }
            return ScriptedReply::redirect(std::stoi(code), "/hop/" + std::to_string(left - 1) + "/" + code);
        }
        if (t == "/relative/a")
            return ScriptedReply::redirect(302, "../b?x=1");
        if (t == "/b?x=1")
            return ScriptedReply::text(200, "resolved");
        if (t == "/not-modified")
            return ScriptedReply::redirect(304, "/hop/0/0");
        if (t == "/bad-location")
            return ScriptedReply::redirect(302, "http://[bad");
        if (t == "/to-ftp")
            return ScriptedReply::redirect(301, "ftp://files.test/x");
        return ScriptedReply::text(404, "");
    }));
    struct Case {
        std::string label;
        std::string path;
        std::optional<long> errorCode;
        int status;
        int redirects;
        std::string finalPath; // where the URL ends up
        std::string lastServed;
    };
    const std::vector<Case> cases = {
        {"301 chain", "/hop/3/301", std::nullopt, 200, 3, "/hop/0/301", "/hop/0/301"},
        {"302 chain", "/hop/2/302", std::nullopt, 200, 2, "/hop/0/302", "/hop/0/302"},
        {"307 chain", "/hop/1/307", std::nullopt, 200, 1, "/hop/0/307", "/hop/0/307"},
        {"303 chain", "/hop/2/303", std::nullopt, 200, 2, "/hop/0/303", "/hop/0/303"},
        {"five are followed", "/hop/5/302", std::nullopt, 200, 5, "/hop/0/302", "/hop/0/302"},
        {"the sixth fails, pointing on", "/hop/6/302", 9, 302, 6, "/hop/0/302", "/hop/1/302"},
        {"relative Location", "/relative/a", std::nullopt, 200, 1, "/b?x=1", "/b?x=1"},
        {"304 is no redirect", "/not-modified", std::nullopt, 304, 0, "/not-modified", "/not-modified"},
        {"unparsable Location", "/bad-location", 5, 302, 1, "", "/bad-location"},
        {"Location of another scheme", "/to-ftp", 5, 301, 1, "", "/to-ftp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto request = fetch(server.url(c.path));
        if (c.errorCode) {
            ASSERT_TRUE(request->error());
            EXPECT_EQ(request->error()->code(), *c.errorCode);
            if (*c.errorCode == 9) {
                EXPECT_EQ(request->error()->localizedDescription(),
                          "The request failed because it redirected too many times");
            }
        } else {
            EXPECT_FALSE(request->error()) << request->error()->debugDescription();
        }
        EXPECT_EQ(request->responseStatusCode(), c.status);
        EXPECT_EQ(request->redirectCount(), c.redirects);
        if (!c.finalPath.empty()) {
            ASSERT_TRUE(request->url());
            EXPECT_EQ(request->url()->absoluteString(), server.url(c.finalPath));
        }
        EXPECT_EQ(server.requests().back().target, c.lastServed);
    }
}

TEST_F(ASIHTTPRequestServer, RedirectsOfAPost) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        if (request.target == "/post302")
            return ScriptedReply::redirect(302, "/landing");
        if (request.target == "/post307")
            return ScriptedReply::redirect(307, "/landing");
        if (request.target == "/post303")
            return ScriptedReply::redirect(303, "/landing");
        return ScriptedReply::text(200, request.method + ":" + request.body);
    }));
    struct Case {
        std::string path;
        std::string expectedReply;
        bool keepsCallerHeaders;
    };
    const std::vector<Case> cases = {
        {"/post302", "POST:k=v", true},
        {"/post307", "POST:k=v", true},
        {"/post303", "GET:", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto post = ASIFormDataRequest::requestWithURL(url(server.url(c.path)));
        post->addRequestHeader("User-Agent", "Caller/1");
        post->addRequestHeader("referer", "http://ref.test/");
        post->setPostValue("v", "k");
        post->start();
        ASSERT_FALSE(post->error());
        EXPECT_EQ(post->responseString(), c.expectedReply);
        const ReceivedRequest landing = server.requests().back();
        EXPECT_EQ(landing.target, "/landing");
        if (c.keepsCallerHeaders) {
            EXPECT_EQ(landing.header("User-Agent"), "Caller/1");
            EXPECT_EQ(landing.header("referer"), "http://ref.test/");
            EXPECT_EQ(landing.header("Content-Length"), "3");
            EXPECT_EQ(post->requestMethod(), "POST");
        } else {
            // Everything the caller set is gone; the class's own user agent goes out.
            EXPECT_EQ(landing.header("User-Agent"), "Murmelo 2.3 (iPhone; iPhone OS 4.3.3; de_DE)");
            EXPECT_FALSE(landing.header("referer"));
            EXPECT_FALSE(landing.header("Content-Length"));
            EXPECT_FALSE(landing.header("Content-Type"));
            EXPECT_TRUE(landing.body.empty());
            EXPECT_EQ(post->requestMethod(), "GET");
            EXPECT_EQ(post->postLength(), 0u);
        }
        EXPECT_EQ(landing.header("Accept-Encoding"), "gzip");
    }
}

TEST_F(ASIHTTPRequestServer, CookiesFlowBetweenRequestsTheStoreAndHosts) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        std::string host = request.header("Host").value_or("");
        if (request.target == "/login") {
            return ScriptedReply::text(200, "in")
                .header("Set-Cookie", "sid=42; Path=/")
                .header("Set-Cookie", "pref=dark; Path=/; Max-Age=3600");
        }
        if (request.target == "/hop-to-b") {
            std::string b = "http://b.murmelo.test:" + host.substr(host.rfind(':') + 1) + "/seen";
            return ScriptedReply::redirect(302, b).header("Set-Cookie", "hop=1; Path=/");
        }
        return ScriptedReply::text(200, host + " " + request.header("Cookie").value_or("-"));
    }));
    const std::string port = std::to_string(server.port());
    ASSERT_TRUE(ConnectToMap::shared().addRules("a.murmelo.test:" + port + ":127.0.0.1:" + port +
                                                ",b.murmelo.test:" + port + ":127.0.0.1:" + port));
    const std::string a = "http://a.murmelo.test:" + port;

    auto login = fetch(a + "/login");
    ASSERT_FALSE(login->error());
    ASSERT_TRUE(login->responseCookies());
    EXPECT_EQ(login->responseCookies()->size(), 2u);
    // The store (which the web views read) has them, and so does the session list.
    EXPECT_EQ(CookieStore::shared().cookieHeaderForURL(url(a + "/")), "sid=42; pref=dark");
    EXPECT_EQ(ASIHTTPRequest::sessionCookies().size(), 2u);

    auto next = fetch(a + "/whoami");
    EXPECT_EQ(next->responseString(), "a.murmelo.test:" + port + " sid=42; pref=dark");

    // Across hosts: b gets none of a's cookies, neither from the store nor
    // from a Cookie line the caller wrote for a.
    auto hop = ASIHTTPRequest::requestWithURL(url(a + "/hop-to-b"));
    hop->addRequestHeader("cookie", "handmade=for-a");
    hop->setTimeOutSeconds(2);
    hop->start();
    ASSERT_FALSE(hop->error());
    EXPECT_EQ(hop->responseString(), "b.murmelo.test:" + port + " -");
    const ReceivedRequest atB = server.requests().back();
    EXPECT_EQ(atB.headerCount("Cookie"), 0);
    // The cookie set on the redirect reply was stored for a.
    EXPECT_EQ(CookieStore::shared().cookieHeaderForURL(url(a + "/")), "sid=42; pref=dark; hop=1");

    // A later exchange with b still sees none; a sees all three.
    EXPECT_EQ(fetch("http://b.murmelo.test:" + port + "/")->responseString(),
              "b.murmelo.test:" + port + " -");
    EXPECT_EQ(fetch(a + "/")->responseString(), "a.murmelo.test:" + port + " sid=42; pref=dark; hop=1");

    // Without cookie persistence nothing is read or stored.
    auto quiet = ASIHTTPRequest::requestWithURL(url(a + "/login"));
    quiet->setUseCookiePersistance(false);
    CookieStore::shared().deleteAllCookies();
    quiet->start();
    EXPECT_EQ(quiet->responseCookies()->size(), 2u);
    EXPECT_TRUE(CookieStore::shared().allCookies().empty());
}

TEST_F(ASIHTTPRequestServer, ChallengesEndTheRequestWithoutABody) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        if (request.target == "/401") {
            return ScriptedReply::text(401, "secret page body")
                .header("WWW-Authenticate", "Basic realm=\"x\"");
        }
        return ScriptedReply::text(407, "proxy says no").header("Proxy-Authenticate", "Basic realm=\"p\"");
    }));
    for (int status : {401, 407}) {
        SCOPED_TRACE(status);
        auto request = fetch(server.url("/" + std::to_string(status)));
        ASSERT_TRUE(request->error());
        EXPECT_EQ(request->error()->code(), 3);
        EXPECT_EQ(request->error()->localizedDescription(), "Authentication needed");
        EXPECT_EQ(request->responseStatusCode(), status);
        ASSERT_TRUE(request->rawResponseData());
        EXPECT_TRUE(request->rawResponseData()->empty());
        EXPECT_EQ(request->responseString(), "");
    }
}

TEST_F(ASIHTTPRequestServer, ATenMegabyteBody) {
    std::string big(10 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    }
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([&](const ReceivedRequest& request) {
        ScriptedReply reply = ScriptedReply::text(200, big, "text/plain; charset=us-ascii");
        reply.chunked = request.target == "/chunked";
        reply.chunkSize = 100000;
        return reply;
    }));
    for (const char* path : {"/length", "/chunked"}) {
        SCOPED_TRACE(path);
        auto request = fetch(server.url(path), 5.0);
        ASSERT_FALSE(request->error());
        auto data = request->responseData();
        ASSERT_TRUE(data);
        EXPECT_EQ(data->size(), big.size());
        EXPECT_TRUE(toText(*data) == big);
        EXPECT_EQ(request->totalBytesRead(), big.size());
        EXPECT_EQ(request->responseString()->size(), big.size());
    }
}

TEST_F(ASIHTTPRequestServer, CancelFromAnotherThread) {
    // On a kept-alive connection libcurl sets no timer of its own once the
    // request is out, so only the cancel can end the wait before the deadline.
    struct Case {
        const char* name;
        bool warmConnectionFirst;
    };
    for (const Case& c : {Case{"fresh connection", false}, Case{"kept-alive connection", true}}) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& received) {
            return received.target == "/wait" ? ScriptedReply::rawBytes(Action::Silent, "")
                                              : ScriptedReply::text(200, "ok");
        }));
        if (c.warmConnectionFirst) {
            auto first = ASIHTTPRequest::requestWithURL(url(server.url("/first")));
            first->start();
            ASSERT_FALSE(first->error());
        }
        auto request = ASIHTTPRequest::requestWithURL(url(server.url("/wait")));
        request->setTimeOutSeconds(0);        // no inactivity limit: only the cancel ends it...
        request->setOverallTimeOutSeconds(6); // ...or, were the cancel not seen, this deadline
        // Measured from the cancel: reaching the server can take seconds on a
        // loaded machine, and that is not what this checks.
        std::atomic<double> cancelledAt{0};
        std::size_t expected = c.warmConnectionFirst ? 2 : 1;
        pid_t requestThread = gettid();
        std::thread canceller([&] {
            bool seen = server.waitForRequests(expected, 10.0);
            EXPECT_TRUE(waitUntilAsleep(requestThread, 10.0));
            cancelledAt = Clock::monotonic();
            request->cancel(); // in any case, so the test cannot hang
            EXPECT_TRUE(seen);
        });
        request->start();
        double took = Clock::monotonic() - cancelledAt.load();
        canceller.join();
        ASSERT_TRUE(request->error());
        EXPECT_EQ(request->error()->code(), 4);
        EXPECT_EQ(request->error()->localizedDescription(), "The request was cancelled");
        EXPECT_TRUE(request->isCancelled());
        EXPECT_LT(took, 3.0);
        // A later cancel or failure does not replace the first error.
        request->cancel();
        EXPECT_EQ(request->error()->code(), 4);
    }
}
