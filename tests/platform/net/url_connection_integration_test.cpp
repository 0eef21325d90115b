// URL connection against a scripted server on 127.0.0.1: delegate order,
// redirects (followed, changed, refused, too many), authentication
// challenges, content decoding, cookies, failures, cancel and the
// synchronous send. Every wait runs a loop with a bound.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <zlib.h>

#include "platform/core/Clock.h"
#include "platform/foundation/Crypto.h"
#include "platform/net/CookieStore.h"
#include "platform/net/NetError.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLConnectionError.h"
#include "platform/net/URLDataFetch.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"
#include "tests/support/scripted_http_server.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

constexpr double kBound = 10.0;

std::string compress(const std::string& text, int windowBits) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

URLRequest requestFor(const std::string& url) {
    auto request = URLRequest::requestWithURL(url);
    EXPECT_TRUE(request) << url;
    return request.value_or(URLRequest(*URL::strictParse("http://127.0.0.1/")));
}

// Records every callback as a line and answers as configured.
class Recorder : public URLConnectionDelegate {
public:
    enum class RedirectPolicy { Follow, Refuse, SendElsewhere };
    enum class ChallengePolicy { Default, UseCredentialOnce, UseCredentialAlways, Cancel };

    RedirectPolicy redirects = RedirectPolicy::Follow;
    ChallengePolicy challenges = ChallengePolicy::Default;
    std::string elsewhere;
    std::vector<std::string> events;
    std::vector<int> failureCounts;
    std::string body;
    std::optional<URLResponse> response;
    std::optional<Error> error;
    bool done = false;
    bool cancelOnResponse = false;

    std::optional<URLRequest> willSendRequest(URLConnection&, const URLRequest& request,
                                              const URLResponse* redirect) override {
        if (!redirect) {
            events.push_back("send " + request.HTTPMethod + " " + request.url.escapedPath());
            return request;
        }
        events.push_back("redirect " + std::to_string(redirect->statusCode) + " " + request.HTTPMethod + " " +
                         request.url.escapedPath());
        if (redirects == RedirectPolicy::Refuse) {
            return std::nullopt;
        }
        if (redirects == RedirectPolicy::SendElsewhere) {
            URLRequest changed = request;
            changed.url = *URL::strictParse(elsewhere);
            return changed;
        }
        return request;
    }
    void didReceiveAuthenticationChallenge(URLConnection& connection,
                                           const URLAuthenticationChallenge& challenge) override {
        events.push_back("challenge " + challenge.protectionSpace().realm.value_or("-"));
        failureCounts.push_back(challenge.previousFailureCount());
        switch (challenges) {
        case ChallengePolicy::Default:
            URLConnectionDelegate::didReceiveAuthenticationChallenge(connection, challenge);
            break;
        case ChallengePolicy::UseCredentialOnce:
            if (challenge.previousFailureCount() == 0) {
                connection.useCredential(
                    URLCredential::credentialWithUser("mia", "s3cret:x", URLCredentialPersistence::None),
                    challenge);
            } else {
                connection.cancelAuthenticationChallenge(challenge);
            }
            break;
        case ChallengePolicy::UseCredentialAlways:
            connection.useCredential(
                URLCredential::credentialWithUser("mia", "s3cret:x", URLCredentialPersistence::None),
                challenge);
            break;
        case ChallengePolicy::Cancel:
            connection.cancelAuthenticationChallenge(challenge);
            break;
        }
    }
    void didReceiveResponse(URLConnection& connection, const URLResponse& reply) override {
        events.push_back("response " + std::to_string(reply.statusCode));
        response = reply;
        body.clear();
        if (cancelOnResponse) {
            connection.cancel();
        }
    }
    void didReceiveData(URLConnection&, const Data& data) override {
        if (events.empty() || events.back() != "data") {
            events.push_back("data");
        }
        body.append(data.begin(), data.end());
    }
    void connectionDidFinishLoading(URLConnection&) override {
        events.push_back("finish");
        done = true;
    }
    void didFailWithError(URLConnection&, const Error& failure) override {
        events.push_back("fail " + std::to_string(failure.code()));
        error = failure;
        done = true;
    }
};

