// The web screens without a server: their single-instance rule, toolbars,
// geometry, the reload/spinner swap, loadURL's guards, title, segment
// control, search bar, swipes, banner removal, the unload under memory
// pressure, and the routing applied to pages given as markup.
#include <gtest/gtest.h>

#include "app/ads/AdUtils.h"
#include "app/ads/OVAdwhirlView.h"

#include "app/sharing/ShareFT.h"
#include "app/sharing/ShareFTObj.h"
#include "app/web/OVAllWebViewController.h"
#include "app/web/OVCommentWebViewController.h"
#include "app/web/OVFeedbackWebViewController.h"
#include "app/web/OVPostWebViewController.h"
#include "app/web/OVWebViewController.h"
#include "platform/core/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ConnectToMap.h"
#include "tests/app/web/web_screen_test_support.h"

namespace murmelo {
namespace {

using test::kBound;
using Strings = std::vector<std::string>;

const std::string kContentBase = "http://secrets.murmelo.example/index.php";

// A page whose script functions write what they were called with into the
// document title.
std::string scriptedPage() {
    return "<html><head><title>start</title><script>"
           "function search(t){window.lastSearch=t;document.title='search';}"
           "function gotoNextPage(){document.title='next';}"
           "function gotoPrevPage(){document.title='prev';}"
           "function seg(t){document.title='seg:'+t;}"
           "</script></head><body><p>page</p></body></html>";
}

class ScreensTest : public test::WebScreenTest {
protected:
    // Every host goes to a closed loopback port: loads that are let through
    // fail at once instead of reaching for the network.
    void SetUp() override {
        test::WebScreenTest::SetUp();
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:9"));
    }
    void TearDown() override {
        ConnectToMap::shared().clear();
        test::WebScreenTest::TearDown();
    }

