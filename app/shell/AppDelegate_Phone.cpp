#include "app/shell/AppDelegate_Phone.h"

#include <algorithm>

#include "app/base/OVOperation.h"
#include "app/base/OVOperationManager.h"
#include "app/base/OVUtils.h"
#include "app/product/Constants.h"
#include "app/web/OVPostWebViewController.h"
#include "app/web/OVWebViewController.h"
#include "app/web/WebScreen.h"
#include "platform/core/Log.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/Image.h"
#include "platform/net/URL.h"
#include "platform/runloop/Perform.h"
#include "platform/ui/Localization.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/Window.h"

namespace murmelo {

namespace {

std::string httpAddress(HostRole role, std::string_view pathAndQuery) {
    return "http://" + std::string(hostFor(role)) + "/" + std::string(pathAndQuery);
}

// A text field of the offer: strings only; anything else reads as nothing.
std::optional<std::string> offerText(const Dictionary& reply, std::string_view key) {
    const Value* value = reply.find(key);
    if (value && value->isString()) {
        return value->asString()->str();
    }
    return std::nullopt;
}

// "ver" as received when it is a string or a number; anything else (a
// container, say) counts as missing rather than as a version.
std::optional<Value> offerVersion(const Dictionary& reply) {
    const Value* value = reply.find("ver");
    if (value && (value->isString() || value->isNumber())) {
        return *value;
    }
    return std::nullopt;
}

// A button title the user can read: the offer's, else the localised fallback.
std::string buttonTitle(const std::optional<std::string>& offered, const std::string& fallbackKey) {
    return offered && !offered->empty() ? *offered : localizedString(fallbackKey);
}

} // namespace

std::string AppDelegate_Phone::secretPoolAddress() {
    return httpAddress(HostRole::Content, "index.php");
}

std::string AppDelegate_Phone::postingPageAddress() {
    return httpAddress(HostRole::Content, "index.php?r=secret/create");
}

std::string AppDelegate_Phone::statusAddress() {
    return httpAddress(HostRole::Status, "status.php");
}

std::string AppDelegate_Phone::recommendationAddress() {
    return httpAddress(HostRole::Service, "recommandApp.php");
}

AppDelegate_Phone::~AppDelegate_Phone() {
    // Unregister before anything the callback touches goes away.
    m_switchObserver.remove();
}

bool AppDelegate_Phone::didFinishLaunchingWithOptions(Application& application, const Dictionary&) {
    assertMainThread();
    // Warn when there is no network; start-up goes on either way.
    OVUtils::checkNetwork();
    // The black opaque status bar.
    application.setStatusBarStyle(StatusBarStyle::BlackOpaque);
    // The launch ping, off the main thread.
    queueOperation(&AppDelegate_Phone::sendStatus);

    // The tab bar.
    m_tabController = std::make_shared<TabBarController>();
    m_tabController->setDelegate(weak_from_this());

    // The secret pool's screen (the one shared instance).
    std::shared_ptr<OVWebViewController> secretPool = OVWebViewController::sharedOVWebViewController();
    secretPool->setTabBarItem(std::make_shared<TabBarItem>(
        localizedString("Secret pool"), Image::imageNamed("feedback.png"), kSecretPoolTabTag));

    // Its navigation stack, without a bar; the stack shows its root's tab item.
    m_navController = std::make_shared<NavigationController>(secretPool);
    m_navController->setNavigationBarHidden(true);

    // The posting screen.
    auto posting = std::make_shared<OVPostWebViewController>();
    posting->setTabBarItem(std::make_shared<TabBarItem>(localizedString("Post your secret"),
                                                        Image::imageNamed("addjoke.png"), kPostSecretTabTag));

    // Tab index 0, "Secret pool", is selected at start.
    m_tabController->setViewControllers({m_navController, posting}, false);

    // The main interface supplies the window; without one, make it here.
    if (!m_window) {
        logLine("AppDelegate_Phone: no window from the main interface; making one");
        m_window = std::make_shared<Window>(Screen::mainScreen().bounds());
    }
    m_window->addSubview(m_tabController->view());

    // "SwithToSecretTab" switches back to the secret pool, from any sender on any thread.
    std::weak_ptr<AppDelegate_Phone> weakSelf = weak_from_this();
    m_switchObserver = NotificationCenter::defaultCenter().addObserver(
        std::string(kSwitchToSecretTabNotification), nullptr, [weakSelf](const Notification&) {
            if (auto self = weakSelf.lock()) {
                self->switchToSecret();
            }
        });

    // On screen, and the key window.
    m_window->makeKeyAndVisible();
    // The secret pool's first load, kSecretPoolReloadDelay from now: no page loads before it.
    refreshSecretPool();
    // The recommended-application fetch, off the main thread.
    queueOperation(&AppDelegate_Phone::getRecommandApp);
    return true;
}

void AppDelegate_Phone::queueOperation(void (AppDelegate_Phone::*selector)()) {
    // Held weakly: a delegate gone by the time a worker gets to it is skipped.
    auto operation = OVOperation::operationWithTarget(shared_from_this(), nullptr, selector);
    OVOperationManager::sharedOperationManager().addOperation(operation);
}

// ---- tabs

void AppDelegate_Phone::didSelectViewController(TabBarController&, ViewController& controller) {
    auto item = controller.tabBarItem();
    int tag = item ? item->tag() : 0;
    if (tag == kSecretPoolTabTag) {
        refreshSecretPool();
    }
    if (tag == kPostSecretTabTag) {
        if (auto* posting = dynamic_cast<WebScreen*>(&controller)) {
            posting->loadURL(OVUtils::urlByAddingParamsForURL(postingPageAddress()));
        }
    }
}

void AppDelegate_Phone::refreshSecretPool() {
    assertMainThread();
    std::erase_if(m_reloadTimers, [](const Timer& timer) { return !timer.isValid(); });
    std::weak_ptr<AppDelegate_Phone> weakSelf = weak_from_this();
    m_reloadTimers.emplace_back(kSecretPoolReloadDelay, Timer::Repeats::No, [weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->reloadVC();
        }
    });
}