bool runUntilDone(const std::shared_ptr<Recorder>& recorder, double bound = kBound) {
    return RunLoop::current().runModeUntil(
        RunLoop::kDefaultMode, [&] { return recorder->done; }, RunLoop::dateAfter(bound));
}

bool drainLoop() {
    bool reached = false;
    RunLoop::current().post([&] { reached = true; });
    return RunLoop::current().runModeUntil(
        RunLoop::kDefaultMode, [&] { return reached; }, RunLoop::dateAfter(kBound));
}

} // namespace

TEST(URLConnection, CallsTheDelegateInOrderOnTheStartingLoop) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest&) {
        return ScriptedReply::text(200, "hello there", "text/html; charset=\"UTF-8\"");
    }));
    auto recorder = std::make_shared<Recorder>();
    auto connection = URLConnection::connectionWithRequest(requestFor(server.url("/a?b=1")), recorder);
    EXPECT_TRUE(recorder->events.empty()) << "nothing runs inside start";
    ASSERT_TRUE(runUntilDone(recorder));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"send GET /a", "response 200", "data", "finish"}));
    EXPECT_EQ(recorder->body, "hello there");
    ASSERT_TRUE(recorder->response);
    EXPECT_EQ(recorder->response->MIMEType, "text/html");
    EXPECT_EQ(recorder->response->textEncodingName, "UTF-8");
    EXPECT_EQ(recorder->response->expectedContentLength, 11);
    auto sent = server.requests().at(0);
    EXPECT_EQ(sent.target, "/a?b=1");
    EXPECT_EQ(sent.header("Accept-Encoding"), "gzip, deflate");
    EXPECT_EQ(sent.header("User-Agent"), std::string(URLConnection::defaultUserAgent()));
    EXPECT_EQ(sent.header("Accept"), "*/*");
}

TEST(URLConnection, RedirectsAreFollowedChangedOrRefused) {
    struct Case {
        const char* name;
        int status;
        Recorder::RedirectPolicy policy;
        std::vector<std::string> events;
        std::string secondMethod; // "" when no second request goes out
        bool secondHasBody;
        std::string body;
    };
    const Case cases[] = {
        {"301 POST becomes GET",
         301,
         Recorder::RedirectPolicy::Follow,
         {"send POST /start", "redirect 301 GET /end", "response 200", "data", "finish"},
         "GET",
         false,
         "GET /end"},
        {"302 POST becomes GET",
         302,
         Recorder::RedirectPolicy::Follow,
         {"send POST /start", "redirect 302 GET /end", "response 200", "data", "finish"},
         "GET",
         false,
         "GET /end"},
        {"303 becomes GET",
         303,
         Recorder::RedirectPolicy::Follow,
         {"send POST /start", "redirect 303 GET /end", "response 200", "data", "finish"},
         "GET",
         false,
         "GET /end"},
        {"307 keeps POST and body",
         307,
         Recorder::RedirectPolicy::Follow,
         {"send POST /start", "redirect 307 POST /end", "response 200", "data", "finish"},
         "POST",
         true,
         "POST /end"},
        {"changed by the delegate",
         302,
         Recorder::RedirectPolicy::SendElsewhere,
         {"send POST /start", "redirect 302 GET /end", "response 200", "data", "finish"},
         "GET",
         false,
         "GET /other"},
        {"refused: the redirect reply is the answer",
         302,
         Recorder::RedirectPolicy::Refuse,
         {"send POST /start", "redirect 302 GET /end", "response 302", "data", "finish"},
         "",
         false,
         "moved"},
    };
    for (const Case& c : cases) {
        int status = c.status;
        ScriptedHttpServer server(ScriptedHttpServer::replyingWith([status](const ReceivedRequest& request) {
            if (request.target == "/start") {
                ScriptedReply reply = ScriptedReply::redirect(status, "/end");
                reply.body = "moved";
                return reply;
            }
            return ScriptedReply::text(200, request.method + " " + request.target);
        }));
        auto recorder = std::make_shared<Recorder>();
        recorder->redirects = c.policy;
        recorder->elsewhere = server.url("/other");
        URLRequest request = requestFor(server.url("/start"));
        request.HTTPMethod = "POST";
        request.setValue(std::string("application/x-www-form-urlencoded"), "Content-Type");
        request.HTTPBody = Data{'a', '=', '1'};
        auto connection = URLConnection::connectionWithRequest(request, recorder);
        ASSERT_TRUE(runUntilDone(recorder)) << c.name;
        EXPECT_EQ(recorder->events, c.events) << c.name;
        EXPECT_EQ(recorder->body, c.body) << c.name;
        auto requests = server.requests();
        ASSERT_EQ(requests.size(), c.secondMethod.empty() ? 1u : 2u) << c.name;
        EXPECT_EQ(requests[0].body, "a=1") << c.name;
        if (!c.secondMethod.empty()) {
            EXPECT_EQ(requests[1].method, c.secondMethod) << c.name;
            EXPECT_EQ(requests[1].body, c.secondHasBody ? "a=1" : "") << c.name;
            EXPECT_EQ(requests[1].header("Content-Type").has_value(), c.secondHasBody) << c.name;
        }
    }
}

