// View controllers, navigation and tab bar controllers, modal presentation:
// the order of the lifecycle calls, memory warnings, and what is on screen.
#include <gtest/gtest.h>

#include "platform/core/Log.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/internal/AnimationScheduler.h"
#include "tests/platform/ui/ui_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

class ControllerTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        log = std::make_shared<EventLog>();
        window = makeWindow();
    }
    std::shared_ptr<Probe> probe(const std::string& name) { return std::make_shared<Probe>(name, log); }
    EventLog take() {
        EventLog copy = *log;
        log->clear();
        return copy;
    }

    std::shared_ptr<EventLog> log;
    std::shared_ptr<Window> window;
};

class TabDelegate : public TabBarControllerDelegate {
public:
    bool shouldSelectViewController(TabBarController&, ViewController& controller) override {
        asked.push_back(controller.title());
        return allow;
    }
    void didSelectViewController(TabBarController& tabs, ViewController& controller) override {
        selected.push_back(controller.title() + "@" + std::to_string(tabs.selectedIndex().value_or(99)));
    }
    bool allow = true;
    std::vector<std::string> asked;
    std::vector<std::string> selected;
};

} // namespace

TEST_F(ControllerTest, RootScreenLoadsLazilyAndAppearsWithItsWindow) {
    auto screen = probe("A");
    EXPECT_FALSE(screen->isViewLoaded());
    EXPECT_TRUE(log->empty());

    auto hidden = std::make_shared<Window>(Rect(0, 0, 320, 480));
    hidden->addSubview(screen->view());
    EXPECT_EQ(take(), (EventLog{"A.loadView", "A.viewDidLoad"})); // a hidden window shows nothing yet
    hidden->makeKeyAndVisible();
    EXPECT_EQ(take(), (EventLog{"A.willAppear", "A.didAppear"}));
    hidden->makeKeyAndVisible(); // already shown: no second call
    EXPECT_TRUE(take().empty());
    screen->view()->removeFromSuperview();
    EXPECT_EQ(take(), (EventLog{"A.willDisappear", "A.didDisappear"}));
    EXPECT_EQ(screen->appearanceState(), AppearanceState::Disappeared);
}

TEST_F(ControllerTest, MemoryWarningUnloadsOnlyScreensOffTheWindowAndTheyAreRebuilt) {
    auto shown = probe("shown");
    auto offscreen = probe("off");
    window->addSubview(shown->view());
    (void)offscreen->view();
    take();

    Interaction::memoryWarning();
    EXPECT_EQ(take(), (EventLog{"off.viewDidUnload"}));
    EXPECT_TRUE(shown->isViewLoaded());
    EXPECT_FALSE(offscreen->isViewLoaded());

    Interaction::memoryWarning(); // nothing more to let go of
    EXPECT_TRUE(take().empty());

    window->addSubview(offscreen->view());
    EXPECT_EQ(take(), (EventLog{"off.loadView", "off.viewDidLoad", "off.willAppear", "off.didAppear"}));
}

TEST_F(ControllerTest, NavigationPushAndPopCallAppearanceInOrder) {
    struct Case {
        const char* name;
        bool animated;
    };
    for (const Case& c : {Case{"at once", false}, Case{"animated", true}}) {
        SCOPED_TRACE(c.name);
        auto root = probe("root");
        auto next = probe("next");
        auto navigation = std::make_shared<NavigationController>(root);
        window->addSubview(navigation->view());
        EXPECT_EQ(take(),
                  (EventLog{"root.loadView", "root.viewDidLoad", "root.willAppear", "root.didAppear"}));

        navigation->pushViewController(next, c.animated);
        EventLog expectedPush{"next.loadView", "next.viewDidLoad", "root.willDisappear", "next.willAppear"};
        if (c.animated) {
            EXPECT_EQ(take(), expectedPush); // the "did" calls wait for the animation
            EXPECT_FALSE(Interaction::isSettled());
            ASSERT_TRUE(Interaction::settle());
        } else {
            expectedPush.insert(expectedPush.end(), {"root.didDisappear", "next.didAppear"});
        }
        EventLog afterPush = take();
        if (c.animated) {
            EXPECT_EQ(afterPush, (EventLog{"root.didDisappear", "next.didAppear"}));
        } else {
            EXPECT_EQ(afterPush, expectedPush);
        }
        EXPECT_EQ(navigation->topViewController(), next);
        EXPECT_EQ(next->navigationController(), navigation.get());
        EXPECT_FALSE(root->view()->window()); // the covered screen left the window

        auto popped = navigation->popViewControllerAnimated(c.animated);
        EXPECT_EQ(popped, next);
        ASSERT_TRUE(Interaction::settle());
        EXPECT_EQ(take(),
                  (EventLog{"next.willDisappear", "root.willAppear", "next.didDisappear", "root.didAppear"}));
        EXPECT_EQ(next->navigationController(), nullptr);
        EXPECT_EQ(navigation->popViewControllerAnimated(c.animated), nullptr); // the root stays
        navigation->view()->removeFromSuperview();
        take();
    }
}

