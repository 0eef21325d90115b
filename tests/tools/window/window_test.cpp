// The window's command line, and its mouse and keys in the device's terms:
// where a click lands, what return and escape do with alerts, sheets and
// the keyboard, and the back and memory-warning keys.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/WebView.h"
#include "tests/platform/ui/ui_test_support.h"
#include "tools/window/DeviceControls.h"
#include "tools/window/WindowOptions.h"

namespace murmelo::test {
namespace {

using window::WindowKey;

TEST(WindowOptionsTest, ZoomPanelAndTheDemosOptions) {
    struct Case {
        std::vector<std::string> args;
        double zoom;       // when accepted
        bool panel;        // when accepted
        const char* error; // part of the error, "" when accepted
    };
    const Case cases[] = {
        {{}, 1, false, ""},
        {{"--zoom", "2", "--panel"}, 2, true, ""},
        {{"--zoom=0.5", "--home", "/tmp/h", "--device", "pad"}, 0.5, false, ""},
        {{"--zoom", "0"}, 0, false, "expected a number from 0.25 to 4"},
        {{"--zoom", "5"}, 0, false, "expected a number from 0.25 to 4"},
        {{"--zoom", "nan"}, 0, false, "expected a number from 0.25 to 4"},
        {{"--zoom", "2x"}, 0, false, "expected a number from 0.25 to 4"},
        {{"--zoom"}, 0, false, "--zoom needs a value"},
        {{"--script", "walk.txt"}, 0, false, "reads its commands from the terminal"},
        {{"--network", "lte"}, 0, false, "expected none, wifi, carrier or system"},
        {{"--bogus"}, 0, false, "unknown argument"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        auto parsed = window::parseWindowOptions(c.args);
        if (*c.error) {
            ASSERT_FALSE(parsed);
            EXPECT_NE(parsed.error().localizedDescription().find(c.error), std::string::npos)
                << parsed.error().localizedDescription();
            continue;
        }
        ASSERT_TRUE(parsed) << parsed.error().localizedDescription();
        EXPECT_EQ(parsed->zoom, c.zoom);
        EXPECT_EQ(parsed->panel == window::SidePanel::Shown, c.panel);
        EXPECT_EQ(parsed->launch.kind, driver::LaunchKind::Demo) << "the built-in servers by default";
    }
}

TEST(WindowPointsTest, AWindowPositionIsAPointOfTheScreen) {
    struct Case {
        double x, y, zoom, scale;
        Point point;
    };
    const Case cases[] = {
        {480, 910, 1, 2, {240, 455}},
        {240, 455, 1, 1, {240, 455}},
        {960, 1820, 2, 2, {240, 455}},
        {180, 341.25, 0.75, 1, {240, 455}},
    };
    for (const Case& c : cases) {
        Point p = window::pointForWindowPosition(c.x, c.y, c.zoom, c.scale);
        EXPECT_DOUBLE_EQ(p.x, c.point.x);
        EXPECT_DOUBLE_EQ(p.y, c.point.y);
    }
}

class Answers : public AlertViewDelegate, public ActionSheetDelegate, public TextFieldDelegate {
public:
    void clickedButtonAtIndex(AlertView&, int index) override {
        said.push_back("alert " + std::to_string(index));
    }
    void clickedButtonAtIndex(ActionSheet&, int index) override {
        said.push_back("sheet " + std::to_string(index));
    }
    bool textFieldShouldReturn(TextField&) override {
        said.push_back("return");
        return true;
    }
    std::vector<std::string> said;
};

class WindowKeysTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        window = makeWindow();
        screen = std::make_shared<View>(Rect(0, 0, 320, 480));
        window->addSubview(screen);
    }

    std::string press(WindowKey key) {
        auto done = window::pressKey(key);
        EXPECT_TRUE(Interaction::settle());
        std::string said;
        for (const std::string& answer : answers->said) {
            said += (said.empty() ? "" : ", ") + answer;
        }
        answers->said.clear();
        return done ? said : "error: " + done.error().localizedDescription();
    }