TEST(URLConnection, EndlessRedirectsFailAfterTheLimit) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith(
        [](const ReceivedRequest& request) { return ScriptedReply::redirect(302, request.target + "x"); }));
    auto recorder = std::make_shared<Recorder>();
    auto connection = URLConnection::connectionWithRequest(requestFor(server.url("/r")), recorder);
    ASSERT_TRUE(runUntilDone(recorder));
    ASSERT_TRUE(recorder->error);
    EXPECT_EQ(recorder->error->code(), static_cast<long>(URLErrorCode::HTTPTooManyRedirects));
    EXPECT_EQ(server.requests().size(), static_cast<size_t>(URLConnection::kMaxRedirects + 1));
}

TEST(URLConnection, AuthenticationChallengesAreAnsweredCancelledOrPassedOn) {
    const std::string expected = "Basic " + base64Encode(std::string_view("mia:s3cret:x"));
    struct Case {
        const char* name;
        Recorder::ChallengePolicy policy;
        bool serverAccepts; // the right Authorization gets a 200
        std::vector<std::string> events;
        std::vector<int> failureCounts;
        std::optional<long> errorCode;
    };
    const Case cases[] = {
        {"credential accepted",
         Recorder::ChallengePolicy::UseCredentialOnce,
         true,
         {"send GET /private", "challenge tweets", "response 200", "data", "finish"},
         {0},
         std::nullopt},
        {"wrong account: the repeated challenge is cancelled",
         Recorder::ChallengePolicy::UseCredentialOnce,
         false,
         {"send GET /private", "challenge tweets", "challenge tweets", "fail -1012"},
         {0, 1},
         static_cast<long>(URLErrorCode::UserCancelledAuthentication)},
        {"cancelled at once",
         Recorder::ChallengePolicy::Cancel,
         true,
         {"send GET /private", "challenge tweets", "fail -1012"},
         {0},
         static_cast<long>(URLErrorCode::UserCancelledAuthentication)},
        {"not answered: the 401 reply is delivered",
         Recorder::ChallengePolicy::Default,
         true,
         {"send GET /private", "challenge tweets", "response 401", "data", "finish"},
         {0},
         std::nullopt},
    };
    for (const Case& c : cases) {
        bool accepts = c.serverAccepts;
        ScriptedHttpServer server(
            ScriptedHttpServer::replyingWith([&, accepts](const ReceivedRequest& request) {
                if (accepts && request.header("Authorization") == expected) {
                    return ScriptedReply::text(200, "welcome");
                }
                return ScriptedReply::text(401, "who are you")
                    .header("WWW-Authenticate", "Basic realm=\"tweets\", charset=\"UTF-8\"");
            }));
        auto recorder = std::make_shared<Recorder>();
        recorder->challenges = c.policy;
        auto connection = URLConnection::connectionWithRequest(requestFor(server.url("/private")), recorder);
        ASSERT_TRUE(runUntilDone(recorder)) << c.name;
        EXPECT_EQ(recorder->events, c.events) << c.name;
        EXPECT_EQ(recorder->failureCounts, c.failureCounts) << c.name;
        EXPECT_EQ(recorder->error ? std::optional<long>(recorder->error->code()) : std::nullopt, c.errorCode)
            << c.name;
        if (c.errorCode) {
            EXPECT_EQ(recorder->error->localizedDescription(), "The user cancelled authentication.");
        }
        auto requests = server.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_FALSE(requests[0].header("Authorization")) << "no credential before a challenge";
        if (requests.size() > 1) {
            EXPECT_EQ(requests[1].header("Authorization"), expected) << c.name;
        }
    }
}

