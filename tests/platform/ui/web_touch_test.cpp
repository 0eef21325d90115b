// A finger and a keyboard on the web view: taps reach the link or field
// under them (scrolled or not), typing goes into the field that took the
// keyboard, return submits its form; and the screen's viewers hear of every
// change once per burst, but not of the renderer's own layout.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/runloop/RunLoop.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/ScreenChanges.h"
#include "platform/ui/ScreenRenderer.h"
#include "platform/ui/WebPagePainter.h"
#include "platform/ui/WebView.h"
#include "tests/platform/ui/ui_test_support.h"
#include "tests/platform/ui/web_view_test_support.h"

namespace murmelo::test {
namespace {

constexpr double kWebTop = 44;
constexpr const char* kPage = "http://pages.test/dir/index.php";

class WebTouchTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        window = makeWindow();
        window->addSubview(web);
        web->setDelegate(delegate);
        // Navigations are only written down: nothing here has a network.
        delegate->refuse = [](const std::string& url) { return url != kPage; };
    }

    void show(const std::string& html) {
        std::size_t ended = delegate->ended();
        web->loadHTMLString(html, URL::strictParse(kPage));
        ASSERT_TRUE(waitForLoads(*delegate, ended + 1));
    }

    // A tap at a point of the web view.
    void tap(double x, double y) { ASSERT_TRUE(Interaction::tapAt({x, kWebTop + y})); }

    std::string lastNavigation() const {
        if (delegate->asked.empty() || delegate->asked.back().url == kPage) {
            return "";
        }
        const auto& asked = delegate->asked.back();
        return std::string(webViewNavigationTypeName(asked.type)) + " " + asked.method + " " + asked.url;
    }

    std::shared_ptr<Window> window;
    std::shared_ptr<RecordingWebDelegate> delegate = std::make_shared<RecordingWebDelegate>();
    std::shared_ptr<WebView> web = std::make_shared<WebView>(Rect{0, kWebTop, 320, 300});
};

