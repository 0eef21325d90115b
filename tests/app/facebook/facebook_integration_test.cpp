// The Facebook client against the reference stand-in on loopback: the
// constant hosts reach it through the connect-to map, so the client sends
// exactly what it would in the field.
#include <gtest/gtest.h>

#include "app/facebook/FBLoginDialog.h"
#include "app/facebook/FBStreamDialog.h"
#include "app/product/Constants.h"
#include "platform/net/ConnectToMap.h"
#include "platform/net/CookieStore.h"
#include "servers/ReferenceServers.h"
#include "tests/app/facebook/facebook_test_support.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo {
namespace {

using test::DialogProbe;
using test::Heard;
using test::RequestProbe;
using test::SessionProbe;

constexpr double kBound = 10.0;
const std::int64_t kDemoUid = 100000482913715;

class FacebookIntegrationTest : public test::UITest {
protected:
    void SetUp() override {
        test::UITest::SetUp();
        servers::ReferenceServers::Options options;
        options.dataDirectory = dir().path() + "/servers";
        options.seed = true;
        options.logRequests = false;
        auto started = servers::ReferenceServers::start(options);
        ASSERT_TRUE(started) << started.error().localizedDescription();
        m_servers = std::move(*started);
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:" + std::to_string(m_servers->port())));
        CookieStore::shared().resetForTesting();
        m_window = makeWindow();
        m_sessionProbe = std::make_shared<SessionProbe>();
        m_session = FBSession::sessionForApplication(std::string(kFacebookApiKey),
                                                     std::string(kFacebookApiSecret), m_sessionProbe);
    }
    void TearDown() override {
        Application::sharedApplication().setOpenURLHandler(nullptr);
        m_session.reset();
        m_window.reset();
        test::UITest::TearDown();
        ConnectToMap::shared().clear();
        CookieStore::shared().resetForTesting();
        m_servers.reset();
    }

    static bool waitForPage(FBDialog& dialog) {
        return Interaction::runUntil(
            [&] { return !dialog.webView()->isLoading() && !dialog.webView()->page().title.empty(); },
            kBound);
    }

    // Shows the login dialog and logs in with the demo account.
    std::shared_ptr<FBLoginDialog> logIn(const std::shared_ptr<DialogProbe>& probe) {
        auto dialog = std::make_shared<FBLoginDialog>(m_session);
        dialog->setDelegate(probe);
        dialog->show();
        EXPECT_TRUE(waitForPage(*dialog));
        EXPECT_TRUE(dialog->webView()->setFormField(0, "email", "demo@murmelo.example"));
        EXPECT_TRUE(dialog->webView()->setFormField(0, "pass", "secret123"));
        EXPECT_TRUE(dialog->webView()->submitForm(0));
        EXPECT_TRUE(Interaction::runUntil([&] { return !probe->heard.empty(); }, kBound));
        EXPECT_TRUE(Interaction::settle());
        return dialog;
    }

    std::vector<servers::RecordedEvent> requests(const std::string& path) const {
        std::vector<servers::RecordedEvent> out;
        for (auto& event : m_servers->events().events()) {
            if (event.path == path) {
                out.push_back(event);
            }
        }
        return out;
    }

    std::unique_ptr<servers::ReferenceServers> m_servers;
    std::shared_ptr<Window> m_window;
    std::shared_ptr<SessionProbe> m_sessionProbe;
    std::shared_ptr<FBSession> m_session;
};

TEST_F(FacebookIntegrationTest, LoginExchangesTheTokenSavesTheKeysAndALaterLaunchResumes) {
    auto probe = std::make_shared<DialogProbe>();
    auto dialog = logIn(probe);

    EXPECT_EQ(probe->heard, Heard({"succeeded"}));
    EXPECT_EQ(m_sessionProbe->heard, Heard({"didLogin " + std::to_string(kDemoUid)}));
    EXPECT_TRUE(m_session->isConnected());
    EXPECT_EQ(dialog->superview(), nullptr) << "the panel leaves the window";
    auto defaults = UserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults->integerForKey("FBUserId"), kDemoUid);
    EXPECT_EQ(defaults->stringForKey("FBSessionKey"), m_session->sessionKey());
    EXPECT_EQ(defaults->stringForKey("FBSessionSecret"), m_session->sessionSecret());
    EXPECT_FALSE(defaults->objectForKey("FBSessionExpires")) << "the stand-in's sessions do not expire";

