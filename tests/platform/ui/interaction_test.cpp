// Driving a whole app shell the way a person does, and the text dump of the
// screen it produces.
#include <gtest/gtest.h>

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/Toolbar.h"
#include "tests/platform/ui/ui_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

// A screen with a toolbar like the app's web screens.
class ToolbarScreen : public ViewController {
public:
    void loadView() override {
        setView(std::make_shared<View>(Rect(0, 0, 320, 480)));
        toolbar = std::make_shared<Toolbar>(Rect(0, 0, 320, 44));
        toolbar->setTintColor(Color::blackColor());
        auto self = sharedAs<ToolbarScreen>();
        refresh = BarButtonItem::withSystemItem(BarButtonSystemItem::Refresh, self, &ToolbarScreen::reload);
        auto fixed = BarButtonItem::withSystemItem(BarButtonSystemItem::FixedSpace);
        auto flexible = BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace);
        auto share =
            BarButtonItem::withTitle("Share", BarButtonItemStyle::Bordered, self, &ToolbarScreen::share);
        auto feedback = BarButtonItem::withTitle("Feedback", BarButtonItemStyle::Bordered, self,
                                                 &ToolbarScreen::showFeedback);
        items = {refresh, fixed, flexible, share, flexible, feedback};
        toolbar->setItems(items);
        view()->addSubview(toolbar);
    }
    void viewDidLoad() override {
        if (auto* navigation = navigationController()) {
            navigation->setNavigationBarHidden(true);
        }
    }
    void reload() {
        // The reload button turns into a spinner while "loading".
        if (!spinner) {
            spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::White);
            spinner->setFrame(Rect(0, 0, 18, 18));
        }
        items[0] = BarButtonItem::withCustomView(spinner);
        toolbar->setItems(items);
        spinner->startAnimating();
        ++reloads;
    }
    void share() {
        auto alert =
            std::make_shared<AlertView>("Share", "Tell a friend?", std::weak_ptr<AlertViewDelegate>(),
                                        "Cancel", std::vector<std::string>{"OK"});
        alert->setTag(7);
        alert->show();
    }
    void showFeedback() { navigationController()->pushViewController(std::make_shared<FormScreen>(), true); }

    class FormScreen : public ViewController {
    public:
        void viewDidLoad() override {
            auto title = std::make_shared<Label>(Rect(10, 10, 220, 40));
            title->setText("add comment");
            view()->addSubview(title);
            auto field = std::make_shared<TextField>(Rect(10, 60, 300, 30));
            field->setPlaceholder("your name");
            view()->addSubview(field);
            auto box = std::make_shared<TextView>(Rect(10, 100, 300, 100));
            view()->addSubview(box);
            auto submit = std::make_shared<Button>(Rect(50, 210, 204, 44));
            submit->setTitle("okay, submit", ControlState::Normal);
            view()->addSubview(submit);
        }
    };

    std::shared_ptr<Toolbar> toolbar;
    std::shared_ptr<BarButtonItem> refresh;
    std::vector<std::shared_ptr<BarButtonItem>> items;
    std::shared_ptr<ActivityIndicatorView> spinner;
    int reloads = 0;
};

class Shell : public ApplicationDelegate, public TabBarControllerDelegate {
public:
    void setWindow(std::shared_ptr<Window> w) override { window = std::move(w); }
    bool didFinishLaunchingWithOptions(Application& application, const Dictionary&) override {
        application.setStatusBarStyle(StatusBarStyle::BlackOpaque);
        tabs = std::make_shared<TabBarController>();
        tabs->setDelegate(std::dynamic_pointer_cast<TabBarControllerDelegate>(self.lock()));
        pool = std::make_shared<ToolbarScreen>();
        pool->setTabBarItem(
            std::make_shared<TabBarItem>("Secret pool", Image::imageWithSize("feedback.png", {}), 20));
        navigation = std::make_shared<NavigationController>(pool);
        navigation->setNavigationBarHidden(true);
        post = std::make_shared<ViewController>();
        post->setTabBarItem(std::make_shared<TabBarItem>("Post your secret", nullptr, 21));
        tabs->setViewControllers({navigation, post}, false);
        window->addSubview(tabs->view());
        window->makeKeyAndVisible();
        return true;
    }
    void didSelectViewController(TabBarController&, ViewController& controller) override {
        selections.push_back(controller.tabBarItem()->tag());
    }

    std::weak_ptr<Shell> self;
    std::shared_ptr<Window> window;
    std::shared_ptr<TabBarController> tabs;
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<ToolbarScreen> pool;
    std::shared_ptr<ViewController> post;
    std::vector<int> selections;
};

class InteractionTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        shell = std::make_shared<Shell>();
        shell->self = shell;
        ASSERT_TRUE(Application::sharedApplication().launch(shell));
        ASSERT_TRUE(Interaction::settle());
    }
    std::shared_ptr<Shell> shell;
};

} // namespace