TEST(URLConnection, EncodedBodiesAreDecodedAndDamageFails) {
    std::string text;
    for (int i = 0; i < 5000; ++i) {
        text += "secret number " + std::to_string(i) + "\n";
    }
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<std::string> encoding;
        std::optional<std::string> body; // nothing: the load fails
    };
    std::string gzip = compress(text, 16 + MAX_WBITS);
    std::string damaged = gzip;
    damaged[damaged.size() / 2] ^= 0x55;
    damaged[damaged.size() / 2 + 1] ^= 0x55;
    const Case cases[] = {
        {"gzip", gzip, "gzip", text},
        {"x-gzip", gzip, "x-gzip", text},
        {"deflate with zlib wrapper", compress(text, MAX_WBITS), "deflate", text},
        {"raw deflate", compress(text, -MAX_WBITS), "Deflate", text},
        {"gzip bytes without an encoding stay raw", gzip, std::nullopt, gzip},
        {"unknown coding passes through", "plain", "br", "plain"},
        {"damaged gzip", damaged, "gzip", std::nullopt},
        {"gzip cut short", gzip.substr(0, gzip.size() / 2), "gzip", std::nullopt},
    };
    for (const Case& c : cases) {
        ScriptedHttpServer server(ScriptedHttpServer::replyingWith([&](const ReceivedRequest&) {
            ScriptedReply reply = ScriptedReply::text(200, c.bytes);
            if (c.encoding) {
                reply.header("Content-Encoding", *c.encoding);
            }
            return reply;
        }));
        auto recorder = std::make_shared<Recorder>();
        auto connection = URLConnection::connectionWithRequest(requestFor(server.url("/z")), recorder);
        ASSERT_TRUE(runUntilDone(recorder)) << c.name;
        if (c.body) {
            EXPECT_FALSE(recorder->error) << c.name;
            EXPECT_EQ(recorder->body, *c.body) << c.name;
            bool decoded = c.encoding && *c.encoding != "br";
            EXPECT_EQ(recorder->response->expectedContentLength,
                      decoded ? URLResponse::kUnknownLength : static_cast<std::int64_t>(c.bytes.size()))
                << c.name;
        } else {
            ASSERT_TRUE(recorder->error) << c.name;
            EXPECT_EQ(recorder->error->code(), static_cast<long>(URLErrorCode::CannotDecodeRawData))
                << c.name;
        }
    }
}