    auto exchange = requests("/restserver.php");
    ASSERT_EQ(exchange.size(), 1u);
    EXPECT_EQ(exchange[0].part("method"), "facebook.auth.getSession");
    EXPECT_EQ(exchange[0].header("User-Agent"), "FacebookConnect");

    // A later launch: the saved login comes back without a dialog.
    m_session.reset();
    auto laterProbe = std::make_shared<SessionProbe>();
    auto later = FBSession::sessionForApplication(std::string(kFacebookApiKey),
                                                  std::string(kFacebookApiSecret), laterProbe);
    EXPECT_TRUE(later->resume());
    EXPECT_EQ(laterProbe->heard, Heard({"didLogin " + std::to_string(kDemoUid)}));
    EXPECT_EQ(later->sessionKey(), defaults->stringForKey("FBSessionKey"));

    // The resumed key is good for a signed call; the stand-in checks the signature.
    auto requestProbe = std::make_shared<RequestProbe>();
    FBRequest::requestWithSession(later, requestProbe)->call("facebook.users.getLoggedInUser", {});
    ASSERT_TRUE(Interaction::runUntil([&] { return requestProbe->heard->size() == 2; }, kBound));
    EXPECT_EQ(*requestProbe->heard, Heard({"loading", "didLoad"}));
    EXPECT_EQ(requestProbe->result.stringValue(), std::to_string(kDemoUid));
}

TEST_F(FacebookIntegrationTest, LogoutClearsTheLoginCookiesAndTheSavedKeys) {
    auto probe = std::make_shared<DialogProbe>();
    logIn(probe);
    ASSERT_TRUE(m_session->isConnected());
    auto loginURL = *URL::strictParse(kLoginURL());
    ASSERT_FALSE(CookieStore::shared().cookiesForURL(loginURL).empty()) << "the test cookie at least";

    m_sessionProbe->heard.clear();
    m_session->logout();
    EXPECT_EQ(m_sessionProbe->heard, Heard({"willLogout " + std::to_string(kDemoUid), "didLogout"}));
    EXPECT_FALSE(m_session->isConnected());
    EXPECT_TRUE(CookieStore::shared().cookiesForURL(loginURL).empty());
    auto defaults = UserDefaults::standardUserDefaults();
    for (const char* key : {"FBUserId", "FBSessionKey", "FBSessionSecret", "FBSessionExpires"}) {
        EXPECT_FALSE(defaults->objectForKey(key)) << key;
    }
    EXPECT_FALSE(m_session->resume());
}