TEST_F(InteractionTest, TheDumpShowsTabsStacksToolbarsAndAlerts) {
    EXPECT_EQ(Interaction::dump(), "status bar: black-opaque\n"
                                   "window (key)\n"
                                   "  tab bar controller\n"
                                   "    tabs: [*\"Secret pool\" #20] [\"Post your secret\" #21]\n"
                                   "    navigation: ToolbarScreen (bar hidden)\n"
                                   "      screen ToolbarScreen\n"
                                   "        toolbar: [refresh] [fixed 0] [flexible] \"Share\" [flexible] "
                                   "\"Feedback\"\n");

    ASSERT_TRUE(Interaction::tapBarItem("refresh"));
    ASSERT_TRUE(Interaction::tapBarItem("Feedback"));
    ASSERT_TRUE(Interaction::settle());
    ASSERT_TRUE(Interaction::tapTextInput("your name"));
    ASSERT_TRUE(Interaction::typeText("Ann \"A\"\n"));
    EXPECT_EQ(Interaction::dump(), "status bar: black-opaque\n"
                                   "window (key)\n"
                                   "  tab bar controller\n"
                                   "    tabs: [*\"Secret pool\" #20] [\"Post your secret\" #21]\n"
                                   "    navigation: ToolbarScreen > FormScreen (bar hidden)\n"
                                   "      screen FormScreen\n"
                                   "        label \"add comment\"\n"
                                   "        text field \"Ann \\\"A\\\"\" (editing)\n"
                                   "        text view \"\"\n"
                                   "        button \"okay, submit\"\n"
                                   "keyboard: up for text field \"Ann \\\"A\\\"\" (editing)\n");

    ASSERT_TRUE(Interaction::tapView(*shell->navigation->topViewController()->view()->subviews()[2]));
    auto* pool = shell->pool.get();
    shell->navigation->popViewControllerAnimated(false);
    pool->share();
    // The alert's window has the key now.
    EXPECT_EQ(Interaction::dump(),
              "status bar: black-opaque\n"
              "window\n"
              "  tab bar controller\n"
              "    tabs: [*\"Secret pool\" #20] [\"Post your secret\" #21]\n"
              "    navigation: ToolbarScreen (bar hidden)\n"
              "      screen ToolbarScreen\n"
              "        toolbar: [activity indicator (white, spinning)] [fixed 0] [flexible] "
              "\"Share\" [flexible] \"Feedback\"\n"
              "alert tag 7\n"
              "  title \"Share\"\n"
              "  message \"Tell a friend?\"\n"
              "  [0] \"Cancel\" (cancel)\n"
              "  [1] \"OK\"\n");
}

TEST_F(InteractionTest, TapsReachOnlyWhatIsInFront) {
    // A tab tap always tells the delegate, even for the tab already shown.
    ASSERT_TRUE(Interaction::tapTab("Secret pool"));
    ASSERT_TRUE(Interaction::tapTab("Post your secret"));
    ASSERT_TRUE(Interaction::tapTab("Post your secret"));
    EXPECT_EQ(shell->selections, (std::vector<int>{20, 21, 21}));
    EXPECT_FALSE(Interaction::tapBarItem("Share")); // on the tab that is not shown
    EXPECT_FALSE(Interaction::tapTab("No such tab"));

    ASSERT_TRUE(Interaction::tapTabAtIndex(0));
    auto modal = std::make_shared<ViewController>();
    shell->tabs->presentModalViewController(modal, true);
    // During the transition the covered screen is still there, but behind.
    EXPECT_FALSE(Interaction::tapView(*shell->pool->toolbar));
    ASSERT_TRUE(Interaction::settle());
    EXPECT_FALSE(Interaction::tapBarItem("Share"));
    EXPECT_NE(Interaction::dump().find("  screen ViewController"), std::string::npos);

    ASSERT_TRUE(Interaction::dismissModal());
    ASSERT_TRUE(Interaction::settle());
    EXPECT_FALSE(Interaction::dismissModal());
    ASSERT_TRUE(Interaction::tapBarItem("refresh"));
    EXPECT_EQ(shell->pool->reloads, 1);
}

TEST_F(InteractionTest, TheKeyboardShowsInTheDump) {
    ASSERT_TRUE(Interaction::tapBarItem("Feedback"));
    ASSERT_TRUE(Interaction::settle());
    ASSERT_TRUE(Interaction::tapTextInput("your name"));
    std::string screen = Interaction::dump();
    EXPECT_NE(screen.find("text field \"\" placeholder \"your name\" (editing)"), std::string::npos)
        << screen;
    EXPECT_NE(screen.find("keyboard: up for text field \"\" placeholder \"your name\" (editing)"),
              std::string::npos)
        << screen;
}
