// AppDelegate_Phone: the application delegate on a phone — the start-up
// sequence (network check, status ping, the two tabs, the observer of
// "SwithToSecretTab", the window, the first load of the secret pool 0.3 s
// later, the recommendation fetch), the tab taps, the switch back to the
// secret pool after a post, and the recommended-application offer.
//
//   Application::sharedApplication().launch(std::make_shared<AppDelegate_Phone>());
//
// Threading: main thread, except sendStatus(), getRecommandApp() and
// sendNotify(), which run on OVOperationManager's workers, and
// switchToSecret(), which may be called on any thread (it waits for
// doSwitch() on the main thread, bounded by kSwitchTimeout).
//
// Ownership: must be owned by a shared_ptr (the application owns it for the
// whole run). It owns the window it is given, the tab bar (which owns its
// screens) and the secret pool's navigation stack; the background operations
// and the observer hold it weakly, so work arriving after it is gone is
// dropped. The "SwithToSecretTab" registration lasts as long as the delegate.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/runloop/Timer.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/TabBarController.h"

namespace murmelo {

class NavigationController;
class WebScreen;
class Window;

class AppDelegate_Phone : public ApplicationDelegate,
                          public TabBarControllerDelegate,
                          public AlertViewDelegate,
                          public std::enable_shared_from_this<AppDelegate_Phone> {
public:
    static constexpr int kSecretPoolTabTag = 20;
    static constexpr int kPostSecretTabTag = 21;
    static constexpr int kRecommendationAlertTag = 2000;
    // Index of the accepting button of the recommendation alert.
    static constexpr int kRecommendationAcceptIndex = 1;
    static constexpr double kSecretPoolReloadDelay = 0.3;
    // How long a thread posting "SwithToSecretTab" waits for the switch.
    static constexpr double kSwitchTimeout = 30.0;
    static constexpr std::string_view kSwitchToSecretTabNotification = "SwithToSecretTab";
    static constexpr const char* kRecommendVersionKey = "apprecommand_version";
    static constexpr const char* kRecommendClickedKey = "apprecommand_clicked";

    // The fixed addresses, without the parameter block.
    static std::string secretPoolAddress();  // index.php on the content server
    static std::string postingPageAddress(); // index.php?r=secret/create
    static std::string statusAddress();      // status.php on the status server
    static std::string recommendationAddress();

    AppDelegate_Phone() = default;
    ~AppDelegate_Phone() override;

    // ---- application delegate
    // The start-up sequence; answers YES. The launch options are not read.
    bool didFinishLaunchingWithOptions(Application& application, const Dictionary& launchOptions) override;

    // ---- tabs
    // tabBarController:didSelectViewController: — every tap, also on the
    // selected tab: tag 20 refreshes the secret pool, tag 21 loads the
    // posting page into the tapped screen.
    void didSelectViewController(TabBarController& tabBarController, ViewController& controller) override;
    // Schedules reloadVC() 0.3 s from now on the current run loop (each call
    // its own one-shot timer).
    virtual void refreshSecretPool();
    // Loads the secret pool's address (with the parameter block) into the
    // top screen of the secret pool's stack.
    void reloadVC();
    // Observer of "SwithToSecretTab": doSwitch() on the main thread, waiting.
    void switchToSecret();
    // Selects the first tab from code and reloads the page of its top screen.
    void doSwitch();

    // ---- status and recommendation
    // Pings the status server (background; the reply is ignored).
    void sendStatus();
    // Fetches and parses the offer (background), then showRecommandApp() on
    // the main thread without waiting; logs "Error: ..." on any failure.
    void getRecommandApp();
    // The offer's decision and alert (main thread).
    void showRecommandApp(const Dictionary& reply);
    // alertView:clickedButtonAtIndex: — acceptance of the offer: opens the
    // offered link, queues sendNotify() and remembers the click.
    void clickedButtonAtIndex(AlertView& alertView, int buttonIndex) override;
    // Pings the offer's notify address (background; the reply is ignored).
    void sendNotify(const std::string& notifyUrl);

    // ---- properties
    const std::shared_ptr<Window>& window() const { return m_window; }
    void setWindow(std::shared_ptr<Window> window) override { m_window = std::move(window); }
    const std::shared_ptr<TabBarController>& tabController() const { return m_tabController; }
    void setTabController(std::shared_ptr<TabBarController> controller) {
        m_tabController = std::move(controller);
    }
    const std::shared_ptr<NavigationController>& navController() const { return m_navController; }
    void setNavController(std::shared_ptr<NavigationController> controller) {
        m_navController = std::move(controller);
    }
    const std::optional<std::string>& appUrl() const { return m_appUrl; }
    void setAppUrl(std::optional<std::string> url) { m_appUrl = std::move(url); }
    const std::optional<std::string>& notifyUrl() const { return m_notifyUrl; }
    void setNotifyUrl(std::optional<std::string> url) { m_notifyUrl = std::move(url); }

private:
    void queueOperation(void (AppDelegate_Phone::*selector)());
    std::shared_ptr<WebScreen> secretPoolTopScreen() const;

    std::shared_ptr<Window> m_window;
    std::shared_ptr<TabBarController> m_tabController;
    std::shared_ptr<NavigationController> m_navController;
    std::optional<std::string> m_appUrl;
    std::optional<std::string> m_notifyUrl;
    std::vector<Timer> m_reloadTimers; // pending 0.3 s reloads; fired ones pruned
    ObserverToken m_switchObserver;    // last: unregistered first on destruction
};

} // namespace murmelo
