// The Facebook client's own logic: signatures, call ids, the encodings of
// its requests, the XML answers and the pacing of a session's requests.
#include <gtest/gtest.h>

#include "app/facebook/FBConnectGlobal.h"
#include "app/facebook/FBRequest.h"
#include "app/facebook/FBSession.h"
#include "app/facebook/FBXMLHandler.h"
#include "platform/foundation/Crypto.h"
#include "platform/net/ConnectToMap.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Interaction.h"
#include "tests/app/facebook/facebook_test_support.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo {
namespace {

using test::Heard;
using test::RequestProbe;

TEST(FBRequestTest, SignatureSortsNamesInAnyCaseAndAppendsTheSecret) {
    EXPECT_EQ(FBRequest::generateSig({{"b", "2"}, {"A", "1"}, {"c", "3"}}, "S"), md5Hex("A=1b=2c=3S"));
    EXPECT_EQ(FBRequest::generateSig({{"b", "2"}, {"sig", "x"}, {"a", "1"}}, ""), md5Hex("a=1b=2"));
}

TEST(FBRequestTest, CallIdsRiseWithinOneSecond) {
    std::string first = FBRequest::nextCallId();
    std::string second = FBRequest::nextCallId();
    EXPECT_LT(std::stod(first), std::stod(second));
    EXPECT_EQ(second.find_first_not_of("0123456789"), std::string::npos);
}

TEST(FBConnectGlobalTest, ValuesCannotSpillIntoOtherParameters) {
    EXPECT_EQ(fbQueryString({{"next", "a&b=c #d"}, {"x", "é"}}), "next=a%26b%3Dc%20%23d&x=%C3%A9");
}

TEST(FBConnectGlobalTest, MultipartBodiesCloseTheirBoundary) {
    const std::string b(kStringBoundary);
    EXPECT_EQ(fbMultipartBody({{"a", "1"}, {"b", ""}}),
              "--" + b + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + b +
                  "\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n\r\n--" + b + "--\r\n");
    EXPECT_EQ(fbMultipartBody({}, FBFilePart{"data", "content/unknown", Data{'x'}}),
              "--" + b +
                  "\r\nContent-Disposition: form-data; filename=\"data\"\r\nContent-Type: "
                  "content/unknown\r\n\r\nx\r\n--" +
                  b + "--\r\n");
}

TEST(FBConnectGlobalTest, EveryValueSentHasTheTextThatIsSigned) {
    auto texts = fbParameterTexts(Dictionary{{"n", Value(42)}, {"f", Value(true)}, {"s", Value("x")}});
    ASSERT_TRUE(texts);
    EXPECT_EQ(*texts, FBParams({{"n", "42"}, {"f", "1"}, {"s", "x"}}));
    EXPECT_FALSE(fbParameterTexts(Dictionary{{"list", Value(Array{Value("a")})}}));
}

TEST(FBXMLHandlerTest, AnswersReadAsValues) {
    struct Case {
        const char* xml;
        Value expected;
    };
    const std::vector<Case> cases = {
        {"<r>text</r>", Value("text")},
        {"<r>  \n </r>", Value()},
        {"<r><a>1</a><b/></r>", Value(Dictionary{{"a", Value("1")}, {"b", Value()}})},
        {R"(<r list="true"><item><x>a</x></item></r>)", Value(Array{Value(Dictionary{{"x", Value("a")}})})},
        {R"(<r list="true"><x>a</x><x>b</x></r>)",
         Value(Array{Value(Dictionary{{"x", Value("a")}}), Value(Dictionary{{"x", Value("b")}})})},
        {"<r>\n  <a> padded </a>\n</r>", Value(Dictionary{{"a", Value(" padded ")}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        auto parsed = FBXMLHandler::parseXMLResponse(c.xml);
        ASSERT_TRUE(parsed) << parsed.error().localizedDescription();
        EXPECT_EQ(*parsed, c.expected);
    }
}

TEST(FBXMLHandlerTest, ErrorAnswersAndBrokenXmlAreErrors) {
    auto api = FBXMLHandler::parseXMLResponse(
        R"(<error_response><error_code>102</error_code><error_msg>Session key invalid</error_msg>)"
        R"(<request_args list="true"><arg><key>method</key><value>m</value></arg></request_args></error_response>)");
    ASSERT_FALSE(api);
    EXPECT_EQ(api.error().code(), 102);
    EXPECT_EQ(api.error().localizedDescription(), "Session key invalid");
    EXPECT_EQ(api.error().domain(), "api.facebook.example");
    const Value* args = api.error().userInfo().find("request_args");
    ASSERT_TRUE(args && args->isArray());
    EXPECT_EQ(args->asArray()->front(), Value(Dictionary{{"key", Value("method")}, {"value", Value("m")}}));

    auto broken = FBXMLHandler::parseXMLResponse("<r><a></r>");
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().domain(), XMLEventParser::kErrorDomain);
}

class FBSessionTest : public test::UITest {};

TEST_F(FBSessionTest, AFourthRequestInABurstWaitsForTheFlushTimerInOrder) {
    // Nothing answers on this port: the requests fail, which pacing ignores.
    ConnectToMap::shared().clear();
    ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:9"));
    ManualClock clock;
    auto session = FBSession::sessionForApplication("key", "secret", nullptr);
    auto heard = std::make_shared<Heard>();
    std::vector<std::shared_ptr<RequestProbe>> probes;
    auto send = [&](const std::string& name) {
        auto probe = std::make_shared<RequestProbe>(name + " ");
        probe->heard = heard;
        probes.push_back(probe);
        FBRequest::requestWithSession(session, probe)->call("facebook.users.getInfo", {});
    };
    auto loadingOrder = [&] {
        Heard out;
        for (const auto& line : *heard) {
            if (line.ends_with(" loading")) {
                out.push_back(line.substr(0, line.find(' ')));
            }
        }
        return out;
    };
    for (const char* name : {"1", "2", "3", "4", "5", "6", "7", "8"}) {
        send(name);
    }
    EXPECT_EQ(loadingOrder(), Heard({"1", "2", "3"}));
    EXPECT_EQ(session->queuedRequestCount(), 5u);

    clock.advance(1.9);
    RunLoop::current().runUntil(RunLoop::dateAfter(0.05));
    EXPECT_EQ(loadingOrder(), Heard({"1", "2", "3"})) << "still within the burst";

    // The flush starts a new burst of three; the refused fourth re-arms the timer.
    clock.advance(0.1);
    ASSERT_TRUE(Interaction::runUntil([&] { return loadingOrder().size() == 6; }, 5.0));
    RunLoop::current().runUntil(RunLoop::dateAfter(0.05));
    EXPECT_EQ(loadingOrder(), Heard({"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(session->queuedRequestCount(), 2u);
    EXPECT_TRUE(session->flushTimerPending());

    clock.advance(2.0);
    ASSERT_TRUE(Interaction::runUntil([&] { return loadingOrder().size() == 8; }, 5.0));
    EXPECT_EQ(loadingOrder(), Heard({"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(session->queuedRequestCount(), 0u);
    ConnectToMap::shared().clear();
}

TEST_F(FBSessionTest, SavedLoginsResumeOnlyWhileUnexpired) {
    struct Case {
        const char* name;
        std::optional<double> expiresIn;
        bool resumes;
    };
    const std::vector<Case> cases = {
        {"no expiry date", std::nullopt, true},
        {"expires later", 3600, true},
        {"expired", -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto writer = FBSession::sessionForApplication("key", "secret", nullptr);
        std::optional<Date> expires;
        if (c.expiresIn) {
            expires = Date::from1970(Date::now().since1970() + *c.expiresIn);
        }
        writer->begin(4200000000LL, "session-key", "session-secret", expires);
        auto defaults = UserDefaults::standardUserDefaults();
        EXPECT_EQ(defaults->objectForKey("FBUserId"), Value(4200000000LL));
        EXPECT_EQ(defaults->objectForKey("FBSessionExpires").has_value(), expires.has_value());

        auto probe = std::make_shared<test::SessionProbe>();
        auto reader = FBSession::sessionForApplication("key", "secret", probe);
        EXPECT_EQ(reader->resume(), c.resumes);
        EXPECT_EQ(reader->isConnected(), c.resumes);
        EXPECT_EQ(probe->heard, c.resumes ? Heard({"didLogin 4200000000"}) : Heard());
        writer->logout();
    }
}

TEST_F(FBSessionTest, AValueWithNoTextFailsTheCallBeforeAnythingIsSent) {
    auto session = FBSession::sessionForApplication("key", "secret", nullptr);
    auto probe = std::make_shared<RequestProbe>();
    auto request = FBRequest::requestWithSession(session, probe);
    request->call("facebook.stream.publish", Dictionary{{"tags", Value(Array{Value("a")})}});
    ASSERT_TRUE(Interaction::runUntil([&] { return !probe->heard->empty(); }, 5.0));
    EXPECT_EQ(*probe->heard, Heard({"didFail"}));
    EXPECT_FALSE(request->loading());
    EXPECT_EQ(session->requestBurstCount(), 0) << "nothing started";
}

TEST_F(FBSessionTest, TheFirstLiveSessionIsShared) {
    auto first = FBSession::sessionForApplication("key", "secret", nullptr);
    auto second = FBSession::sessionForApplication("key", "secret", nullptr);
    EXPECT_EQ(FBSession::session(), first);
    first.reset();
    EXPECT_EQ(FBSession::session(), nullptr);
    auto third = FBSession::sessionForApplication("key", "secret", nullptr);
    EXPECT_EQ(FBSession::session(), third);
}

} // namespace
} // namespace murmelo