TEST_F(FacebookIntegrationTest, EndingsReachTheRightDelegateCalls) {
    struct Case {
        const char* name;
        std::function<void(FBLoginDialog&)> act;
        Heard dialog;
    };
    const std::vector<Case> cases = {
        {"close button",
         [](FBLoginDialog& d) { d.closeButton()->sendActionsForControlEvents(ControlEvents::TouchUpInside); },
         {"cancelled"}},
        {"cancel link on the page",
         [](FBLoginDialog& d) {
             const auto& links = d.webView()->page().links;
             for (std::size_t i = 0; i < links.size(); ++i) {
                 if (links[i].url == "fbconnect:cancel") {
                     ASSERT_TRUE(d.webView()->clickLink(i));
                 }
             }
         },
         {"cancelled"}},
        {"token the API refuses",
         [](FBLoginDialog& d) {
             d.dialogDidSucceed(*URL::strictParse("fbconnect://success?auth_token=nope&x=1"));
         },
         {"failed api.facebook.example 100"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_sessionProbe->heard.clear();
        auto probe = std::make_shared<DialogProbe>();
        auto dialog = std::make_shared<FBLoginDialog>(m_session);
        dialog->setDelegate(probe);
        dialog->show();
        ASSERT_TRUE(waitForPage(*dialog));
        c.act(*dialog);
        ASSERT_TRUE(Interaction::runUntil([&] { return !probe->heard.empty(); }, kBound));
        EXPECT_TRUE(Interaction::settle());
        EXPECT_EQ(probe->heard, c.dialog);
        EXPECT_EQ(m_sessionProbe->heard, Heard({"didNotLogin"}));
        EXPECT_FALSE(m_session->isConnected());
        EXPECT_EQ(dialog->superview(), nullptr);
    }
}

TEST_F(FacebookIntegrationTest, ApiErrorsAndWrongSignaturesReachTheDelegateWithTheirCodes) {
    // Not logged in: the API refuses the session; a wrong secret: the signature.
    auto stale = std::make_shared<RequestProbe>();
    FBRequest::requestWithSession(m_session, stale)->call("facebook.users.getLoggedInUser", {});
    auto forged = FBSession::sessionForApplication(std::string(kFacebookApiKey), "0123456789abcdef", nullptr);
    auto unsigned_ = std::make_shared<RequestProbe>();
    FBRequest::requestWithSession(forged, unsigned_)
        ->call("facebook.auth.getSession", Dictionary{{"auth_token", Value("abc")}});
    ASSERT_TRUE(Interaction::runUntil([&] { return stale->error && unsigned_->error; }, kBound));
    EXPECT_EQ(stale->error->domain(), std::string(kFacebookApiHost));
    EXPECT_EQ(stale->error->code(), 102);
    EXPECT_FALSE(stale->error->localizedDescription().empty());
    EXPECT_TRUE(stale->error->userInfo().find("request_args")->isArray());
    EXPECT_EQ(unsigned_->error->code(), 104);
}

TEST_F(FacebookIntegrationTest, PostDialogDeliversTheAttachmentAndMessageToTheWall) {
    auto loginProbe = std::make_shared<DialogProbe>();
    logIn(loginProbe);
    ASSERT_TRUE(m_session->isConnected());

    auto probe = std::make_shared<DialogProbe>();
    auto dialog = std::make_shared<FBStreamDialog>(m_session);
    dialog->setDelegate(probe);
    dialog->setUserMessagePrompt("Say something here");
    dialog->setAttachment(R"({"name":"A secret & more","href":"http://secrets.murmelo.example/x?a=1&b=2"})");
    dialog->show();
    ASSERT_TRUE(waitForPage(*dialog));
    EXPECT_EQ(dialog->titleLabel()->text(), "Publish");
    auto opened = requests("/connect/prompt_feed.php");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].query, "display=touch");
    EXPECT_EQ(opened[0].part("user_message_prompt"), "Say something here");
    EXPECT_EQ(opened[0].part("session_key"), m_session->sessionKey());

    ASSERT_TRUE(dialog->webView()->setFormField(0, "message", "Hello wall"));
    ASSERT_TRUE(dialog->webView()->submitForm(0));
    ASSERT_TRUE(Interaction::runUntil([&] { return !probe->heard.empty(); }, kBound));
    EXPECT_EQ(probe->heard, Heard({"succeeded"}));

    auto posted = requests("/connect/prompt_feed.php");
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].status, 302);
    auto wall = m_servers->events().events("facebook-wall");
    ASSERT_EQ(wall.size(), 1u);
    EXPECT_EQ(wall[0].part("message"), "Hello wall");
    EXPECT_EQ(wall[0].part("attachment"), dialog->attachment());
    EXPECT_EQ(wall[0].part("uid"), std::to_string(kDemoUid));
}

TEST_F(FacebookIntegrationTest, LinkClicksOpenOutsideUnlessTheDelegateSaysNo) {
    std::vector<std::string> opened;
    Application::sharedApplication().setOpenURLHandler([&](const URL& url) {
        opened.push_back(url.absoluteString());
        return true;
    });
    for (std::optional<bool> answer : {std::optional<bool>(), std::optional<bool>(false)}) {
        opened.clear();
        auto probe = std::make_shared<DialogProbe>();
        probe->openOutside = answer;
        auto dialog = std::make_shared<FBLoginDialog>(m_session);
        dialog->setDelegate(probe);
        dialog->show();
        ASSERT_TRUE(waitForPage(*dialog));
        dialog->webView()->loadHTMLString("<title>t</title><a href=\"http://elsewhere.example/\">x</a>",
                                          *URL::strictParse(kLoginURL()));
        ASSERT_TRUE(waitForPage(*dialog));
        ASSERT_TRUE(dialog->webView()->clickLink(0));
        ASSERT_TRUE(Interaction::settle());
        EXPECT_EQ(opened.size(), answer ? 0u : 1u);
        EXPECT_EQ(dialog->superview(), m_window.get()) << "the panel stays on its page";
        EXPECT_EQ(dialog->webView()->page().title, "t");
        dialog->cancel();
        ASSERT_TRUE(Interaction::settle());
    }
}

} // namespace
} // namespace murmelo
