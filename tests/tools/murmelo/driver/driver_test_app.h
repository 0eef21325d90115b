// A small application for the driver's tests: three tabs; the first a
// navigation stack whose root screen has a toolbar and a status label, the
// second a screen with a button, the third a web view. Its bar items start what the driver must
// wait for or answer: an alert with a text field, a pushed screen, a timer,
// background work that fetches over HTTP and reports on the main thread.
// Main thread only (the fetch runs on the app's queue).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLRequest.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/runloop/Perform.h"
#include "platform/runloop/Timer.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tests/support/temporary_directory.h"

namespace murmelo::test {

class DriverTestApp;

// Root of the first tab: toolbar [refresh] [flexible] "Ask" "Open" "Later" "Fetch"; a status label.
class ListScreen : public ViewController, public AlertViewDelegate {
public:
    explicit ListScreen(DriverTestApp& app) : m_app(app) {}

    void loadView() override {
        setView(std::make_shared<View>(Rect(0, 0, 320, 431)));
        toolbar = std::make_shared<Toolbar>(Rect(0, 0, 320, 44));
        auto self = sharedAs<ListScreen>();
        auto item = [&](const char* title, void (ListScreen::*action)()) {
            return BarButtonItem::withTitle(title, BarButtonItemStyle::Bordered, self, action);
        };
        toolbar->setItems(
            {BarButtonItem::withSystemItem(BarButtonSystemItem::Refresh, self, &ListScreen::refresh),
             BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace), item("Ask", &ListScreen::ask),
             item("Open", &ListScreen::open), item("Later", &ListScreen::later),
             item("Fetch", &ListScreen::fetch)});
        view()->addSubview(toolbar);
        status = std::make_shared<Label>(Rect(10, 60, 300, 30));
        status->setText("status: idle");
        view()->addSubview(status);
    }

    void refresh() { status->setText("status: refreshed"); }
    void ask() {
        // The empty lines of the message make room for the field above the buttons.
        alert = std::make_shared<AlertView>("Name?", "\n\n\n", weakSelf(), "Cancel",
                                            std::vector<std::string>{"OK"});
        nameField = std::make_shared<TextField>(Rect(12, 45, 260, 31));
        nameField->setPlaceholder("name");
        nameField->setText("old");
        alert->addSubview(nameField);
        alert->show();
    }
    void clickedButtonAtIndex(AlertView&, int index) override {
        status->setText(index == 1 ? "status: hello " + nameField->text() : "status: cancelled");
    }
    void open();
    void later() {
        timer = Timer(0.3, Timer::Repeats::No, [this] { status->setText("status: later"); });
    }
    void fetch();

    std::weak_ptr<AlertViewDelegate> weakSelf() { return sharedAs<ListScreen>(); }

    std::shared_ptr<Toolbar> toolbar;
    std::shared_ptr<Label> status;
    std::shared_ptr<AlertView> alert;
    std::shared_ptr<TextField> nameField;
    Timer timer;

private:
    DriverTestApp& m_app;
};

// Pushed by "Open": a text field and a button that copies it into a label.
class DetailScreen : public ViewController {
public:
    void viewDidLoad() override {
        label = std::make_shared<Label>(Rect(10, 10, 300, 30));
        label->setText("detail");
        view()->addSubview(label);
        field = std::make_shared<TextField>(Rect(10, 60, 300, 30));
        field->setPlaceholder("comment");
        view()->addSubview(field);
        auto send = std::make_shared<Button>(Rect(10, 100, 100, 44));
        send->setTitle("Send", ControlState::Normal);
        send->addTarget(Control::Action([this](Control&) { label->setText("sent: " + field->text()); }),
                        ControlEvents::TouchUpInside);
        view()->addSubview(send);
    }
    std::shared_ptr<Label> label;
    std::shared_ptr<TextField> field;
};