TEST_F(ControllerTest, NavigationRefusesAScreenShownElsewhereAndFinishesARunningTransitionFirst) {
    auto root = probe("root");
    auto a = probe("a");
    auto b = probe("b");
    auto navigation = std::make_shared<NavigationController>(root);
    window->addSubview(navigation->view());
    LogCapture capture;
    navigation->pushViewController(root, false);
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    EXPECT_TRUE(capture.contains("already shown"));

    take();
    navigation->pushViewController(a, true);
    navigation->pushViewController(b, true); // completes the push of a at once
    EXPECT_EQ(take(), (EventLog{"a.loadView", "a.viewDidLoad", "root.willDisappear", "a.willAppear",
                                "root.didDisappear", "a.didAppear", "b.loadView", "b.viewDidLoad",
                                "a.willDisappear", "b.willAppear"}));
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(take(), (EventLog{"a.didDisappear", "b.didAppear"}));

    auto removed = navigation->popToRootViewControllerAnimated(false);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[0], a);
    EXPECT_EQ(take(), (EventLog{"b.willDisappear", "root.willAppear", "b.didDisappear", "root.didAppear"}));
    EXPECT_EQ(a->parentViewController(), nullptr);
}

TEST_F(ControllerTest, NavigationBarShowsTitlesAndItsBackButtonPops) {
    auto root = probe("Home");
    auto next = probe("");
    auto navigation = std::make_shared<NavigationController>(root);
    window->addSubview(navigation->view());
    navigation->pushViewController(next, false);
    auto bar = navigation->navigationBar();
    EXPECT_EQ(bar->backTitle(), std::optional<std::string>("Home"));
    // The top screen sits below the bar and moves up when the bar hides.
    EXPECT_EQ(next->view()->frame().y(), NavigationBar::kHeight);
    navigation->setNavigationBarHidden(true);
    EXPECT_EQ(next->view()->frame().y(), 0);
    navigation->setNavigationBarHidden(false);
    auto back = bar->backButtonFrame();
    ASSERT_TRUE(back);
    ASSERT_TRUE(Interaction::tapAt(bar->convertPointToView(back->center(), nullptr)));
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(navigation->topViewController(), root);
    EXPECT_FALSE(bar->backTitle());
}

TEST_F(ControllerTest, TabSelectionByTheUserCallsTheDelegateAndFromCodeDoesNot) {
    auto first = probe("first");
    auto second = probe("second");
    first->setTabBarItem(std::make_shared<TabBarItem>("First", nullptr, 20));
    second->setTabBarItem(std::make_shared<TabBarItem>("Second", nullptr, 21));
    auto tabs = std::make_shared<TabBarController>();
    auto delegate = std::make_shared<TabDelegate>();
    tabs->setDelegate(delegate);
    tabs->setViewControllers({first, second}, false);
    window->addSubview(tabs->view());
    EXPECT_EQ(take(),
              (EventLog{"first.loadView", "first.viewDidLoad", "first.willAppear", "first.didAppear"}));
    EXPECT_FALSE(second->isViewLoaded()); // an unselected tab is built only when it is chosen

    ASSERT_TRUE(Interaction::tapTab("Second"));
    EXPECT_EQ(delegate->selected, (std::vector<std::string>{"second@1"}));
    EXPECT_EQ(take(), (EventLog{"second.loadView", "second.viewDidLoad", "first.willDisappear",
                                "second.willAppear", "first.didDisappear", "second.didAppear"}));

    ASSERT_TRUE(Interaction::tapTab("Second")); // re-selecting still tells the delegate
    EXPECT_EQ(delegate->selected, (std::vector<std::string>{"second@1", "second@1"}));
    EXPECT_TRUE(take().empty());

    tabs->setSelectedIndex(0); // from code: no delegate call
    EXPECT_EQ(delegate->selected.size(), 2u);
    EXPECT_EQ(take(), (EventLog{"second.willDisappear", "first.willAppear", "second.didDisappear",
                                "first.didAppear"}));

    delegate->allow = false;
    ASSERT_TRUE(Interaction::tapTabAtIndex(1));
    EXPECT_EQ(tabs->selectedIndex(), std::optional<size_t>(0));
    EXPECT_EQ(delegate->asked.back(), "second");
    EXPECT_EQ(delegate->selected.size(), 2u);
}

