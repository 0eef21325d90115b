// The application from its launch, against the reference servers: the
// start-up sequence, the first load of the secret pool, the tabs, the switch
// after a post, the status ping, the recommended-application offer across
// launches, the start-up network warning and the tablet.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/http/ASIHTTPRequest.h"
#include "app/product/Constants.h"
#include "app/shell/AppDelegate_Pad.h"
#include "app/web/OVAllWebViewController.h"
#include "app/web/OVWebViewController.h"
#include "app/web/WebScreen.h"
#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/graphics/Image.h"
#include "platform/net/CookieFile.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/Window.h"
#include "tests/app/shell/shell_test_support.h"
#include "tests/support/scripted_http_server.h"

using namespace murmelo;
using namespace murmelo::test;
using servers::RecordedEvent;
using servers::ServerConfig;

namespace {

const std::string kPostingQueryPrefix = "r=secret/create&";

ServerConfig withoutOffer() {
    ServerConfig config = ServerConfig::defaults();
    config.recommendation.enabled = false;
    return config;
}

ServerConfig offering(const std::string& ver) {
    ServerConfig config = ServerConfig::defaults();
    config.recommendation.ver = ver;
    return config;
}

std::shared_ptr<AlertView> alertTagged(int tag) {
    for (const auto& alert : alertsOnScreen()) {
        if (alert->tag() == tag) {
            return alert;
        }
    }
    return nullptr;
}

// Runs the main loop for `seconds` (to see that something does *not* happen).
void runFor(double seconds) {
    Interaction::runUntil([] { return false; }, seconds);
}

class ShellIntegrationTest : public ShellTest {
protected:
    // Pool loads: GETs of index.php on the content server without a route.
    size_t poolLoads() {
        size_t count = 0;
        for (const auto& event : events().events("content")) {
            count += event.path == "/index.php" && event.query == OVUtils::customHTTPGETParams() ? 1 : 0;
        }
        return count;
    }
    size_t postingLoads() {
        size_t count = 0;
        for (const auto& event : events().events("content")) {
            count += event.path == "/index.php" &&
                             event.query == kPostingQueryPrefix + OVUtils::customHTTPGETParams()
                         ? 1
                         : 0;
        }
        return count;
    }
    bool awaitPoolLoads(size_t count) {
        return Interaction::runUntil([&] { return poolLoads() >= count; }, kShellBound);
    }
    bool awaitPostingLoads(size_t count) {
        return Interaction::runUntil([&] { return postingLoads() >= count; }, kShellBound);
    }
    // Another page of the content server into `screen`, so the next load of
    // its usual address is not the address already shown.
    void showOtherPage(ViewController& screen, const std::string& marker) {
        const std::string other = "http://" + std::string(kContentServerHost) + "/index.php?other=" + marker;
        auto* web = dynamic_cast<WebScreen*>(&screen);
        ASSERT_NE(web, nullptr);
        web->loadURL(other);
        ASSERT_TRUE(Interaction::runUntil(
            [&] {
                for (const auto& event : events().events("content")) {
                    if (event.query == "other=" + marker) {
                        return true;
                    }
                }
                return false;
            },
            kShellBound));
        Interaction::settle(kShellBound);
    }
    // The offer was decided on (shown or not): its links are kept either way.
    bool awaitOfferDecision() {
        return Interaction::runUntil([&] { return phone() && phone()->appUrl().has_value(); }, kShellBound);
    }
};

// Writes down the state of the start-up when it reaches the first load's
// timer (step 12), then goes on as the application does.
class ProbingDelegate : public AppDelegate_Phone {
public:
    struct Snapshot {
        bool taken = false;
        size_t alerts = 0;
        StatusBarStyle style = StatusBarStyle::Default;
        size_t queued = 0;
        size_t tabs = 0;
        bool tabsInWindow = false;
        bool windowVisible = false;
    };

    ProbingDelegate(std::shared_ptr<OperationQueue> queue) : m_queue(std::move(queue)) {}

    void refreshSecretPool() override {
        if (!snapshot.taken) {
            snapshot.taken = true;
            snapshot.alerts = alertsOnScreen().size();
            snapshot.style = Application::sharedApplication().statusBarStyle();
            snapshot.queued = m_queue->operationCount();
            snapshot.tabs = tabController() ? tabController()->viewControllers().size() : 0;
            snapshot.tabsInWindow =
                tabController() && window() && tabController()->view()->superview() == window().get();
            snapshot.windowVisible = window() && !window()->isHidden();
        }
        AppDelegate_Phone::refreshSecretPool();
    }

