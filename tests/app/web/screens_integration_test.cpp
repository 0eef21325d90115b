// The web screens against the reference servers, in-process on loopback:
// the constant hosts reach them through the connect-to map, so the screens
// load exactly the addresses they would in the field.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/base/OVUtils.h"
#include "app/base/URLParser.h"
#include "app/product/Constants.h"
#include "app/sharing/ShareFT.h"
#include "app/sharing/ShareFTObj.h"
#include "app/web/OVAllWebViewController.h"
#include "app/web/OVFeedbackWebViewController.h"
#include "app/web/OVPostWebViewController.h"
#include "app/web/OVWebViewController.h"
#include "platform/core/Log.h"
#include "platform/net/ConnectToMap.h"
#include "servers/ReferenceServers.h"
#include "tests/app/web/web_screen_test_support.h"

namespace murmelo {
namespace {

using test::kBound;

const std::string kIndex = "http://secrets.murmelo.example/index.php";

class ScreensIntegrationTest : public test::WebScreenTest {
protected:
    void SetUp() override {
        test::WebScreenTest::SetUp();
        servers::ReferenceServers::Options options;
        options.dataDirectory = dir().path() + "/servers";
        options.seed = true;
        options.logRequests = false;
        auto started = servers::ReferenceServers::start(options);
        ASSERT_TRUE(started) << started.error().localizedDescription();
        m_servers = std::move(*started);
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:" + std::to_string(m_servers->port())));
    }
    void TearDown() override {
        Application::sharedApplication().setOpenURLHandler(nullptr);
        test::WebScreenTest::TearDown();
        ConnectToMap::shared().clear();
        m_servers.reset();
    }

    // Requests of `role` to `path` after event `after`.
    std::vector<servers::RecordedEvent> requests(const std::string& role, const std::string& path,
                                                 std::uint64_t after = 0) const {
        std::vector<servers::RecordedEvent> out;
        for (auto& event : m_servers->events().events(role, after)) {
            if (event.path == path) {
                out.push_back(event);
            }
        }
        return out;
    }

    // The first link of the page whose address holds `fragment`.
    static std::optional<std::size_t> linkHolding(const WebScreen& screen, const std::string& fragment) {
        const auto& links = screen.webView()->page().links;
        for (std::size_t i = 0; i < links.size(); ++i) {
            if (links[i].url.find(fragment) != std::string::npos) {
                return i;
            }
        }
        return std::nullopt;
    }

    // Shows the Secret-pool screen with the pool page loaded.
    std::shared_ptr<OVWebViewController> showPool() {
        auto pool = OVWebViewController::sharedOVWebViewController();
        show(pool);
        pool->loadURL(OVUtils::urlByAddingParamsForURL(kIndex));
        EXPECT_TRUE(waitForLoad(*pool));
        EXPECT_EQ(pool->webView()->page().title, "Secret pool");
        return pool;
    }