TEST(URLConnection, CookiesAreStoredAndSentBack) {
    CookieStore::shared().deleteAllCookies();
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        if (request.target == "/login") {
            return ScriptedReply::redirect(302, "/home").header("Set-Cookie", "session=abc123; Path=/");
        }
        return ScriptedReply::text(200, request.header("Cookie").value_or("none"));
    }));
    auto recorder = std::make_shared<Recorder>();
    auto connection = URLConnection::connectionWithRequest(requestFor(server.url("/login")), recorder);
    ASSERT_TRUE(runUntilDone(recorder));
    EXPECT_EQ(recorder->body, "session=abc123")
        << "the cookie of the redirect reply goes with the next request";
    EXPECT_EQ(CookieStore::shared().cookieHeaderForURL(*URL::strictParse(server.url("/"))), "session=abc123");

    auto without = std::make_shared<Recorder>();
    URLRequest request = requestFor(server.url("/home"));
    request.HTTPShouldHandleCookies = false;
    auto second = URLConnection::connectionWithRequest(request, without);
    ASSERT_TRUE(runUntilDone(without));
    EXPECT_EQ(without->body, "none");
    CookieStore::shared().deleteAllCookies();
}

TEST(URLConnection, FailuresCarryTheirCodesAndDescriptions) {
    ScriptedHttpServer resetting(ScriptedHttpServer::replyingWith([](const ReceivedRequest&) {
        return ScriptedReply::rawBytes(ScriptedReply::Action::ResetAfterRaw,
                                       "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
    }));
    struct Case {
        const char* name;
        std::string url;
        double timeout;
        URLErrorCode code;
        const char* description;
    };
    const Case cases[] = {
        {"refused", "http://127.0.0.1:" + std::to_string(ScriptedHttpServer::unusedPort()) + "/", 5,
         URLErrorCode::CannotConnectToHost, "Could not connect to the server."},
        {"unknown host", "http://nowhere.murmelo.invalid/", 5, URLErrorCode::CannotFindHost,
         "A server with the specified hostname could not be found."},
        {"reset mid-body", resetting.url("/r"), 5, URLErrorCode::NetworkConnectionLost,
         "The network connection was lost."},
        {"unsupported scheme", "ftp://127.0.0.1/file", 5, URLErrorCode::UnsupportedURL, "unsupported URL"},
        {"no host", "http:/nohost", 5, URLErrorCode::BadURL, "bad URL"},
    };
    for (const Case& c : cases) {
        auto recorder = std::make_shared<Recorder>();
        URLRequest request = requestFor(c.url);
        request.timeoutInterval = c.timeout;
        auto connection = URLConnection::connectionWithRequest(request, recorder);
        ASSERT_TRUE(runUntilDone(recorder)) << c.name;
        ASSERT_TRUE(recorder->error) << c.name;
        EXPECT_EQ(recorder->error->domain(), kURLErrorDomain) << c.name;
        EXPECT_EQ(recorder->error->code(), static_cast<long>(c.code)) << c.name;
        EXPECT_EQ(recorder->error->localizedDescription(), c.description) << c.name;
        EXPECT_EQ(recorder->error->userInfo().find(kURLErrorFailingURLStringKey)->stringValue(), c.url)
            << c.name;
        EXPECT_EQ(recorder->events.back(), "fail " + std::to_string(static_cast<long>(c.code))) << c.name;
    }
}

// The request's time-out is counted on the timers' clock: a silent server
// fails the request exactly when its interval has passed, not before.
TEST(URLConnection, ASilentServerTimesOutWhenTheIntervalHasPassed) {
    ManualClock clock;
    std::atomic<bool> requestRead{false};
    ScriptedHttpServer silent([&](ScriptedConnection& connection, ScriptedHttpServer&) {
        (void)connection.readRequest(kBound);
        requestRead = true;
        (void)connection.waitForPeerClose(kBound);
    });
    auto recorder = std::make_shared<Recorder>();
    URLRequest request = requestFor(silent.url("/wait"));
    request.timeoutInterval = 0.5;
    auto connection = URLConnection::connectionWithRequest(request, recorder);
    // Every transport event restarts the interval; once the server has the
    // request nothing more happens on the wire.
    ASSERT_TRUE(RunLoop::current().runModeUntil(
        RunLoop::kDefaultMode, [&] { return requestRead.load(); }, RunLoop::dateAfter(kBound)));
    ASSERT_TRUE(drainLoop());

    clock.advance(0.49);
    (void)RunLoop::current().runUntil(Clock::monotonic());
    EXPECT_FALSE(recorder->done) << "failed before its time-out";

    clock.advance(0.02);
    ASSERT_TRUE(runUntilDone(recorder));
    ASSERT_TRUE(recorder->error);
    EXPECT_EQ(recorder->error->domain(), kURLErrorDomain);
    EXPECT_EQ(recorder->error->code(), static_cast<long>(URLErrorCode::TimedOut));
    EXPECT_EQ(recorder->error->localizedDescription(), "The request timed out.");
    EXPECT_EQ(recorder->events.back(), "fail " + std::to_string(static_cast<long>(URLErrorCode::TimedOut)));
}

TEST(URLConnection, CancelStopsEveryCallback) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith(
        [](const ReceivedRequest&) { return ScriptedReply::text(200, std::string(200000, 'x')); }));
    // Cancelled before the loop ever ran: not even the first request is announced.
    auto early = std::make_shared<Recorder>();
    auto first = URLConnection::connectionWithRequest(requestFor(server.url("/a")), early);
    first->cancel();
    ASSERT_TRUE(drainLoop());
    EXPECT_TRUE(early->events.empty());

    // Cancelled before it was started: start() does nothing.
    auto never = std::make_shared<Recorder>();
    auto unstarted =
        URLConnection::create(requestFor(server.url("/n")), never, URLConnection::StartImmediately::No);
    unstarted->cancel();
    unstarted->start();
    ASSERT_TRUE(drainLoop());
    EXPECT_TRUE(never->events.empty());

    // Cancelled from inside didReceiveResponse: no data, no end.
    auto late = std::make_shared<Recorder>();
    late->cancelOnResponse = true;
    auto second = URLConnection::connectionWithRequest(requestFor(server.url("/b")), late);
    ASSERT_TRUE(RunLoop::current().runModeUntil(
        RunLoop::kDefaultMode, [&] { return late->response.has_value(); }, RunLoop::dateAfter(kBound)));
    ASSERT_TRUE(drainLoop());
    EXPECT_EQ(late->events, (std::vector<std::string>{"send GET /b", "response 200"}));
    EXPECT_FALSE(late->done);
    for (const auto& request : server.requests()) {
        EXPECT_NE(request.target, "/a");
        EXPECT_NE(request.target, "/n");
    }
}