    Snapshot snapshot;

private:
    std::shared_ptr<OperationQueue> m_queue;
};

TEST_F(ShellIntegrationTest, LaunchBuildsTheTabsPingsAndLoadsThePoolAfterTheDelay) {
    const double launchedAt = Date::now().since1970();
    launch();
    auto delegate = phone();
    ASSERT_NE(delegate, nullptr);
    Application& app = Application::sharedApplication();

    EXPECT_EQ(app.statusBarStyle(), StatusBarStyle::BlackOpaque);
    ASSERT_NE(delegate->window(), nullptr);
    EXPECT_TRUE(delegate->window()->isKeyWindow() || !alertsOnScreen().empty());
    EXPECT_FALSE(delegate->window()->isHidden());
    auto tabs = delegate->tabController();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->view()->superview(), delegate->window().get());
    ASSERT_EQ(tabs->viewControllers().size(), 2u);
    EXPECT_EQ(tabs->viewControllers()[0], delegate->navController());
    EXPECT_EQ(tabs->selectedIndex(), 0u);
    EXPECT_TRUE(delegate->navController()->isNavigationBarHidden());
    EXPECT_EQ(delegate->navController()->topViewController(),
              OVWebViewController::sharedOVWebViewController());

    struct TabCase {
        size_t index;
        int tag;
        const char* title;
        const char* image;
    };
    const TabCase tabCases[] = {{0, 20, "Secret pool", "feedback"}, {1, 21, "Post your secret", "addjoke"}};
    for (const TabCase& c : tabCases) {
        SCOPED_TRACE(c.title);
        auto item = tabs->viewControllers()[c.index]->tabBarItem();
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->tag(), c.tag);
        EXPECT_EQ(item->title(), c.title);
        ASSERT_NE(item->image(), nullptr);
        EXPECT_NE(item->image()->name().find(c.image), std::string::npos) << item->image()->name();
    }

    // Nothing is loaded until the timer fires.
    EXPECT_EQ(events().events("content").size(), 0u);
    ASSERT_TRUE(awaitPoolLoads(1));
    const RecordedEvent first = events().events("content").front();
    EXPECT_EQ(first.path, "/index.php");
    EXPECT_EQ(first.query, OVUtils::customHTTPGETParams());
    EXPECT_GE(first.time - launchedAt, AppDelegate_Phone::kSecretPoolReloadDelay - 0.01);
    EXPECT_TRUE(first.header("User-Agent").has_value());
    EXPECT_EQ(postingLoads(), 0u); // the posting page waits for its tab

    auto status = awaitEvents("status", "/status.php");
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].query, OVUtils::customHTTPGETParams());
    EXPECT_EQ(status[0].header("User-Agent"), OVUtils::defaultUserAgent());

    auto offer = awaitEvents("service", "/recommandApp.php");
    ASSERT_EQ(offer.size(), 1u);
    EXPECT_EQ(offer[0].query, "");
    EXPECT_EQ(offer[0].header("User-Agent"), OVUtils::defaultUserAgent());
    ASSERT_TRUE(awaitOfferDecision());
    auto alert = alertTagged(AppDelegate_Phone::kRecommendationAlertTag);
    ASSERT_NE(alert, nullptr); // a fresh installation sees the offer
    EXPECT_EQ(alert->title(), m_servers->config().recommendation.title);
}

TEST_F(ShellIntegrationTest, StartUpRunsItsStepsInOrder) {
    useDevice({"network=none"});
    m_queue->setMaxConcurrentOperationCount(1);
    m_queue->setSuspended(true);
    auto delegate = std::make_shared<ProbingDelegate>(m_queue);
    ASSERT_TRUE(Application::sharedApplication().launch(delegate));

    // At step 12: the warning (1), the bar style (2), the status ping queued
    // (3, not yet 13) with the keyword fetch of the Secret-pool screen's
    // banner, the tabs (4-8) in the window (9), the window shown (11), and
    // no page asked for. (The observer of step 10 is exercised by the switch
    // test.)
    const auto& at12 = delegate->snapshot;
    ASSERT_TRUE(at12.taken);
    EXPECT_EQ(at12.alerts, 1u);
    EXPECT_EQ(at12.style, StatusBarStyle::BlackOpaque);
    EXPECT_EQ(at12.queued, 2u);
    EXPECT_EQ(at12.tabs, 2u);
    EXPECT_TRUE(at12.tabsInWindow);
    EXPECT_TRUE(at12.windowVisible);
    EXPECT_TRUE(events().events().empty());
    // Step 13 after it.
    EXPECT_EQ(m_queue->operationCount(), 3u);

    // The queue runs them in the order they were added.
    m_queue->setSuspended(false);
    auto status = awaitEvents("status", "/status.php");
    auto offer = awaitEvents("service", "/recommandApp.php");
    ASSERT_EQ(status.size(), 1u);
    ASSERT_EQ(offer.size(), 1u);
    EXPECT_LT(status[0].sequence, offer[0].sequence);
}