TEST_F(ControllerTest, ContainersLayOutTheirChildrenAndANavigationStackReportsItsRootsTab) {
    auto root = probe("root");
    root->setTabBarItem(std::make_shared<TabBarItem>("Pool", nullptr, 20));
    auto navigation = std::make_shared<NavigationController>(root);
    navigation->setNavigationBarHidden(true);
    auto tabs = std::make_shared<TabBarController>();
    tabs->setViewControllers({navigation}, false);
    window->addSubview(tabs->view());
    window->layoutIfNeeded(); // containers place their children at the layout pass
    EXPECT_EQ(navigation->tabBarItem()->tag(), 20);
    EXPECT_EQ(tabs->view()->frame(), Screen::mainScreen().applicationFrame());
    // 460 points under the status bar, less the 49-point tab bar.
    EXPECT_EQ(root->view()->frame(), Rect(0, 0, 320, 411));
    EXPECT_EQ(root->tabBarController(), tabs.get());
    EXPECT_EQ(root->navigationController(), navigation.get());
}

TEST_F(ControllerTest, ModalChainsPresentFromTheRootAndDismissTogether) {
    auto root = probe("root");
    auto inner = probe("inner");
    auto navigation = std::make_shared<NavigationController>(inner);
    auto tabs = std::make_shared<TabBarController>();
    tabs->setViewControllers({navigation, root}, false);
    window->addSubview(tabs->view());
    take();

    auto first = probe("first");
    auto second = probe("second");
    inner->presentModalViewController(first, false);
    EXPECT_EQ(take(), (EventLog{"first.loadView", "first.viewDidLoad", "inner.willDisappear",
                                "first.willAppear", "inner.didDisappear", "first.didAppear"}));
    // Presented from the outermost container; every screen under it sees it.
    EXPECT_EQ(tabs->modalViewController(), first);
    EXPECT_EQ(inner->modalViewController(), first);
    EXPECT_EQ(first->parentViewController(), tabs.get());
    EXPECT_EQ(tabs->view()->window(), nullptr); // covered screens leave the window

    first->presentModalViewController(second, true);
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(first->modalViewController(), second);
    take();

    LogCapture capture;
    inner->presentModalViewController(probe("third"), false);
    EXPECT_TRUE(capture.contains("already presents"));
    EXPECT_EQ(tabs->modalViewController(), first);

    // A memory warning takes the covered screens' views.
    Interaction::memoryWarning();
    EXPECT_FALSE(inner->isViewLoaded());
    EXPECT_FALSE(first->isViewLoaded());
    EXPECT_TRUE(second->isViewLoaded());
    take();

    tabs->dismissModalViewControllerAnimated(true);
    EXPECT_EQ(tabs->modalViewController(), nullptr);
    EXPECT_EQ(second->parentViewController(), nullptr);
    ASSERT_TRUE(Interaction::settle());
    EventLog events = take();
    // The tab bar and its visible screen are built again as they come back.
    auto position = [&](const std::string& e) {
        return std::find(events.begin(), events.end(), e) - events.begin();
    };
    ASSERT_NE(position("inner.loadView"), static_cast<long>(events.size()));
    EXPECT_LT(position("second.willDisappear"), position("inner.willAppear"));
    EXPECT_LT(position("inner.loadView"), position("inner.willAppear"));
    EXPECT_LT(position("second.didDisappear"), position("inner.didAppear"));
    EXPECT_EQ(std::count(events.begin(), events.end(), "first.willAppear"), 0);
    EXPECT_EQ(tabs->view()->window(), window.get());
    EXPECT_EQ(second->isViewLoaded() ? second->view()->window() : nullptr, nullptr);
}

TEST_F(ControllerTest, APresentedScreenDismissesItselfThroughItsPresenter) {
    auto root = probe("root");
    window->addSubview(root->view());
    auto sheet = probe("sheet");
    sheet->setModalTransitionStyle(ModalTransitionStyle::FlipHorizontal);
    root->presentModalViewController(sheet, true);
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(sheet->view()->frame(), Screen::mainScreen().applicationFrame());
    take();
    sheet->dismissModalViewControllerAnimated(false);
    EXPECT_EQ(take(),
              (EventLog{"sheet.willDisappear", "root.willAppear", "sheet.didDisappear", "root.didAppear"}));
    EXPECT_EQ(root->modalViewController(), nullptr);
    EXPECT_EQ(root->view()->window(), window.get());

    LogCapture capture;
    root->dismissModalViewControllerAnimated(false);
    EXPECT_TRUE(capture.contains("nothing to dismiss"));
}