    // Shows `html` in the screen's web view as if loaded from `base`.
    void showPage(WebScreen& screen, const std::string& html, const std::string& base = kContentBase) {
        screen.webView()->loadHTMLString(html, URL::strictParse(base));
        ASSERT_TRUE(waitForLoad(screen));
    }
};

TEST_F(ScreensTest, SingleInstancesGiveNothingAtASecondAllocation) {
    auto pool = OVWebViewController::sharedOVWebViewController();
    EXPECT_EQ(OVWebViewController::alloc(), nullptr);
    EXPECT_EQ(OVWebViewController::sharedOVWebViewController(), pool);

    auto feedback = OVFeedbackWebViewController::sharedOVFeedbackWebViewController();
    EXPECT_EQ(OVFeedbackWebViewController::alloc(), nullptr);
    EXPECT_EQ(OVFeedbackWebViewController::sharedOVFeedbackWebViewController(), feedback);

    auto comment = OVCommentWebViewController::sharedOVCommentWebViewController();
    EXPECT_EQ(OVCommentWebViewController::alloc(), nullptr);
    EXPECT_EQ(OVCommentWebViewController::sharedOVCommentWebViewController(), comment);

    // Ordinary screens are new objects each time.
    EXPECT_NE(std::make_shared<OVAllWebViewController>(), std::make_shared<OVAllWebViewController>());
}

TEST_F(ScreensTest, EachScreenBuildsItsToolbarGeometryAndBannerTags) {
    struct Row {
        const char* name;
        std::shared_ptr<WebScreen> screen;
        Strings items;
        std::optional<std::string> hiddenExtra; // made but not shown
        Rect webFrame;
        bool webOpaque;
        int bannerTag;
        int removedTag;
    };
    const Strings variantItems{"[refresh]", "[fixed 0]", "[flexible]", "[flexible]", "[image close.png]"};
    std::vector<Row> rows = {
        {"pool",
         OVWebViewController::sharedOVWebViewController(),
         {"[refresh]", "[fixed 0]", "[flexible]", "\"Share\"", "[flexible]", "\"Feedback\""},
         std::nullopt,
         Rect(0, 44, 320, 360),
         false,
         3000,
         6000},
        {"post",
         std::make_shared<OVPostWebViewController>(),
         {"[refresh]", "[fixed 0]", "[flexible]", "[flexible]"},
         "\"add comment\"",
         Rect(0, 44, 320, 360),
         false,
         3001,
         6002},
        {"stacked", std::make_shared<OVAllWebViewController>(), variantItems, "\"Share\"",
         Rect(0, 44, 320, 360), false, 3001, 6002},
        {"feedback", OVFeedbackWebViewController::sharedOVFeedbackWebViewController(), variantItems,
         "\"add comment\"", Rect(0, 44, 320, 336), true, 3001, 6002},
        {"comment",
         OVCommentWebViewController::sharedOVCommentWebViewController(),
         {"[refresh]", "[fixed 0]", "[flexible]", "\"add comment\"", "[flexible]", "[image close.png]"},
         std::nullopt,
         Rect(0, 44, 320, 360),
         false,
         3001,
         6002},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        show(row.screen);
        WebScreen& screen = *row.screen;
        EXPECT_EQ(itemDescriptions(screen), row.items);
        EXPECT_EQ(screen.toolBar()->items(), screen.itemArray());
        EXPECT_EQ(screen.toolBar()->frame(), Rect(0, 0, 320, 44));
        if (row.screen != OVWebViewController::sharedOVWebViewController()) {
            // Made before the toolbar is added, the web view lies behind it;
            // the banner is brought in front of both.
            const auto& subviews = screen.view()->subviews();
            ASSERT_GE(subviews.size(), 2u);
            EXPECT_EQ(subviews.back()->tag(), row.bannerTag);
            EXPECT_EQ(subviews[subviews.size() - 2], screen.toolBar());
        }
        if (row.hiddenExtra) {
            ASSERT_TRUE(screen.commentButtonItem());
            EXPECT_EQ(screen.commentButtonItem()->dumpDescription(), *row.hiddenExtra);
        }
        EXPECT_EQ(screen.view()->backgroundColor(), Color::blackColor());
        ASSERT_TRUE(screen.webView());
        EXPECT_EQ(screen.webView()->frame(), row.webFrame);
        EXPECT_EQ(screen.webView()->isOpaque(), row.webOpaque);
        EXPECT_EQ(screen.webView()->delegate().get(), static_cast<WebViewDelegate*>(&screen));
        EXPECT_TRUE(m_navigation->isNavigationBarHidden());
        EXPECT_TRUE(screen.isOnScreen());
        EXPECT_EQ(screen.bannerTag(), row.bannerTag);

        // Ads are shown: the banner host sits under the screen's tag.
        View* placed = screen.view()->viewWithTag(row.bannerTag);
        ASSERT_TRUE(dynamic_cast<OVAdwhirlView*>(placed));
        EXPECT_EQ(placed->frame(), Rect(0, 361, 320, 50));
        std::shared_ptr<View> banner = placed->sharedAs<View>();

        // Inside the ad-free window the banner is taken away.
        AdUtils::sharedAdUtils().hideForSeconds(0);
        screen.refreshAds();
        EXPECT_EQ(banner->superview(), nullptr);
        EXPECT_EQ(banner->tag(), row.removedTag);
        EXPECT_EQ(banner->alpha(), 0);
        UserDefaults::standardUserDefaults()->removeObjectForKey("lastTimeInterval");
    }
}

TEST_F(ScreensTest, LoadStartShowsTheSpinnerAndTheEndRestoresReload) {
    struct Row {
        const char* name;
        std::shared_ptr<WebScreen> screen;
        bool logs;
    };
    std::vector<Row> rows = {{"pool", OVWebViewController::sharedOVWebViewController(), false},
                             {"post", std::make_shared<OVPostWebViewController>(), true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        show(row.screen);
        WebScreen& screen = *row.screen;
        WebView& web = *screen.webView();
        LogCapture log;
        const std::size_t count = screen.itemArray().size();

        screen.webViewDidStartLoad(web);
        ASSERT_TRUE(screen.aiView());
        EXPECT_TRUE(screen.aiView()->isAnimating());
        EXPECT_EQ(screen.aiView()->frame().size, (Size{18, 18}));
        EXPECT_EQ(screen.itemArray().size(), count);
        EXPECT_EQ(screen.itemArray()[0]->customView(), screen.aiView());
        EXPECT_EQ(screen.toolBar()->items()[0]->customView(), screen.aiView());

        screen.didFailLoadWithError(web, Error("NSURLErrorDomain", -1004, "no connection"));
        EXPECT_FALSE(screen.aiView()->isAnimating());
        EXPECT_TRUE(screen.aiView()->isHidden());
        EXPECT_EQ(screen.toolBar()->items()[0], screen.refreshButtonItem());

        screen.webViewDidStartLoad(web);
        screen.webViewDidFinishLoad(web);
        EXPECT_EQ(screen.toolBar()->items()[0], screen.refreshButtonItem());
        EXPECT_EQ(screen.itemArray().size(), count);

        Strings expected;
        if (row.logs) {
            expected = {"webViewDidStartLoad", "didFailLoadWithError", "webViewDidStartLoad",
                        "webViewDidFinishLoad"};
        }
        EXPECT_EQ(log.messages(), expected);
    }
}

TEST_F(ScreensTest, LoadURLGuards) {
    auto screen = std::make_shared<OVPostWebViewController>();
    show(screen);
    showPage(*screen, "<p>shown</p>", "http://secrets.murmelo.example/shown.php");
    struct Row {
        const char* name;
        std::optional<std::string> url;
        bool starts; // the web view is asked (and loads or fails)
    };
    const Row rows[] = {
        {"nothing", std::nullopt, false},
        {"the address shown", "http://secrets.murmelo.example/shown.php", false},
        {"another scheme", "ftp://secrets.murmelo.example/file", false},
        {"no scheme at all", "secrets.murmelo.example/index.php", false},
        {"http after other text is taken whole", "xhttp://secrets.murmelo.example/", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        screen->loadURL(row.url);
        if (row.starts) {
            EXPECT_TRUE(Interaction::runUntil([&] { return log.contains("didFailLoadWithError"); }, kBound));
        } else {
            EXPECT_FALSE(screen->webView()->isLoading());
            EXPECT_TRUE(log.messages().empty());
        }
    }
}

TEST_F(ScreensTest, LoadURLBeforeTheViewExistsIsNotLost) {
    auto screen = std::make_shared<OVAllWebViewController>();
    ASSERT_FALSE(screen->isViewLoaded());
    LogCapture log;
    screen->loadURL("http://secrets.murmelo.example/first.php");
    ASSERT_TRUE(screen->isViewLoaded());
    EXPECT_TRUE(screen->webView()->isLoading());
    EXPECT_TRUE(Interaction::runUntil([&] { return log.contains("didFailLoadWithError"); }, kBound));
    EXPECT_TRUE(log.contains("webViewDidStartLoad"));
    EXPECT_EQ(screen->oldUrl(), "http://secrets.murmelo.example/first.php");
}

TEST_F(ScreensTest, TitleAndSegmentControlTakeTheThirdSlot) {
    struct Row {
        const char* name;
        std::shared_ptr<WebScreen> screen;
        std::size_t itemsAfter; // five items: replaced; otherwise inserted
    };
    std::vector<Row> rows = {
        {"four items", std::make_shared<OVPostWebViewController>(), 5},
        {"five items", std::make_shared<OVAllWebViewController>(), 5},
        {"six items", OVCommentWebViewController::sharedOVCommentWebViewController(), 8}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        show(row.screen);
        WebScreen& screen = *row.screen;
        const std::size_t before = screen.itemArray().size();
        screen.setToolBarTitle("Hello", std::nullopt);
        screen.setToolBarTitle("Again", Color::redColor());
        ASSERT_TRUE(screen.titleLabel());
        EXPECT_EQ(screen.titleLabel()->text(), "Again");
        EXPECT_EQ(screen.titleLabel()->textColor(), Color::whiteColor()); // the colour of the first use
        EXPECT_EQ(screen.titleLabel()->frame().size, (Size{260, 40}));
        EXPECT_EQ(screen.titleLabel()->font().name, "Georgia-Bold");
        EXPECT_EQ(screen.itemArray()[2], screen.titleItem());
        EXPECT_EQ(screen.itemArray().size(), before == 5 ? 5u : before + 1); // placed once
        EXPECT_EQ(std::count(screen.itemArray().begin(), screen.itemArray().end(), screen.titleItem()), 1);

        screen.setToolBarSegmentControlsTitle({"All", "Hot"}, {60, 70}, {"1,seg('all')", "0,seg('hot')"}, 30);
        ASSERT_TRUE(screen.segmentControl());
        EXPECT_EQ(screen.segmentControl()->widthForSegmentAtIndex(1), 70);
        EXPECT_EQ(screen.itemArray()[2], screen.segmentControlItem());
        EXPECT_EQ(screen.fixButtonItem()->width(), 30);
        EXPECT_EQ(screen.itemArray().size(), row.itemsAfter);
        EXPECT_EQ(screen.toolBar()->items(), screen.itemArray());
    }
}

TEST_F(ScreensTest, SegmentActionsDriveTheSearchBarAndThePage) {
    auto screen = std::make_shared<OVAllWebViewController>();
    show(screen);
    showPage(*screen, scriptedPage());
    screen->setToolBarSegmentControlsTitle({"Find", "Hot", "Bare"}, {},
                                           {"1,seg('find')", "0,seg('hot')", "1"}, 0);
    auto& control = *screen->segmentControl();
    struct Row {
        int segment;
        bool searchBarShown;
        std::string title;
    };
    const Row rows[] = {{0, true, "seg:find"}, {1, false, "seg:hot"}, {2, true, "seg:hot"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.segment);
        control.setSelectedSegmentIndex(row.segment);
        screen->segmentAction(control);
        ASSERT_TRUE(screen->searchBar());
        EXPECT_EQ(screen->searchBar()->superview() == screen->view().get(), row.searchBarShown);
        EXPECT_EQ(screen->webView()->frame(),
                  row.searchBarShown ? Rect(0, 88, 320, 392) : Rect(0, 44, 320, 436));
        EXPECT_EQ(screen->webView()->page().title, row.title);
    }
}

TEST_F(ScreensTest, SearchAndSwipesCallThePageScripts) {
    auto screen = std::make_shared<OVPostWebViewController>();
    show(screen);
    showPage(*screen, scriptedPage());
    screen->showSearchBar();
    ASSERT_TRUE(screen->searchBar());
    EXPECT_EQ(screen->searchBar()->frame(), Rect(0, 44, 320, 44));
    struct Row {
        const char* typed;
    };
    // Whatever is typed arrives as the one string argument.
    const Row rows[] = {{"it's"},
                        {"back\\"},
                        {"a\\'); document.title=('pwned"},
                        {"two\nlines"},
                        {""},
                        {"a/b </script>"},
                        {"line\xE2\x80\xA8separator\xE2\x80\xA9"}, // line terminators to a script
                        {"tab\tand\x01"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        screen->searchBar()->setText(row.typed);
        screen->searchBarSearchButtonClicked(*screen->searchBar());
        EXPECT_EQ(screen->webView()->page().title, "search");
        EXPECT_EQ(screen->webView()->stringByEvaluatingJavaScriptFromString("window.lastSearch"), row.typed);
    }
    screen->swipeLeft();
    EXPECT_EQ(screen->webView()->page().title, "next");
    screen->swipeRight();
    EXPECT_EQ(screen->webView()->page().title, "prev");
    screen->hideSearchBar();
    EXPECT_EQ(screen->searchBar()->superview(), nullptr);
}

TEST_F(ScreensTest, MemoryWarningUnloadsAHiddenScreenAndTheNextDisplayRebuildsItOnce) {
    auto pool = OVWebViewController::sharedOVWebViewController();
    auto navigation = show(pool);
    auto share = pool->shareButtonItem();
    auto oldWeb = pool->webView();
    int opened = 0;
    Application::sharedApplication().setOpenURLHandler([&](const URL&) {
        ++opened;
        return true;
    });

    navigation->pushViewController(std::make_shared<OVPostWebViewController>(), false);
    Interaction::memoryWarning();
    EXPECT_FALSE(pool->isViewLoaded());
    EXPECT_FALSE(pool->toolBar());
    EXPECT_FALSE(pool->webView());
    EXPECT_FALSE(pool->refreshButtonItem());
    EXPECT_TRUE(pool->itemArray().empty());
    EXPECT_EQ(pool->shareButtonItem(), share); // kept across the unload

    navigation->popViewControllerAnimated(false);
    ASSERT_TRUE(Interaction::settle());
    ASSERT_TRUE(pool->isViewLoaded());
    EXPECT_EQ(pool->itemArray().size(), 6u);
    EXPECT_EQ(pool->toolBar()->items().size(), 6u);
    EXPECT_EQ(pool->shareButtonItem(), share);
    ASSERT_TRUE(pool->webView());
    EXPECT_NE(pool->webView(), oldWeb);
    EXPECT_FALSE(pool->webView()->request()); // loaded again only when asked

    // The sourceUrl observation survives the rebuild exactly once.
    pool->setSourceUrl("http://phobos.apple.example/app/id1");
    EXPECT_EQ(opened, 1);
    Application::sharedApplication().setOpenURLHandler(nullptr);
}

TEST_F(ScreensTest, StackedScreenLinksOpenCloseAndPostInPlace) {
    auto pool = OVWebViewController::sharedOVWebViewController();
    auto navigation = show(pool);
    showPage(*pool, "<p>pool</p>", "about:blank");
    auto stacked = std::make_shared<OVAllWebViewController>();
    navigation->pushViewController(stacked, false);
    const std::string page = "<a href='index.php?opennew=1'>open</a>"
                             "<a href='index.php?closenew=1'>close</a>"
                             "<form method='post' action='index.php?r=comment/create'>"
                             "<input name='Comment[content]' value='hi'><button>send</button></form>";

    // Before its first page finished, a stacked screen loads every link here.
    stacked->webView()->loadHTMLString(page, URL::strictParse(kContentBase));
    EXPECT_FALSE(stacked->finishedLoad());
    ASSERT_TRUE(waitForLoad(*stacked));
    EXPECT_TRUE(stacked->finishedLoad());

    ASSERT_TRUE(stacked->webView()->clickLink(0));
    ASSERT_EQ(navigation->viewControllers().size(), 3u);
    auto next = std::dynamic_pointer_cast<OVAllWebViewController>(navigation->topViewController());
    ASSERT_TRUE(next);
    EXPECT_EQ(next->webView()->request()->url.absoluteString(),
              "http://secrets.murmelo.example/index.php?opennew=1");
    EXPECT_EQ(stacked->oldUrl(), "http://secrets.murmelo.example/index.php?opennew=1");
    next->webView()->stopLoading();
    navigation->popViewControllerAnimated(false);
    ASSERT_TRUE(Interaction::settle());

    // The same address twice in a row loads without a test.
    ASSERT_TRUE(stacked->webView()->clickLink(0));
    EXPECT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_TRUE(stacked->webView()->isLoading());
    stacked->webView()->loadHTMLString(page, URL::strictParse(kContentBase));
    ASSERT_TRUE(waitForLoad(*stacked));

    ASSERT_TRUE(stacked->webView()->submitForm(0));
    EXPECT_EQ(navigation->viewControllers().size(), 2u); // the form posts in place
    EXPECT_TRUE(stacked->webView()->isLoading());
    stacked->webView()->loadHTMLString(page, URL::strictParse(kContentBase));
    ASSERT_TRUE(waitForLoad(*stacked));

    ASSERT_TRUE(stacked->webView()->clickLink(1));
    EXPECT_TRUE(pool->webView()->isLoading()); // the pool reloads
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(navigation->viewControllers().size(), 1u); // exactly one screen closed
    EXPECT_EQ(navigation->topViewController(), pool);
}

TEST_F(ScreensTest, InvitationShareFillsTheRecordAndOpensTheSheet) {
    auto pool = OVWebViewController::sharedOVWebViewController();
    show(pool);
    LogCapture log;
    auto tapped = Interaction::tapBarItem("Share");
    ASSERT_TRUE(tapped) << tapped.error().localizedDescription() << "\n" << Interaction::dump();
    ShareFTObj& record = ShareFTObj::sharedShareFTObj();
    EXPECT_EQ(record.maincontent(), OVWebViewController::kShareText);
    EXPECT_EQ(record.itemUrl(), "");
    EXPECT_TRUE(log.contains("okay"));
    EXPECT_NE(Interaction::dump().find("Good news!"), std::string::npos) << Interaction::dump();
}

} // namespace
} // namespace murmelo