TEST_F(ShellIntegrationTest, NoNetworkAtStartWarnsOnceAndStartUpGoesOn) {
    struct Case {
        const char* network;
        const char* languages;
        std::optional<std::string> title; // nothing: no warning
        std::string message;
        std::string button;
    };
    const Case cases[] = {
        {"none", "en", "Network", "Sorry, you may need internet connection to use this app.", "OK"},
        {"none", "zh-Hans,en", "网络", "抱歉，使用本应用需要连接互联网。", "好"},
        {"carrier", "en", std::nullopt, "", ""},
        {"wifi", "en", std::nullopt, "", ""},
    };
    startServers(withoutOffer());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.network) + " " + c.languages);
        events().clear();
        useDevice({std::string("network=") + c.network, std::string("preferredLanguages=") + c.languages});
        launch();
        auto alerts = alertsOnScreen();
        if (c.title) {
            ASSERT_EQ(alerts.size(), 1u);
            EXPECT_EQ(alerts[0]->title(), c.title);
            EXPECT_EQ(alerts[0]->message(), c.message);
            ASSERT_EQ(alerts[0]->numberOfButtons(), 1);
            EXPECT_EQ(alerts[0]->buttonTitleAtIndex(0), c.button);
        } else {
            EXPECT_TRUE(alerts.empty());
        }
        // Start-up went on: the tabs are there and the ping goes out (the
        // device's web view refuses to load without network, so the pool
        // only arrives when there is one).
        ASSERT_NE(phone()->tabController(), nullptr);
        EXPECT_FALSE(phone()->window()->isHidden());
        EXPECT_EQ(awaitEvents("status", "/status.php").size(), 1u);
        if (!c.title) {
            EXPECT_TRUE(awaitPoolLoads(1));
        }
        // Shown once only.
        EXPECT_EQ(alertsOnScreen().size(), c.title ? 1u : 0u);
        if (c.title) {
            ASSERT_TRUE(Interaction::tapAlertButton(0));
        }
        endRun();
    }
}

TEST_F(ShellIntegrationTest, TabTitlesFollowTheUsersLanguage) {
    struct Case {
        const char* languages;
        const char* pool;
        const char* post;
    };
    const Case cases[] = {{"en", "Secret pool", "Post your secret"},
                          {"zh-Hans,en", "秘密池", "说出秘密"},
                          {"de,en", "Secret pool", "Post your secret"}};
    startServers(withoutOffer());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.languages);
        useDevice({std::string("preferredLanguages=") + c.languages});
        launch();
        {
            auto tabs = phone()->tabController();
            ASSERT_NE(tabs, nullptr);
            EXPECT_EQ(tabs->viewControllers()[0]->tabBarItem()->title(), c.pool);
            EXPECT_EQ(tabs->viewControllers()[1]->tabBarItem()->title(), c.post);
        }
        endRun();
    }
}