TEST_F(ControllerTest, PresentingFromAScreenOffTheWindowOnlyLinksThem) {
    auto lonely = probe("lonely");
    auto modal = probe("modal");
    lonely->presentModalViewController(modal, true);
    EXPECT_EQ(lonely->modalViewController(), modal);
    EXPECT_FALSE(modal->isViewLoaded());
    EXPECT_EQ(internal::AnimationScheduler::shared().pendingCount(), 0u);
    lonely->dismissModalViewControllerAnimated(true);
    EXPECT_EQ(lonely->modalViewController(), nullptr);
    EXPECT_TRUE(log->empty());
}

TEST_F(ControllerTest, ResponderChainRunsFromViewsThroughControllersToTheApplication) {
    auto screen = probe("screen");
    window->addSubview(screen->view());
    auto child = std::make_shared<View>(Rect(0, 0, 10, 10));
    screen->view()->addSubview(child);
    EXPECT_EQ(child->nextResponder(), screen->view().get());
    EXPECT_EQ(screen->view()->nextResponder(), screen.get());
    EXPECT_EQ(screen->nextResponder(), window.get());
    EXPECT_EQ(window->nextResponder(), &Application::sharedApplication());
}

namespace {
class NavigationLog : public NavigationControllerDelegate {
public:
    void willShowViewController(NavigationController&, ViewController& controller, bool animated) override {
        events.push_back("will " + controller.title() + (animated ? " animated" : ""));
    }
    void didShowViewController(NavigationController&, ViewController& controller, bool) override {
        events.push_back("did " + controller.title());
    }
    std::vector<std::string> events;
};
} // namespace

TEST_F(ControllerTest, ReplacingTheStackOrTheTabsShowsTheNewTopAndReleasesTheRest) {
    auto a = probe("a");
    auto b = probe("b");
    auto c = probe("c");
    auto navigation = std::make_shared<NavigationController>(a);
    auto navigationLog = std::make_shared<NavigationLog>();
    navigation->setDelegate(navigationLog);
    window->setRootViewController(navigation);
    EXPECT_EQ(navigation->view()->frame(), Screen::mainScreen().applicationFrame());
    navigation->pushViewController(b, true);
    ASSERT_TRUE(Interaction::settle());
    take();

    navigation->setViewControllers({c, a}, false); // b leaves, a comes back on top
    EXPECT_EQ(take(), (EventLog{"b.willDisappear", "a.willAppear", "b.didDisappear", "a.didAppear"}));
    EXPECT_EQ(navigation->topViewController(), a);
    EXPECT_EQ(b->navigationController(), nullptr);
    EXPECT_EQ(c->navigationController(), navigation.get());
    navigation->setViewControllers({c}, false);
    EXPECT_EQ(take(), (EventLog{"c.loadView", "c.viewDidLoad", "a.willDisappear", "c.willAppear",
                                "a.didDisappear", "c.didAppear"}));
    EXPECT_EQ(navigationLog->events,
              (std::vector<std::string>{"will b animated", "did b", "will a", "did a", "will c", "did c"}));

    // A tab bar given new screens keeps the selected index while it is valid.
    auto tabs = std::make_shared<TabBarController>();
    auto x = probe("x");
    auto y = probe("y");
    auto z = probe("z");
    tabs->setViewControllers({x, y}, false);
    tabs->setSelectedIndex(1);
    window->setRootViewController(tabs);
    take();
    tabs->setViewControllers({x, z}, false);
    EXPECT_EQ(tabs->selectedViewController(), z);
    EXPECT_EQ(take(), (EventLog{"z.loadView", "z.viewDidLoad", "y.willDisappear", "z.willAppear",
                                "y.didDisappear", "z.didAppear"}));
    EXPECT_EQ(y->parentViewController(), nullptr);
    EXPECT_FALSE(y->view()->window());
    EXPECT_EQ(z->view()->window(), window.get());
    tabs->setViewControllers({}, false);
    EXPECT_EQ(tabs->selectedIndex(), std::nullopt);
    EXPECT_FALSE(z->view()->window());
}

TEST_F(ControllerTest, ADismissalPutsThePresentersViewBackEvenWhileTheWindowIsHidden) {
    auto root = probe("root");
    window->addSubview(root->view());
    auto modal = probe("modal");
    root->presentModalViewController(modal, false);
    EXPECT_EQ(root->view()->superview(), nullptr);
    window->setHidden(true);
    take();
    root->dismissModalViewControllerAnimated(false);
    EXPECT_EQ(root->view()->superview(), window.get());
    EXPECT_EQ(modal->view()->superview(), nullptr);
    EXPECT_TRUE(take().empty()); // nothing shows, so nothing appears
    window->setHidden(false);
    EXPECT_EQ(take(), (EventLog{"root.willAppear", "root.didAppear"}));
}