    std::shared_ptr<Window> window;
    std::shared_ptr<View> screen;
    std::shared_ptr<Answers> answers = std::make_shared<Answers>();
};

TEST_F(WindowKeysTest, ReturnAndEscapeDoWhatAPhoneUserExpects) {
    struct Case {
        const char* what;
        std::function<void()> show;
        WindowKey key;
        const char* outcome; // what the delegates heard, or the start of the error
    };
    std::shared_ptr<ButtonPanel> shown;
    auto alert = [&](std::optional<std::string> cancel, std::vector<std::string> others) {
        return [&, cancel, others] {
            auto panel = std::make_shared<AlertView>("Title", std::nullopt, answers, cancel, others);
            panel->show();
            shown = panel;
        };
    };
    auto sheet = [&] {
        auto panel = std::make_shared<ActionSheet>("Share", answers, "Cancel", std::nullopt,
                                                   std::vector<std::string>{"Mail", "Twitter"});
        panel->showInView(*screen);
        shown = panel;
    };
    auto field = std::make_shared<TextField>(Rect(10, 100, 200, 30));
    field->setDelegate(answers);
    screen->addSubview(field);
    auto typing = [&] { ASSERT_TRUE(Interaction::tapView(*field)); };
    const Case cases[] = {
        {"return on OK / Cancel", alert("Cancel", {"OK"}), WindowKey::Return, "alert 1"},
        {"escape on OK / Cancel", alert("Cancel", {"OK"}), WindowKey::Escape, "alert 0"},
        {"return on a lone OK", alert("OK", {}), WindowKey::Return, "alert 0"},
        {"escape on a lone button", alert(std::nullopt, {"Fine"}), WindowKey::Escape, "alert 0"},
        {"return on three buttons", alert("Cancel", {"A", "B"}), WindowKey::Return,
         "error: return: the alert has"},
        {"return on a sheet", sheet, WindowKey::Return, "error: return: no text input"},
        {"escape on a sheet (its cancel button is last)", sheet, WindowKey::Escape, "sheet 2"},
        {"return while typing", typing, WindowKey::Return, "return"},
        {"escape while typing", typing, WindowKey::Escape, ""},
        {"escape with nothing shown", [] {}, WindowKey::Escape, "error: escape: nothing to cancel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shown.reset();
        c.show();
        ASSERT_TRUE(Interaction::settle());
        std::string outcome = press(c.key);
        EXPECT_EQ(outcome.substr(0, std::string(c.outcome).size()), c.outcome) << outcome;
        if (c.key == WindowKey::Escape && std::string(c.what) == "escape while typing") {
            EXPECT_FALSE(field->isFirstResponder()) << "the keyboard went away";
        }
        // Whatever is still shown goes before the next case.
        if (shown && shown->isVisible()) {
            ASSERT_TRUE(Interaction::tapAlertButton(0));
            ASSERT_TRUE(Interaction::settle());
        }
        (void)field->resignFirstResponder();
        answers->said.clear();
    }
}

TEST_F(WindowKeysTest, BackspaceTypingAndTheMemoryWarningKey) {
    auto field = std::make_shared<TextField>(Rect(10, 100, 200, 30));
    screen->addSubview(field);
    ASSERT_TRUE(window::tapAt({20, 110})) << "a click is a tap through hit testing";
    ASSERT_TRUE(field->isFirstResponder());
    ASSERT_TRUE(window::typeText("caf\xC3\xA9"));
    ASSERT_TRUE(window::pressKey(WindowKey::Backspace));
    EXPECT_EQ(field->text(), "caf");
    EXPECT_FALSE(window::tapAt({-1, 10})) << "off the screen";

    int warnings = 0;
    auto observer = NotificationCenter::defaultCenter().addObserver(
        std::string(Application::kDidReceiveMemoryWarningNotification), nullptr,
        [&](const Notification&) { ++warnings; });
    ASSERT_TRUE(window::pressKey(WindowKey::MemoryWarning));
    EXPECT_EQ(warnings, 1);
}

TEST_F(WindowKeysTest, TheWheelScrollsTheWebViewUnderThePointer) {
    auto web = std::make_shared<WebView>(Rect(0, 0, 320, 200));
    screen->addSubview(web);
    std::string html;
    for (int i = 0; i < 40; ++i) {
        html += "<p>line</p>";
    }
    web->loadHTMLString(html, URL::strictParse("http://pages.test/"));
    ASSERT_TRUE(Interaction::runUntil([&] { return !web->isLoading() && !web->page().blocks.empty(); }));
    EXPECT_FALSE(window::scrollAt({100, 300}, 40)) << "no web view under the pointer there";
    ASSERT_TRUE(window::scrollAt({100, 100}, 40));
    EXPECT_EQ(web->scrollOffset(), 40);
    ASSERT_TRUE(window::scrollAt({100, 100}, -100));
    EXPECT_EQ(web->scrollOffset(), 0) << "only to the top";
    EXPECT_FALSE(window::scrollAt({100, 100}, -10));
    ASSERT_TRUE(window::pressKey(WindowKey::PageDown, Point{100, 100}));
    EXPECT_GT(web->scrollOffset(), 300);
}

} // namespace
} // namespace murmelo::test