TEST_F(ShellIntegrationTest, TappingATabLoadsItsPageEveryTime) {
    startServers(withoutOffer());
    launch();
    ASSERT_TRUE(awaitPoolLoads(1));
    Interaction::settle(kShellBound);
    auto tabs = phone()->tabController();
    auto pool = phone()->navController()->topViewController();
    auto posting = tabs->viewControllers()[1];

    // "Post your secret": its page on the first tap, and again on a tap of
    // the selected tab.
    ASSERT_TRUE(Interaction::tapTab("Post your secret"));
    ASSERT_TRUE(awaitPostingLoads(1));
    EXPECT_EQ(tabs->selectedIndex(), 1u);
    showOtherPage(*posting, "post");
    ASSERT_TRUE(Interaction::tapTab("Post your secret"));
    ASSERT_TRUE(awaitPostingLoads(2));

    // "Secret pool": the pool again 0.3 s after the tap, from the other tab
    // and from itself.
    for (const char* marker : {"from-post", "from-pool"}) {
        SCOPED_TRACE(marker);
        showOtherPage(*pool, marker);
        const size_t before = poolLoads();
        const double tappedAt = Date::now().since1970();
        ASSERT_TRUE(Interaction::tapTab("Secret pool"));
        EXPECT_EQ(tabs->selectedIndex(), 0u);
        ASSERT_TRUE(awaitPoolLoads(before + 1));
        EXPECT_GE(events().events("content").back().time - tappedAt,
                  AppDelegate_Phone::kSecretPoolReloadDelay - 0.01);
    }

    // The address already shown is not loaded again.
    Interaction::settle(kShellBound);
    const size_t shown = poolLoads();
    ASSERT_TRUE(Interaction::tapTab("Secret pool"));
    runFor(AppDelegate_Phone::kSecretPoolReloadDelay + 0.3);
    EXPECT_EQ(poolLoads(), shown);
}

TEST_F(ShellIntegrationTest, PoolTabLoadsIntoThePushedScreenOnTop) {
    startServers(withoutOffer());
    launch();
    ASSERT_TRUE(awaitPoolLoads(1));
    Interaction::settle(kShellBound);
    auto navigation = phone()->navController();
    auto stacked = std::make_shared<OVAllWebViewController>();
    navigation->pushViewController(stacked, false);
    Interaction::settle(kShellBound);
    showOtherPage(*stacked, "stacked");

    ASSERT_TRUE(Interaction::tapTab("Secret pool"));
    ASSERT_TRUE(awaitPoolLoads(2));
    Interaction::settle(kShellBound);
    const std::string pool = OVUtils::urlByAddingParamsForURL(AppDelegate_Phone::secretPoolAddress());
    ASSERT_TRUE(stacked->webView() && stacked->webView()->request());
    EXPECT_EQ(stacked->webView()->request()->url.absoluteString(), pool);
    EXPECT_EQ(navigation->topViewController(), stacked);
    EXPECT_EQ(navigation->viewControllers().size(), 2u);
}

TEST_F(ShellIntegrationTest, SwitchNotificationFromAWorkerSelectsThePoolAndReloadsIt) {
    startServers(withoutOffer());
    launch();
    ASSERT_TRUE(awaitPoolLoads(1));
    ASSERT_TRUE(Interaction::tapTab("Post your secret"));
    ASSERT_TRUE(awaitPostingLoads(1));
    Interaction::settle(kShellBound);
    auto tabs = phone()->tabController();
    ASSERT_EQ(tabs->selectedIndex(), 1u);

    std::atomic<bool> posted{false};
    std::thread worker([&] {
        NotificationCenter::defaultCenter().postNotificationName(
            AppDelegate_Phone::kSwitchToSecretTabNotification);
        posted = true; // only after the switch ran on the main thread
    });
    const bool returned = Interaction::runUntil([&] { return posted.load(); }, kShellBound);
    worker.join();
    ASSERT_TRUE(returned);
    EXPECT_EQ(tabs->selectedIndex(), 0u);

    // A reload of the page shown, even though it is the same address...
    ASSERT_TRUE(awaitPoolLoads(2));
    // ...and no delayed load after it: the tab-selection operation did not run.
    runFor(AppDelegate_Phone::kSecretPoolReloadDelay + 0.3);
    EXPECT_EQ(poolLoads(), 2u);
}

