// The web view against the reference servers in-process: the content
// server's pool page with its functions for the app, a comment posted through
// a page form, and the Facebook login page whose redirect to "fbconnect:"
// the delegate stops.
#include <gtest/gtest.h>

#include "app/product/Constants.h"
#include "platform/net/ConnectToMap.h"
#include "platform/net/CookieStore.h"
#include "tests/platform/ui/web_view_test_support.h"
#include "tests/servers/server_test_support.h"

namespace murmelo::servers::test {
namespace {

using murmelo::test::RecordingWebDelegate;
using murmelo::test::runUntil;
using murmelo::test::waitForLoads;

class WebViewServersTest : public ServersFixture {
protected:
    void SetUp() override {
        startServers(ServerConfig::defaults(), /*seed=*/true);
        std::string port = std::to_string(servers->port());
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules(std::string(kContentServerHost) +
                                                    ":80:127.0.0.1:" + port + "," +
                                                    std::string(kFacebookWebHost) + ":80:127.0.0.1:" + port));
        CookieStore::shared().deleteAllCookies();
        web->setDelegate(delegate);
    }
    void TearDown() override {
        web.reset();
        ConnectToMap::shared().clear();
        CookieStore::shared().deleteAllCookies();
    }

    void loadAndWait(const std::string& url) {
        std::size_t ended = delegate->ended();
        web->loadRequest(*URLRequest::requestWithURL(url));
        ASSERT_TRUE(waitForLoads(*delegate, ended + 1)) << url;
    }

    std::shared_ptr<RecordingWebDelegate> delegate = std::make_shared<RecordingWebDelegate>();
    std::shared_ptr<WebView> web = std::make_shared<WebView>(Rect{0, 44, 320, 360});
};

TEST_F(WebViewServersTest, ThePoolPageOffersItsFunctionsAndLinks) {
    loadAndWait(content("index.php"));
    ASSERT_EQ(delegate->events.back(), "finish");
    const WebPage& page = web->page();
    EXPECT_FALSE(page.title.empty());
    bool shareLink = false;
    for (const WebLink& link : page.links)
        shareLink = shareLink || link.url.find("shareToiPhoneFT") != std::string::npos;
    EXPECT_TRUE(shareLink) << "the seeded pool shows share links";
    EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("typeof gotoNextPage + typeof search"),
              "functionfunction");

    std::size_t ended = delegate->ended();
    web->stringByEvaluatingJavaScriptFromString("search('caf\xC3\xA9');");
    ASSERT_TRUE(waitForLoads(*delegate, ended + 1));
    EXPECT_EQ(delegate->asked.back().url, content("index.php?r=secret/search&qx=636166c3a9"));
    EXPECT_EQ(delegate->asked.back().type, WebViewNavigationType::Other);
    EXPECT_EQ(delegate->events.back(), "finish");
}

TEST_F(WebViewServersTest, ACommentIsPostedThroughThePageForm) {
    loadAndWait(content("index.php"));
    std::optional<std::size_t> comments;
    for (std::size_t i = 0; i < web->page().links.size() && !comments; ++i) {
        if (web->page().links[i].url.find("r=secret/comments") != std::string::npos)
            comments = i;
    }
    ASSERT_TRUE(comments);
    std::size_t ended = delegate->ended();
    ASSERT_TRUE(web->clickLink(*comments));
    ASSERT_TRUE(waitForLoads(*delegate, ended + 1));
    EXPECT_EQ(delegate->asked.back().type, WebViewNavigationType::LinkClicked);
    ASSERT_FALSE(web->page().forms.empty());
    std::size_t form = web->page().forms.size() - 1;
    ASSERT_TRUE(web->setFormField(form, "Comment[content]", "a comment from the web view"));
    ended = delegate->ended();
    ASSERT_TRUE(web->submitForm(form));
    ASSERT_TRUE(waitForLoads(*delegate, ended + 1));
    EXPECT_EQ(delegate->asked.back().type, WebViewNavigationType::FormSubmitted);
    EXPECT_EQ(delegate->asked.back().method, "POST");
    EXPECT_EQ(delegate->events.back(), "finish");
    EXPECT_NE(web->page().text().find("a comment from the web view"), std::string::npos)
        << web->page().text();
}

TEST_F(WebViewServersTest, FacebookLoginEndsInAnFbconnectRedirectTheDelegateStops) {
    delegate->refuse = [](const std::string& url) { return url.starts_with("fbconnect:"); };
    std::string login = "http://" + std::string(kFacebookWebHost) +
                        "/login.php?api_key=" + std::string(kFacebookApiKey) +
                        "&next=fbconnect://success&fbconnect=1";
    loadAndWait(login);
    ASSERT_EQ(web->page().forms.size(), 1u) << web->page().text();

    std::optional<std::size_t> cancel;
    for (std::size_t i = 0; i < web->page().links.size(); ++i) {
        if (web->page().links[i].url == "fbconnect:cancel")
            cancel = i;
    }
    ASSERT_TRUE(cancel);
    ASSERT_TRUE(web->clickLink(*cancel));
    EXPECT_EQ(delegate->asked.back().url, "fbconnect:cancel");
    EXPECT_FALSE(web->isLoading());

    ASSERT_TRUE(web->setFormField(0, "email", "demo@murmelo.example"));
    ASSERT_TRUE(web->setFormField(0, "pass", "secret123"));
    std::size_t ended = delegate->ended();
    ASSERT_TRUE(web->submitForm(0, "Log In"));
    ASSERT_TRUE(waitForLoads(*delegate, ended + 1));
    EXPECT_TRUE(delegate->asked.back().url.starts_with("fbconnect://success?auth_token="))
        << delegate->asked.back().url;
    ASSERT_FALSE(delegate->errors.empty());
    EXPECT_TRUE(
        delegate->errors.back().is(std::string(WebView::kWebKitErrorDomain), WebView::kFrameLoadInterrupted));
}

} // namespace
} // namespace murmelo::servers::test