class DriverTestApp : public ApplicationDelegate {
public:
    void setWindow(std::shared_ptr<Window> w) override { window = std::move(w); }
    bool didFinishLaunchingWithOptions(Application&, const Dictionary&) override {
        tabs = std::make_shared<TabBarController>();
        list = std::make_shared<ListScreen>(*this);
        list->setTabBarItem(std::make_shared<TabBarItem>("Pool", nullptr, 20));
        navigation = std::make_shared<NavigationController>(list);
        navigation->setNavigationBarHidden(true);
        second = std::make_shared<ViewController>();
        second->setTabBarItem(std::make_shared<TabBarItem>("Post", nullptr, 21));
        auto hello = std::make_shared<Button>(Rect(10, 100, 100, 44));
        hello->setTitle("Hello", ControlState::Normal);
        hello->addTarget(Control::Action([this](Control&) {
                             sheet = std::make_shared<ActionSheet>(
                                 "Share", std::weak_ptr<ActionSheetDelegate>(), "Cancel", std::nullopt,
                                 std::vector<std::string>{"Mail"});
                             sheet->showInView(*second->view());
                         }),
                         ControlEvents::TouchUpInside);
        second->view()->addSubview(hello);
        webScreen = std::make_shared<ViewController>();
        webScreen->setTabBarItem(std::make_shared<TabBarItem>("Web", nullptr, 22));
        web = std::make_shared<WebView>(Rect(0, 0, 320, 431));
        webScreen->view()->addSubview(web);
        tabs->setViewControllers({navigation, second, webScreen}, false);
        window->addSubview(tabs->view());
        window->makeKeyAndVisible();
        return true;
    }
    void applicationDidReceiveMemoryWarning(Application&) override { ++memoryWarnings; }

    std::shared_ptr<Window> window;
    std::shared_ptr<TabBarController> tabs;
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<ListScreen> list;
    std::shared_ptr<ViewController> second;
    std::shared_ptr<ActionSheet> sheet;
    std::shared_ptr<ViewController> webScreen;
    std::shared_ptr<WebView> web;
    OperationQueue queue{2, "driver-test"};
    std::string fetchURL; // set by tests that fetch
    int memoryWarnings = 0;
};

inline void ListScreen::open() {
    navigationController()->pushViewController(std::make_shared<DetailScreen>(), true);
}

// Fetches on the app's queue, then shows the body on the main thread
// without waiting, after the operation has let go of everything.
inline void ListScreen::fetch() {
    std::weak_ptr<Label> label = status;
    std::string url = m_app.fetchURL;
    m_app.queue.addOperationWithBlock([label, url] {
        auto request = URLRequest::requestWithURL(url);
        std::string text = "status: fetch failed";
        if (request) {
            std::optional<URLResponse> response;
            auto body = URLConnection::sendSynchronousRequest(*request, &response);
            if (body) {
                text = "status: fetched " + std::string(body->begin(), body->end());
            }
        }
        (void)performOnMainThread(
            [label, text] {
                if (auto shown = label.lock()) {
                    shown->setText(text);
                }
            },
            WaitUntilDone::No);
    });
}

// A fresh home, defaults and application per test, with the test app launched.
class DriverAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AppHome::replaceCurrentForTesting(m_dir.path() + "/home"));
        Bundle::setMainBundlePath(m_dir.path() + "/bundle");
        UserDefaults::resetStandardUserDefaults();
        DeviceProfile::resetCurrent();
        Application::resetSharedForTesting();
        Application::setAnimationDurationScale(0.05);
        app = std::make_shared<DriverTestApp>();
        ASSERT_TRUE(Application::sharedApplication().launch(app));
    }
    void TearDown() override {
        app->queue.cancelAllOperations();
        (void)app->queue.waitUntilAllOperationsAreFinished(10);
        Application::resetSharedForTesting();
        DeviceProfile::resetCurrent();
        UserDefaults::resetStandardUserDefaults();
    }

    std::shared_ptr<DriverTestApp> app;

private:
    TemporaryDirectory m_dir;
};

} // namespace murmelo::test