TEST_F(ShellIntegrationTest, RecommendationAcrossLaunches) {
    enum class Answer { None, Decline, Accept };
    struct Launch {
        std::string offered;
        bool shown;
        Answer answer;
    };
    struct Case {
        const char* name;
        std::vector<Launch> launches;
        std::string storedVersion;
        std::optional<std::string> clicked;
    };
    const Case cases[] = {
        {"below 1.0: once only",
         {{"0.5", true, Answer::Decline}, {"0.5", false, Answer::None}},
         "0.5",
         std::nullopt},
        {"until accepted, then only higher versions",
         {{"1.0", true, Answer::Decline},
          {"1.0", true, Answer::Accept},
          {"1.0", false, Answer::None},
          {"1.1", true, Answer::Decline}},
         "1.1",
         "1"},
        {"accepted, lower version",
         {{"2.0", true, Answer::Accept}, {"1.5", false, Answer::None}},
         "2.0",
         "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A new installation.
        std::filesystem::remove_all(AppHome::current()->preferencesDirectory());
        DeviceProfile::resetCurrent();
        UserDefaults::resetStandardUserDefaults();
        size_t accepted = 0;
        for (size_t i = 0; i < c.launches.size(); ++i) {
            const Launch& l = c.launches[i];
            SCOPED_TRACE("launch " + std::to_string(i + 1) + " offering " + l.offered);
            startServers(offering(l.offered));
            opened.clear();
            launch();
            ASSERT_TRUE(awaitOfferDecision());
            auto alert = alertTagged(AppDelegate_Phone::kRecommendationAlertTag);
            ASSERT_EQ(alert != nullptr, l.shown);
            if (l.answer == Answer::Decline) {
                ASSERT_TRUE(Interaction::tapAlertButton(0));
                EXPECT_TRUE(opened.empty());
            }
            if (l.answer == Answer::Accept) {
                ASSERT_TRUE(Interaction::tapAlertButton(1));
                EXPECT_EQ(opened, std::vector<std::string>{m_servers->config().recommendation.appUrl});
                ++accepted;
            }
            // The notify ping runs in the background.
            ASSERT_TRUE(m_queue->waitUntilAllOperationsAreFinished(kShellBound));
            EXPECT_EQ(countEvents("service", "/recommandClicked.php"), l.answer == Answer::Accept ? 1u : 0u);
            endRun();
        }
        // What the next launch will find on disk.
        auto stored = dictionaryWithContentsOfFile(UserDefaults::standardUserDefaults()->path());
        ASSERT_TRUE(stored.has_value());
        const Value* version = stored->find(AppDelegate_Phone::kRecommendVersionKey);
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version->stringValue(), c.storedVersion);
        const Value* clicked = stored->find(AppDelegate_Phone::kRecommendClickedKey);
        EXPECT_EQ(clicked ? std::optional<std::string>(clicked->stringValue()) : std::nullopt, c.clicked);
        EXPECT_EQ(accepted > 0, c.clicked.has_value());
    }
}

TEST_F(ShellIntegrationTest, CookiesOutlastARestartUnlessTheirFileIsDamaged) {
    enum class Between { Nothing, DamageTheFile };
    struct Case {
        const char* name;
        Between between;
        bool sentAgain;
    };
    const Case cases[] = {
        {"kept", Between::Nothing, true},
        {"damaged file", Between::DamageTheFile, false},
    };
    const std::string damaged = "MurmeloCookies 1\ncookie\tcut short";
    // The content server's session cookie on the n-th pool load.
    auto sessionCookieSent = [&](size_t load) {
        size_t seen = 0;
        for (const auto& event : events().events("content")) {
            if (event.path == "/index.php" && event.query == OVUtils::customHTTPGETParams() &&
                ++seen == load) {
                return event.header("Cookie").value_or("").find("MURMELO_SESSION=") != std::string::npos;
            }
        }
        ADD_FAILURE() << "no pool load " << load;
        return false;
    };
    // The server logs a load before the app has its reply: wait until the
    // cookie it sets has reached the disk before ending a run.
    auto awaitKeptCookie = [](const std::string& file) {
        return Interaction::runUntil(
            [&] {
                auto kept = CookieFile::read(file);
                return kept && !kept->empty();
            },
            kShellBound);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = Application::cookieFilePath();
        std::filesystem::remove_all(fs::parentPath(file));
        const size_t loads = poolLoads();
        launch();
        ASSERT_TRUE(awaitPoolLoads(loads + 1));
        EXPECT_FALSE(sessionCookieSent(loads + 1)) << "a new installation has no cookies";
        ASSERT_TRUE(awaitKeptCookie(file));
        endRun();
        if (c.between == Between::DamageTheFile) {
            writeFile(file, damaged);
        }

        launch();
        ASSERT_TRUE(awaitPoolLoads(loads + 2));
        EXPECT_EQ(sessionCookieSent(loads + 2), c.sentAgain);
        ASSERT_TRUE(awaitKeptCookie(file));
        endRun();
        if (c.between == Between::DamageTheFile) {
            EXPECT_EQ(readFile(file + ".damaged"), damaged);
        }
        // The cookie the server set on this launch is on disk in sound form.
        auto kept = CookieFile::read(file);
        ASSERT_TRUE(kept) << kept.error().localizedDescription();
        EXPECT_EQ(kept->size(), 1u);
    }
}