    std::unique_ptr<servers::ReferenceServers> m_servers;
};

TEST_F(ScreensIntegrationTest, PoolPageLoadsWithTheParameterBlockWhileTheSpinnerShows) {
    auto pool = OVWebViewController::sharedOVWebViewController();
    show(pool);
    pool->loadURL(OVUtils::urlByAddingParamsForURL(kIndex));
    ASSERT_TRUE(
        Interaction::runUntil([&] { return pool->aiView() && pool->aiView()->isAnimating(); }, kBound));
    EXPECT_EQ(pool->toolBar()->items()[0]->customView(), pool->aiView());
    EXPECT_EQ(pool->toolBar()->items().size(), 6u);

    ASSERT_TRUE(waitForLoad(*pool));
    EXPECT_EQ(pool->webView()->page().title, "Secret pool");
    EXPECT_EQ(pool->toolBar()->items()[0], pool->refreshButtonItem());
    EXPECT_FALSE(pool->aiView()->isAnimating());

    auto pages = requests("content", "/index.php");
    ASSERT_FALSE(pages.empty());
    EXPECT_EQ(pages.back().query, OVUtils::customHTTPGETParams()); // once, not twice
    EXPECT_TRUE(linkHolding(*pool, "r=secret/comments"));
    EXPECT_TRUE(linkHolding(*pool, "shareToiPhoneFT"));
}

TEST_F(ScreensIntegrationTest, CommentsOpenStackedScreensFormsPostInPlaceAndClosenewClosesOne) {
    auto pool = showPool();
    auto comments = linkHolding(*pool, "r=secret/comments");
    ASSERT_TRUE(comments);
    const std::string secondComments = pool->webView()->page().links[*comments].url;
    ASSERT_TRUE(pool->webView()->clickLink(*comments));
    ASSERT_EQ(m_navigation->viewControllers().size(), 2u);
    auto first = std::dynamic_pointer_cast<OVAllWebViewController>(m_navigation->topViewController());
    ASSERT_TRUE(first);
    ASSERT_TRUE(waitForLoad(*first));
    EXPECT_TRUE(first->finishedLoad());
    EXPECT_EQ(first->webView()->page().title, "Comments");
    auto stackedPages = requests("content", "/index.php");
    ASSERT_FALSE(stackedPages.empty());
    EXPECT_NE(stackedPages.back().query.find("r=secret/comments"), std::string::npos);
    EXPECT_NE(stackedPages.back().query.find("&app="), std::string::npos); // the first page carries the block

    // A page that goes to another comment page once loaded stacks one more.
    first->webView()->stringByEvaluatingJavaScriptFromString("window.location.href='" + secondComments +
                                                             "';");
    ASSERT_TRUE(Interaction::runUntil([&] { return m_navigation->viewControllers().size() == 3; }, kBound));
    auto second = std::dynamic_pointer_cast<OVAllWebViewController>(m_navigation->topViewController());
    ASSERT_TRUE(second);
    ASSERT_TRUE(waitForLoad(*second));
    EXPECT_EQ(second->webView()->page().title, "Comments");

    // Its comment form posts in place.
    const auto& forms = second->webView()->page().forms;
    ASSERT_FALSE(forms.empty());
    ASSERT_TRUE(second->webView()->setFormField(0, "Comment[content]", "said from a stacked screen"));
    const std::uint64_t beforePost = m_servers->events().lastSequence();
    ASSERT_TRUE(second->webView()->submitForm(0));
    ASSERT_TRUE(waitForLoad(*second));
    EXPECT_EQ(m_navigation->viewControllers().size(), 3u);
    auto posts = m_servers->events().events("content", beforePost);
    ASSERT_FALSE(posts.empty());
    EXPECT_EQ(posts.front().method, "POST");
    EXPECT_NE(posts.front().query.find("r=comment/create"), std::string::npos);
    EXPECT_NE(second->webView()->page().text().find("said from a stacked screen"), std::string::npos);

    // "closenew": the pool reloads and exactly one stacked screen goes.
    auto back = linkHolding(*second, "closenew");
    ASSERT_TRUE(back);
    const std::uint64_t beforeClose = m_servers->events().lastSequence();
    ASSERT_TRUE(second->webView()->clickLink(*back));
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(m_navigation->viewControllers().size(), 2u);
    EXPECT_EQ(m_navigation->topViewController(), first);
    ASSERT_TRUE(Interaction::runUntil([&] { return !requests("content", "/index.php", beforeClose).empty(); },
                                      kBound));
    auto reloads = requests("content", "/index.php", beforeClose);
    EXPECT_EQ(reloads.front().query, OVUtils::customHTTPGETParams()); // the pool page, not the close link
}

TEST_F(ScreensIntegrationTest, FeedbackScreenIsReusedAndReloadedOnEveryDisplay) {
    auto pool = showPool();
    ASSERT_TRUE(Interaction::tapBarItem("Feedback"));
    auto feedback = pool->feedbackViewController();
    ASSERT_TRUE(feedback);
    ASSERT_TRUE(Interaction::settle());
    ASSERT_TRUE(waitForLoad(*feedback));
    auto firstVisit = requests("support", "/isupport.php");
    ASSERT_FALSE(firstVisit.empty());
    EXPECT_EQ(firstVisit.back().query, OVUtils::customHTTPGETParams());
    EXPECT_FALSE(feedback->webView()->page().forms.empty());

    ASSERT_TRUE(Interaction::tapBarItem("close.png"));
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(m_navigation->topViewController(), pool);

    const std::uint64_t before = m_servers->events().lastSequence();
    ASSERT_TRUE(Interaction::tapBarItem("Feedback"));
    EXPECT_EQ(pool->feedbackViewController(), feedback);
    EXPECT_EQ(m_navigation->topViewController(), feedback);
    ASSERT_TRUE(
        Interaction::runUntil([&] { return !requests("support", "/isupport.php", before).empty(); }, kBound));
    ASSERT_TRUE(waitForLoad(*feedback));
}

TEST_F(ScreensIntegrationTest, AppStoreLinksLeaveAndLoadInPlaceWhenOpeningFails) {
    auto pool = showPool();
    std::vector<std::string> opened;
    bool canOpen = true;
    Application::sharedApplication().setOpenURLHandler([&](const URL& url) {
        opened.push_back(url.absoluteString());
        return canOpen;
    });
    const std::string storeLink(kAppStoreAppUrl);
    const std::string expected =
        "http://phobos.apple.example/app/murmelo/id381029456?mt=8&" + OVUtils::customHTTPGETParams();
    struct Row {
        const char* name;
        bool canOpen;
        bool loadsInPlace;
    };
    const Row rows[] = {{"opened outside", true, false}, {"opening fails", false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        opened.clear();
        canOpen = row.canOpen;
        const std::uint64_t before = m_servers->events().lastSequence();
        pool->webView()->stringByEvaluatingJavaScriptFromString("window.location.href='" + storeLink + "';");
        ASSERT_TRUE(Interaction::runUntil([&] { return !opened.empty(); }, kBound));
        EXPECT_EQ(opened, std::vector<std::string>{expected});
        if (row.loadsInPlace) {
            ASSERT_TRUE(Interaction::runUntil(
                [&] { return pool->webView()->page().url == storeLink && !pool->webView()->isLoading(); },
                kBound));
        }
        ASSERT_TRUE(waitForLoad(*pool));
        EXPECT_EQ(!m_servers->events().events("appstore-web", before).empty(), row.loadsInPlace);
        EXPECT_EQ(pool->webView()->page().url == storeLink, row.loadsInPlace);
    }
}

TEST_F(ScreensIntegrationTest, ShareLinkFillsTheRecordAndStopsTheLoad) {
    auto pool = showPool();
    auto share = linkHolding(*pool, "shareToiPhoneFT");
    ASSERT_TRUE(share);
    const std::string link = pool->webView()->page().links[*share].url;
    auto id = URLParser(link).valueForVariable("secret_id");
    auto content = URLParser(link).valueForVariable("content");
    ASSERT_TRUE(id && content);
    LogCapture log;
    const std::uint64_t before = m_servers->events().lastSequence();
    ASSERT_TRUE(pool->webView()->clickLink(*share));
    ShareFTObj& record = ShareFTObj::sharedShareFTObj();
    EXPECT_EQ(record.itemUrl(), kIndex + "?r=secret/single&secret_id=" + *id);
    EXPECT_EQ(record.maincontent(), replacingPercentEscapes(*content).value_or("?"));
    EXPECT_TRUE(log.contains("okay"));
    EXPECT_FALSE(pool->webView()->isLoading());
    EXPECT_EQ(m_navigation->viewControllers().size(), 1u);
    ASSERT_TRUE(Interaction::settle());
    EXPECT_TRUE(m_servers->events().events("content", before).empty());
}

TEST_F(ScreensIntegrationTest, PostingScreenLoadsEverythingInPlace) {
    auto post = std::make_shared<OVPostWebViewController>();
    show(post);
    post->loadURL(OVUtils::urlByAddingParamsForURL(kIndex + "?r=secret/create"));
    ASSERT_TRUE(waitForLoad(*post));
    EXPECT_EQ(post->webView()->page().title, "Post your secret");
    ASSERT_FALSE(post->webView()->page().forms.empty());
    ASSERT_TRUE(post->webView()->setFormField(0, "Secret[content]", "a secret told from the posting tab"));
    const std::uint64_t before = m_servers->events().lastSequence();
    ASSERT_TRUE(post->webView()->submitForm(0));
    ASSERT_TRUE(waitForLoad(*post));
    EXPECT_EQ(m_navigation->viewControllers().size(), 1u);
    auto posted = m_servers->events().events("content", before);
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.front().method, "POST");
    EXPECT_EQ(post->webView()->page().title, "Secret posted");
}

TEST_F(ScreensIntegrationTest, PoolUnloadedUnderMemoryPressureIsRebuiltAndLoadsAgain) {
    auto pool = showPool();
    ASSERT_TRUE(Interaction::tapBarItem("Feedback"));
    ASSERT_TRUE(Interaction::settle());
    Interaction::memoryWarning();
    EXPECT_FALSE(pool->isViewLoaded());
    ASSERT_TRUE(Interaction::tapBarItem("close.png"));
    ASSERT_TRUE(Interaction::settle());
    ASSERT_TRUE(pool->isViewLoaded());
    EXPECT_EQ(pool->toolBar()->items().size(), 6u);
    EXPECT_FALSE(pool->webView()->request());

    pool->loadURL(OVUtils::urlByAddingParamsForURL(kIndex));
    ASSERT_TRUE(waitForLoad(*pool));
    EXPECT_EQ(pool->webView()->page().title, "Secret pool");
}

} // namespace
} // namespace murmelo