TEST(URLConnection, OfflineDeviceFailsAtOnceExceptForLoopback) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith(
        [](const ReceivedRequest&) { return ScriptedReply::text(200, "local"); }));
    auto previous = ReachabilityDeviceSource::shared().networkStateIfKnown();
    ReachabilityDeviceSource::shared().setNetworkState(NetworkState::None);
    auto remote = std::make_shared<Recorder>();
    auto a =
        URLConnection::connectionWithRequest(requestFor("http://content.murmelo.test/index.php"), remote);
    ASSERT_TRUE(runUntilDone(remote));
    ASSERT_TRUE(remote->error);
    EXPECT_EQ(remote->error->code(), static_cast<long>(URLErrorCode::NotConnectedToInternet));
    EXPECT_EQ(remote->error->localizedDescription(), "The Internet connection appears to be offline.");
    auto local = std::make_shared<Recorder>();
    auto b = URLConnection::connectionWithRequest(requestFor(server.url("/")), local);
    ASSERT_TRUE(runUntilDone(local));
    EXPECT_EQ(local->body, "local");
    ReachabilityDeviceSource::shared().setNetworkState(previous.value_or(NetworkState::Wifi));
}

TEST(URLConnectionSynchronous, SendsFromTheMainThreadAndFromAWorker) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& request) {
        if (request.target == "/missing") {
            return ScriptedReply::text(404, "no such page");
        }
        return ScriptedReply::text(200, compress("synchronous " + request.target, 16 + MAX_WBITS))
            .header("Content-Encoding", "gzip");
    }));
    // Main thread: a default-mode timer must not run while the send blocks.
    bool timerRan = false;
    RunLoop::current().scheduleAfter(0, [&] { timerRan = true; });
    std::optional<URLResponse> response;
    auto body = URLConnection::sendSynchronousRequest(requestFor(server.url("/main")), &response);
    ASSERT_TRUE(body) << body.error().localizedDescription();
    EXPECT_EQ(std::string(body->begin(), body->end()), "synchronous /main");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode, 200);
    EXPECT_FALSE(timerRan) << "the send runs its own mode only";

    // A 404 is a reply, not an error; the status is the caller's to judge.
    auto missing = URLConnection::sendSynchronousRequest(requestFor(server.url("/missing")), &response);
    ASSERT_TRUE(missing);
    EXPECT_EQ(std::string(missing->begin(), missing->end()), "no such page");
    EXPECT_EQ(response->statusCode, 404);

    auto refused = URLConnection::sendSynchronousRequest(
        requestFor("http://127.0.0.1:" + std::to_string(ScriptedHttpServer::unusedPort()) + "/"), &response);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code(), static_cast<long>(URLErrorCode::CannotConnectToHost));

    Thread worker("url.worker");
    ASSERT_TRUE(worker.start());
    std::atomic<bool> finished{false};
    std::string workerBody;
    ASSERT_TRUE(worker.post([&] {
        auto result = URLConnection::sendSynchronousRequest(requestFor(server.url("/worker")), nullptr);
        workerBody =
            result ? std::string(result->begin(), result->end()) : result.error().localizedDescription();
        finished = true;
        RunLoop::main().post([] {});
    }));
    ASSERT_TRUE(RunLoop::current().runModeUntil(
        RunLoop::kDefaultMode, [&] { return finished.load(); }, RunLoop::dateAfter(kBound)));
    EXPECT_EQ(workerBody, "synchronous /worker");
    ASSERT_TRUE(worker.stopAndJoin(kBound));
}