TEST_F(ShellIntegrationTest, UnreadableOfferIsLoggedAndChangesNothing) {
    struct Case {
        const char* name;
        int status;
        std::string body;
    };
    const std::string arrayList =
        *PropertyListSerialization::dataWithPropertyList(Value(Array{Value("1.0")}), PropertyListFormat::Xml);
    const Case cases[] = {
        {"not found", 404, "no recommendation"},
        {"no property list", 200, "<html>maintenance</html>"},
        {"not a dictionary", 200, arrayList},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer service(ScriptedHttpServer::replyingWith([&](const ReceivedRequest&) {
            return ScriptedReply::text(c.status, c.body, "application/x-plist");
        }));
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules(std::string(kServiceServerHost) +
                                                    ":80:127.0.0.1:" + std::to_string(service.port()) +
                                                    ",::127.0.0.1:" + std::to_string(m_servers->port())));
        LogCapture log;
        launch();
        ASSERT_TRUE(Interaction::runUntil([&] { return !service.requests().empty(); }, kShellBound));
        ASSERT_TRUE(m_queue->waitUntilAllOperationsAreFinished(kShellBound));
        Interaction::settle(kShellBound);
        EXPECT_EQ(alertTagged(AppDelegate_Phone::kRecommendationAlertTag), nullptr);
        EXPECT_FALSE(phone()->appUrl().has_value());
        EXPECT_FALSE(
            UserDefaults::standardUserDefaults()->objectForKey(AppDelegate_Phone::kRecommendVersionKey));
        bool logged = false;
        for (const auto& line : log.messages()) {
            logged = logged || line.rfind("Error: ", 0) == 0;
        }
        EXPECT_TRUE(logged);
        endRun();
    }
}

// A status server that drips its reply a byte at a time never trips the
// request's inactivity limit; the overall deadline ends the ping, and the
// application goes on as it does when the ping fails.
TEST_F(ShellIntegrationTest, ADrippingStatusServerDoesNotKeepThePingRunning) {
    ScriptedHttpServer status(ScriptedHttpServer::drippingBody(0.02, 4.5));
    ConnectToMap::shared().clear();
    ASSERT_TRUE(ConnectToMap::shared().addRules(std::string(kStatusServerHost) +
                                                ":80:127.0.0.1:" + std::to_string(status.port()) +
                                                ",::127.0.0.1:" + std::to_string(m_servers->port())));
    const double previousDefault = ASIHTTPRequest::defaultTimeOutSeconds();
    ASIHTTPRequest::setDefaultTimeOutSeconds(0.6); // the deadline is three of them
    launch();
    ASSERT_TRUE(status.waitForRequests(1, kShellBound));
    const double began = Clock::monotonic();
    EXPECT_TRUE(m_queue->waitUntilAllOperationsAreFinished(3.0)) << "the ping is still running";
    EXPECT_LT(Clock::monotonic() - began, 3.0);
    ASIHTTPRequest::setDefaultTimeOutSeconds(previousDefault);
    EXPECT_TRUE(awaitPoolLoads(1));
    EXPECT_TRUE(awaitOfferDecision());
    EXPECT_NE(alertTagged(AppDelegate_Phone::kRecommendationAlertTag), nullptr);
    EXPECT_EQ(countEvents("status", "/status.php"), 0u);
}

TEST_F(ShellIntegrationTest, TabletShowsOnlyTheWindow) {
    useDevice({"idiom=pad"});
    launch();
    auto pad = std::dynamic_pointer_cast<AppDelegate_Pad>(Application::sharedApplication().delegate());
    ASSERT_NE(pad, nullptr);
    ASSERT_NE(pad->window(), nullptr);
    EXPECT_TRUE(pad->window()->isKeyWindow());
    EXPECT_FALSE(pad->window()->isHidden());
    EXPECT_TRUE(pad->window()->subviews().empty());
    EXPECT_EQ(m_queue->operationCount(), 0u); // no ping, no offer
    EXPECT_TRUE(alertsOnScreen().empty());
    runFor(AppDelegate_Phone::kSecretPoolReloadDelay + 0.3);
    EXPECT_TRUE(events().events().empty());
}

} // namespace