std::shared_ptr<WebScreen> AppDelegate_Phone::secretPoolTopScreen() const {
    // The pool's own screen, a stacked screen or the feedback screen: all web screens.
    return m_navController ? std::dynamic_pointer_cast<WebScreen>(m_navController->topViewController())
                           : nullptr;
}

void AppDelegate_Phone::reloadVC() {
    if (auto top = secretPoolTopScreen()) {
        top->loadURL(OVUtils::urlByAddingParamsForURL(secretPoolAddress()));
    }
}

void AppDelegate_Phone::switchToSecret() {
    std::weak_ptr<AppDelegate_Phone> weakSelf = weak_from_this();
    auto done = performOnMainThread(
        [weakSelf] {
            if (auto self = weakSelf.lock()) {
                self->doSwitch();
            }
        },
        WaitUntilDone::Yes, RunLoopModes(RunLoop::kCommonModes), kSwitchTimeout);
    if (!done) {
        logLine("switchToSecret: %s", done.error().localizedDescription().c_str());
    }
}

void AppDelegate_Phone::doSwitch() {
    assertMainThread();
    if (!m_tabController) {
        return; // not launched
    }
    m_tabController->setSelectedIndex(0);
    if (auto top = secretPoolTopScreen()) {
        top->reload();
    }
}

// ---- status and recommendation

void AppDelegate_Phone::sendStatus() {
    auto url = URL::strictParse(OVUtils::urlByAddingParamsForURL(statusAddress()));
    (void)OVUtils::dataWithContentsOfURL(url);
}

void AppDelegate_Phone::sendNotify(const std::string& notifyUrl) {
    (void)OVUtils::dataWithContentsOfStrURL(notifyUrl);
}