TEST_F(WebTouchTest, ATapReachesWhatIsUnderTheFinger) {
    struct Case {
        const char* what;
        const char* html;
        Point at; // in the web view; the page starts 8 points in
        const char* navigation;
        const char* field; // the focused field's name, "" for none
    };
    const Case cases[] = {
        {"a link's text",
         "<p><a href=\"older.php\">older</a> secrets</p>",
         {14, 14},
         "LinkClicked GET http://pages.test/dir/older.php",
         ""},
        {"a link's number",
         "<p><a href=\"older.php\">older</a> secrets</p>",
         {44, 14},
         "LinkClicked GET http://pages.test/dir/older.php",
         ""},
        {"text beside a link", "<p>plain words <a href=\"n.php\">next</a></p>", {14, 14}, "", ""},
        {"past the end of a line", "<p><a href=\"n.php\">next</a></p>", {300, 14}, "", ""},
        {"below the page", "<p><a href=\"n.php\">next</a></p>", {14, 200}, "", ""},
        {"a submit button",
         "<form method=post action=\"s.php\"><input type=submit value=Go></form>",
         {14, 14},
         "FormSubmitted POST http://pages.test/dir/s.php",
         ""},
        {"a text box", "<form><input name=q placeholder=find></form>", {20, 20}, "", "q"},
        {"a text area", "<form><textarea name=body></textarea></form>", {20, 40}, "", "body"},
        {"a disabled text box", "<form><input name=q disabled></form>", {20, 20}, "", ""},
        {"a text box without a name", "<form><input placeholder=x></form>", {20, 20}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        show(c.html);
        std::size_t asked = delegate->asked.size();
        tap(c.at.x, c.at.y);
        if (*c.navigation) {
            ASSERT_EQ(delegate->asked.size(), asked + 1);
            EXPECT_EQ(lastNavigation(), c.navigation);
        } else {
            EXPECT_EQ(delegate->asked.size(), asked) << lastNavigation();
        }
        if (*c.field) {
            ASSERT_TRUE(web->focusedField());
            EXPECT_EQ(web->page().forms[web->focusedField()->form].fields[web->focusedField()->field].name,
                      c.field);
            EXPECT_EQ(Responder::currentFirstResponder().get(), web.get());
        } else {
            EXPECT_FALSE(web->focusedField());
        }
        (void)web->resignFirstResponder();
    }
}

TEST_F(WebTouchTest, TheFieldWithTheKeyboardHasAFocusRing) {
    show("<form><input name=q></form>");
    // The left edge of the box, half way down.
    auto edge = [&] {
        auto picture =
            ScreenRenderer(ScreenRenderOptions{.scale = 1.0, .statusBarTime = std::nullopt}).renderView(*web);
        EXPECT_TRUE(picture);
        return picture ? picture->pixelAt(9, 22) : RGBA8{};
    };
    RGBA8 before = edge();
    tap(20, 20);
    RGBA8 focused = edge();
    EXPECT_GT(focused.b, focused.r + 60) << "blue while typing goes there";
    EXPECT_LT(std::abs(int(before.b) - int(before.r)), 20) << "grey before";
    (void)web->resignFirstResponder();
    EXPECT_EQ(edge(), before) << "grey again once the keyboard went";
}

TEST_F(WebTouchTest, CheckboxesToggleAndRadioButtonsPick) {
    show("<form><input type=checkbox name=c></form>");
    tap(12, 12);
    EXPECT_TRUE(web->page().forms[0].fields[0].checked);
    tap(12, 12);
    EXPECT_FALSE(web->page().forms[0].fields[0].checked);
}

TEST_F(WebTouchTest, TypingFillsTheFocusedFieldAndReturnSubmitsItsForm) {
    show("<form action=\"find.php\"><input name=q value=\"ab\"><textarea name=note></textarea>"
         "<input type=submit value=Find></form>");
    tap(20, 20);
    ASSERT_TRUE(web->focusedField());
    ASSERT_TRUE(Interaction::typeText("c caf\xC3\xA9"));
    ASSERT_TRUE(Interaction::deleteBackward(1));
    EXPECT_EQ(web->page().forms[0].fields[0].value, "abc caf") << "a character, not a byte, goes";

    ASSERT_TRUE(Interaction::pressReturn());
    EXPECT_EQ(lastNavigation(), "FormSubmitted GET http://pages.test/dir/find.php?q=abc+caf&note=");
    EXPECT_FALSE(web->focusedField()) << "the keyboard goes away with the submission";
    EXPECT_EQ(Responder::currentFirstResponder(), nullptr);

    // In a text area return is a new line.
    tap(20, 8 + 34 + 20);
    ASSERT_TRUE(web->focusedField());
    std::size_t asked = delegate->asked.size();
    ASSERT_TRUE(Interaction::typeText("one\ntwo"));
    EXPECT_EQ(web->page().forms[0].fields[1].value, "one\ntwo");
    EXPECT_EQ(delegate->asked.size(), asked);
}

TEST_F(WebTouchTest, ScrollingStaysOnThePageAndMovesWhereTapsLand) {
    std::string html;
    for (int i = 0; i < 40; ++i) {
        html += "<p>line " + std::to_string(i) + "</p>";
    }
    html += "<p><a href=\"end.php\">the end</a></p>";
    show(html);
    const double longest = webPageHeight(web->page(), 320) - 300;
    ASSERT_GT(longest, 300);

    EXPECT_FALSE(web->scrollBy(-10)) << "already at the top";
    EXPECT_FALSE(web->scrollBy(std::nan("")));
    EXPECT_TRUE(web->scrollBy(1e9));
    EXPECT_DOUBLE_EQ(web->scrollOffset(), longest);
    EXPECT_FALSE(web->scrollBy(10)) << "already at the end";

    // The last paragraph ends 18 points above the page's end.
    tap(14, 300 - 26);
    EXPECT_EQ(lastNavigation(), "LinkClicked GET http://pages.test/dir/end.php");

    show("<p>short</p>");
    EXPECT_EQ(web->scrollOffset(), 0) << "a new page starts at the top";
}

TEST_F(WebTouchTest, ViewersHearOfChangesOncePerBurstButNotOfRendering) {
    int heard = 0;
    auto watch = ScreenChanges::observe([&] { ++heard; });
    // Posted after the changes, so it runs after the notice they caused.
    auto settle = [] {
        bool done = false;
        RunLoop::current().post([&] { done = true; });
        ASSERT_TRUE(runUntil([&] { return done; }, 5));
    };
    settle();
    heard = 0;

    struct Case {
        const char* what;
        std::function<void()> change;
        int heard;
    };
    auto label = std::make_shared<View>(Rect{0, 0, 10, 10});
    const Case cases[] = {
        {"a new subview", [&] { window->addSubview(label); }, 1},
        {"a frame, a colour and hiding at once",
         [&] {
             label->setFrame({5, 5, 20, 20});
             label->setBackgroundColor(Color::redColor());
             label->setHidden(true);
         },
         1},
        {"a removed subview", [&] { label->removeFromSuperview(); }, 1},
        {"scrolling a page", [&] { (void)web->scrollBy(1e9); }, 1},
        {"rendering the screen", [] { ASSERT_TRUE(ScreenRenderer().renderScreen()); }, 0},
        {"nothing", [] {}, 0},
    };
    std::string html;
    for (int i = 0; i < 40; ++i) {
        html += "<p>line</p>";
    }
    show(html);
    settle();
    heard = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        settle();
        EXPECT_EQ(heard, c.heard);
        heard = 0;
    }

    show("<p>another page</p>");
    settle();
    EXPECT_GE(heard, 1) << "a page load is a change";

    watch.reset();
    heard = 0;
    window->setHidden(true);
    settle();
    EXPECT_EQ(heard, 0) << "an ended observation hears nothing";
}

} // namespace
} // namespace murmelo::test