// A server that keeps sending a byte now and then never trips the
// inactivity time-out; the overall deadline ends the load all the same.
TEST(URLConnectionSynchronous, ADrippingReplyEndsAtTheOverallDeadline) {
    struct Case {
        const char* name;
        double timeoutInterval;
        std::optional<double> deadline;
        double expected;
    };
    const Case cases[] = {
        {"factor times the time-out", 0.5, std::nullopt, 0.5 * URLConnection::kSynchronousDeadlineFactor},
        {"explicit deadline", 30.0, 0.6, 0.6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer drip(ScriptedHttpServer::drippingBody(0.02, 4.0));
        URLRequest request = requestFor(drip.url("/drip"));
        request.timeoutInterval = c.timeoutInterval;
        URLConnection::SynchronousLimits limits;
        limits.deadline = c.deadline;
        std::optional<URLResponse> response;
        const double started = Clock::monotonic();
        auto body = URLConnection::sendSynchronousRequest(request, &response, limits);
        const double took = Clock::monotonic() - started;
        ASSERT_FALSE(body) << "the drip was read to its end";
        EXPECT_EQ(body.error().domain(), kURLErrorDomain);
        EXPECT_EQ(body.error().code(), static_cast<long>(URLErrorCode::TimedOut));
        EXPECT_GE(took, c.expected - 0.05);
        EXPECT_LT(took, c.expected + 1.0);
        ASSERT_TRUE(response);
        EXPECT_EQ(response->statusCode, 200);
    }
}

// A body past the limit fails as soon as it is announced or received, and the
// transfer stops there instead of reading the rest.
TEST(URLConnectionSynchronous, ABodyPastTheLimitFailsAndStopsTheTransfer) {
    constexpr std::size_t kLimit = 64 * 1024;
    constexpr std::uint64_t kHuge = 16 * 1024 * 1024;
    using Framing = ScriptedHttpServer::Framing;
    const std::string bomb = compress(std::string(1024 * 1024, '\0'), 16 + MAX_WBITS);
    struct Case {
        const char* name;
        std::function<ScriptedHttpServer::Script(std::shared_ptr<std::atomic<std::uint64_t>>)> script;
        bool fails;
    };
    const Case cases[] = {
        {"announced length",
         [](auto sent) { return ScriptedHttpServer::streamingBody(kHuge, Framing::ContentLength, sent); },
         true},
        {"no length",
         [](auto sent) { return ScriptedHttpServer::streamingBody(kHuge, Framing::UntilClose, sent); }, true},
        {"small wire, large decoded body",
         [&](auto) {
             return ScriptedHttpServer::replyingWith([&](const ReceivedRequest&) {
                 return ScriptedReply::text(200, bomb).header("Content-Encoding", "gzip");
             });
         },
         true},
        {"exactly the limit",
         [](auto sent) { return ScriptedHttpServer::streamingBody(kLimit, Framing::UntilClose, sent); },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto sent = std::make_shared<std::atomic<std::uint64_t>>(0);
        Result<Data> body = Data();
        {
            ScriptedHttpServer server(c.script(sent));
            URLConnection::SynchronousLimits limits;
            limits.maxBodyBytes = kLimit;
            body = URLConnection::sendSynchronousRequest(requestFor(server.url("/big")), nullptr, limits);
        } // the server has ended: `sent` is final
        if (!c.fails) {
            ASSERT_TRUE(body) << body.error().localizedDescription();
            EXPECT_EQ(body->size(), kLimit);
            continue;
        }
        ASSERT_FALSE(body);
        EXPECT_EQ(body.error().domain(), kURLErrorDomain);
        EXPECT_EQ(body.error().code(), static_cast<long>(URLErrorCode::DataLengthExceedsMaximum));
        ASSERT_NE(body.error().underlyingError(), nullptr);
        EXPECT_EQ(body.error().underlyingError()->domain(), kNetErrorDomain);
        EXPECT_EQ(body.error().underlyingError()->code(), static_cast<long>(NetErrorCode::ReplyTooLarge));
        EXPECT_LT(sent->load(), kHuge / 2) << "the rest of the body was read";
    }
}

TEST(URLDataFetch, DeliversOneReplyAndStopsAtItsLimit) {
    struct Case {
        size_t bodySize;
        int status;
        bool delivered;
    };
    const std::vector<Case> cases = {
        {0, 204, true}, {4096, 200, true}, {4097, 200, false}, {1 << 20, 200, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bodySize);
        ScriptedHttpServer server(ScriptedHttpServer::replyingWith([&](const ReceivedRequest&) {
            return ScriptedReply::text(c.status, std::string(c.bodySize, 'x'));
        }));
        std::optional<URLDataFetch::Reply> got;
        int calls = 0;
        auto fetch = std::make_shared<URLDataFetch>(4096, [&](URLConnection&, URLDataFetch::Reply reply) {
            ++calls;
            got = std::move(reply);
        });
        auto connection = URLConnection::connectionWithRequest(requestFor(server.url("/r")), fetch);
        ASSERT_TRUE(RunLoop::current().runModeUntil(
            RunLoop::kDefaultMode, [&] { return got.has_value(); }, RunLoop::dateAfter(kBound)));
        ASSERT_TRUE(drainLoop());
        EXPECT_EQ(calls, 1);
        ASSERT_EQ(static_cast<bool>(*got), c.delivered);
        if (c.delivered) {
            EXPECT_EQ((*got)->first, c.status);
            EXPECT_EQ((*got)->second.size(), c.bodySize);
        } else {
            EXPECT_EQ(got->error().code(), static_cast<long>(URLErrorCode::DataLengthExceedsMaximum));
        }
    }
}