void AppDelegate_Phone::getRecommandApp() {
    std::optional<Data> body = OVUtils::dataWithContentsOfStrURL(recommendationAddress());
    if (!body) {
        logLine("Error: %s", "no recommendation could be fetched");
        return;
    }
    auto parsed = PropertyListSerialization::propertyListWithData(
        *body, PropertyListMutability::MutableContainersAndLeaves);
    if (!parsed) {
        logLine("Error: %s", parsed.error().localizedDescription().c_str());
        return;
    }
    if (!parsed->isDictionary()) {
        // Only a dictionary can be read by key; anything else is no offer.
        logLine("Error: %s", "the recommendation is not a dictionary");
        return;
    }
    std::weak_ptr<AppDelegate_Phone> weakSelf = weak_from_this();
    auto posted = performOnMainThread(
        [weakSelf, reply = std::move(*parsed->asDictionary())] {
            if (auto self = weakSelf.lock()) {
                self->showRecommandApp(reply);
            }
        },
        WaitUntilDone::No);
    if (!posted) {
        logLine("getRecommandApp: %s", posted.error().localizedDescription().c_str());
    }
}

void AppDelegate_Phone::showRecommandApp(const Dictionary& reply) {
    assertMainThread();
    std::optional<Value> version = offerVersion(reply);
    m_appUrl = offerText(reply, "appUrl");
    m_notifyUrl = offerText(reply, "notifyUrl");

    auto defaults = UserDefaults::standardUserDefaults();
    std::optional<std::string> storedVersion = defaults->stringForKey(kRecommendVersionKey);
    std::optional<std::string> clicked = defaults->stringForKey(kRecommendClickedKey);

    bool show = true;
    if (storedVersion) {
        // Single-precision, as the versions have always been compared.
        float stored = static_cast<float>(stringDoubleValue(*storedVersion));
        float offered = version ? version->floatValue() : 0.0f;
        long long clickedValue = clicked ? stringIntegerValue(*clicked) : 0;
        if (stored < offered || clickedValue <= 0) {
            show = offered >= 1.0f;
        } else {
            show = false;
        }
    }
    if (!show) {
        return;
    }

    // Missing button titles fall back to "Cancel" and "OK", so the accepting
    // button is always index 1 and the alert can always be answered.
    auto alert =
        std::make_shared<AlertView>(offerText(reply, "title"), offerText(reply, "message"), weak_from_this(),
                                    buttonTitle(offerText(reply, "cancelBtn"), "Cancel"));
    alert->addButtonWithTitle(buttonTitle(offerText(reply, "okayBtn"), "OK"));
    alert->setTag(kRecommendationAlertTag);
    alert->show();
    // Null (no version offered) removes the key.
    defaults->setObject(version.value_or(Value()), kRecommendVersionKey);
}

void AppDelegate_Phone::clickedButtonAtIndex(AlertView& alertView, int buttonIndex) {
    if (alertView.tag() != kRecommendationAlertTag || buttonIndex != kRecommendationAcceptIndex) {
        return;
    }
    if (m_appUrl) {
        if (auto url = URL::strictParse(*m_appUrl)) {
            (void)Application::sharedApplication().openURL(*url);
        } else {
            logLine("AppDelegate_Phone: the offered link is no URL: %s", m_appUrl->c_str());
        }
    }
    // Off the main thread, so a slow notify server cannot freeze the screen;
    // nothing waits for it.
    if (m_notifyUrl) {
        OVOperationManager::sharedOperationManager().addOperation(
            OVOperation::operationWithTarget_withObjects(shared_from_this(), nullptr,
                                                         &AppDelegate_Phone::sendNotify, *m_notifyUrl));
    }
    UserDefaults::standardUserDefaults()->setObject(Value("1"), kRecommendClickedKey);
}

} // namespace murmelo
