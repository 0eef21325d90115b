// The web view without a network: pages from markup, the text dump, scripts
// called by the app, form filling, in-page links, and hostile page scripts.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/core/Log.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/ScreenRenderer.h"
#include "tests/platform/ui/web_view_test_support.h"
#include "tests/support/bounded_child.h"

namespace murmelo::test {
namespace {

class WebViewMarkupTest : public ::testing::Test {
protected:
    void SetUp() override { web->setDelegate(delegate); }

    void show(const std::string& html, const std::string& base = "http://pages.test/dir/index.php") {
        std::size_t ended = delegate->ended();
        web->loadHTMLString(html, URL::strictParse(base));
        ASSERT_TRUE(waitForLoads(*delegate, ended + 1));
    }

    std::shared_ptr<RecordingWebDelegate> delegate = std::make_shared<RecordingWebDelegate>();
    std::shared_ptr<WebView> web = std::make_shared<WebView>(Rect{0, 44, 320, 360});
};

TEST_F(WebViewMarkupTest, TheDumpShowsAddressTitleTextLinksAndForms) {
    show("<title>Pool</title><h1>Secrets</h1><p>first <a href=\"?page=2\">older</a></p>"
         "<form method=post action=\"post.php\" enctype=\"multipart/form-data\">"
         "<input name=q placeholder=\"search\"> <input type=hidden name=h value=1>"
         " <input type=checkbox name=c value=yes checked> Yes <input type=password name=pw value=abc>"
         " <input type=submit value=\"Go\"></form>");
    ScreenDumpWriter writer;
    web->dump(writer);
    EXPECT_EQ(writer.text(), "web view http://pages.test/dir/index.php\n"
                             "  title \"Pool\"\n"
                             "  text \"Secrets\"\n"
                             "  text \"first older\"\n"
                             "  text \"search [x] Yes *** Go\"\n"
                             "  link [1] \"older\" http://pages.test/dir/index.php?page=2\n"
                             "  form [1] POST http://pages.test/dir/post.php (multipart)\n"
                             "    text \"q\" = \"\" placeholder \"search\"\n"
                             "    checkbox \"c\" [x] \"yes\"\n"
                             "    password \"pw\" (3 characters)\n"
                             "    submit \"Go\"\n");
}

TEST_F(WebViewMarkupTest, PageFunctionsAreCallableFromTheApp) {
    show("<title>t</title><script>var page = 1; function gotoNextPage() { page++; return 'moved'; }"
         "function search(text) { document.title = 'search ' + text; }</script>");
    EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("gotoNextPage()"), "moved");
    EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("page"), "2");
    EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("search('caf\xC3\xA9');"), "");
    EXPECT_EQ(web->page().title, "search caf\xC3\xA9") << "the page model follows the script's change";
    LogCapture log;
    EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("noSuchFunction()"), "");
    EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("throw new Error('x')"), "");
    EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("}{"), "");
    EXPECT_EQ(log.messages().size(), 3u) << "each failed evaluation leaves a log line";
}

TEST_F(WebViewMarkupTest, FormFieldsAreFilledByNameAndType) {
    show("<form><input name=t value=old><textarea name=area></textarea>"
         "<input type=checkbox name=c><input type=radio name=r value=a checked><input type=radio name=r "
         "value=b>"
         "<select name=s><option value=1>one</option><option value=2>two</option></select>"
         "<input name=off disabled><input type=submit name=go></form>");
    struct Case {
        const char* name;
        const char* value;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"t", "new\nline", true}, {"area", "two\nlines", true}, {"c", "on", true},
        {"r", "b", true},         {"r", "zzz", false},          {"s", "2", true},
        {"s", "3", false},        {"off", "x", false},          {"go", "x", false},
        {"missing", "x", false},  {"c", "maybe", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<bool>(web->setFormField(0, c.name, c.value)), c.ok) << c.name << "=" << c.value;
    const auto& fields = web->page().forms.at(0).fields;
    EXPECT_EQ(fields[0].value, "newline") << "single-line fields drop line breaks";
    EXPECT_EQ(fields[1].value, "two\nlines");
    EXPECT_TRUE(fields[2].checked);
    EXPECT_FALSE(fields[3].checked) << "choosing a radio button clears the others of its group";
    EXPECT_TRUE(fields[4].checked);
    EXPECT_EQ(fields[5].value, "2");
    EXPECT_FALSE(web->setFormField(3, "t", "x"));
}

TEST_F(WebViewMarkupTest, JavaScriptAndFragmentLinksLoadNothing) {
    show("<title>t</title><a href=\"javascript:document.title='clicked'\">js</a><a href=\"#part\">part</a>");
    std::size_t asked = delegate->asked.size();
    ASSERT_TRUE(web->clickLink(0));
    EXPECT_EQ(web->page().title, "clicked");
    EXPECT_EQ(delegate->asked.size(), asked) << "a script link is not a navigation";
    ASSERT_TRUE(web->clickLink(1));
    EXPECT_EQ(delegate->asked.size(), asked + 1);
    EXPECT_EQ(delegate->asked.back().type, WebViewNavigationType::LinkClicked);
    EXPECT_FALSE(web->isLoading());
    EXPECT_EQ(web->request()->url.absoluteString(), "http://pages.test/dir/index.php#part");
    EXPECT_EQ(web->page().title, "clicked") << "the page stays";
    EXPECT_TRUE(web->canGoBack());
}

TEST_F(WebViewMarkupTest, ARefusedLoadChangesNothing) {
    delegate->refuse = [](const std::string&) { return true; };
    web->loadHTMLString("<title>never</title>", std::nullopt);
    EXPECT_FALSE(web->isLoading());
    EXPECT_FALSE(web->request());
    EXPECT_EQ(WebView::loadsInFlight(), 0u);
    EXPECT_EQ(web->page().url, "");
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"should about:blank Other"}));
}

TEST_F(WebViewMarkupTest, ThePageIsPaintedInTheViewsBounds) {
    show("<body bgcolor=\"#204080\"><h1>Secrets</h1><p>first <a href=\"?page=2\">older</a></p></body>");
    auto picture = ScreenRenderer({1.0, "9:41 AM"}).renderView(*web);
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->width(), 320u);
    ASSERT_EQ(picture->height(), 360u);
    const RGBA8 background{0x20, 0x40, 0x80, 255};
    EXPECT_EQ(picture->pixelAt(319, 359), background) << "the page's background fills the view";
    size_t inked = 0;
    for (unsigned y = 0; y < 60; ++y) {
        for (unsigned x = 0; x < 320; ++x) {
            inked += picture->pixelAt(x, y) != background ? 1 : 0;
        }
    }
    EXPECT_GT(inked, 50u) << "the heading's text is drawn at the top";
}

} // namespace
} // namespace murmelo::test

namespace murmelo::test {
namespace {

// How long the run loop is kept from a posted call (the driver's commands
// arrive the same way) while a hostile page runs, over `window` seconds.
// Runs in a bounded child; the report is "MAX_WAIT TIMERS_LEFT ANSWER".
ChildOutcome watchRunLoop(const std::string& html, double window) {
    return runInChild(
        [&] {
            WebView::setScriptLimits(
                web::ScriptLimits{.timeBudgetSeconds = 0.2, .heapBytes = std::size_t{8} << 20});
            auto delegate = std::make_shared<RecordingWebDelegate>();
            auto web = std::make_shared<WebView>(Rect{0, 44, 320, 360});
            web->setDelegate(delegate);
            web->loadHTMLString(html, URL::strictParse("http://pages.test/hostile.php"));
            double worst = 0;
            const double end = RunLoop::dateAfter(window);
            while (RunLoop::dateAfter(0) < end) {
                const double posted = RunLoop::dateAfter(0);
                bool ran = false;
                RunLoop::current().post([&] {
                    ran = true;
                    worst = std::max(worst, RunLoop::dateAfter(0) - posted);
                });
                if (!runUntil([&] { return ran; }, 10))
                    return std::string("never ran");
            }
            std::string answer = web->stringByEvaluatingJavaScriptFromString("'answer ' + (6 * 7)");
            return std::to_string(worst) + " " + std::to_string(WebView::timersDueWithin(60)) + " " + answer;
        },
        15, std::size_t{2} << 30);
}

TEST(WebViewScriptLimitsTest, TheRunLoopGetsControlBackFromHostilePages) {
    struct Page {
        const char* name;
        const char* html;
    };
    const std::vector<Page> pages = {
        {"join loop", "<script>for (;;) { new Array(100000).join('x'); }</script>"},
        {"regexp backtracking", "<script>/(a+)+b/.test('a'.repeat(40))</script>"},
        {"string doubling", "<script>var s = 'x'; for (;;) s += s;</script>"},
        {"busy interval at 0 ms", "<script>setInterval(function() { var t = Date.now(); while (Date.now() - "
                                  "t < 5000) {} }, 0)</script>"},
        {"busy timeout chain at 0 ms",
         "<script>function spin() { setTimeout(spin, 0); for (;;) { new Array(100000).join('x'); } }"
         "setTimeout(spin, 0)</script>"},
        {"many timers at 0 ms", "<script>for (var i = 0; i < 1e5; i++) setTimeout(function() {"
                                " for (;;) { 'x'.repeat(1e5); } }, 0)</script>"},
    };
    for (const Page& page : pages) {
        ChildOutcome outcome = watchRunLoop(page.html, 1.5);
        if (!outcome.finished) {
            ADD_FAILURE() << page.name << ": killed after " << outcome.seconds << " s";
            continue;
        }
        double worst = 1e9;
        std::size_t timersLeft = 0;
        std::string answer;
        std::istringstream in(outcome.report);
        in >> worst >> timersLeft;
        std::getline(in >> std::ws, answer);
        EXPECT_LT(worst, 0.8) << page.name << ": " << outcome.report;
        EXPECT_EQ(timersLeft, 0u) << page.name << ": the page's timers stop after repeated overruns";
        EXPECT_EQ(answer, "answer 42") << page.name << ": " << outcome.report;
    }
}

} // namespace
} // namespace murmelo::test
