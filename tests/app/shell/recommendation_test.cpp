// The recommended-application offer on its own: the decision between the
// stored version, the clicked flag and the offered version; the alert it
// shows; and what accepting or declining it does.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/base/OVOperationManager.h"
#include "app/shell/AppDelegate_Phone.h"
#include "platform/core/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Interaction.h"
#include "tests/app/shell/shell_resources.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temporary_directory.h"

using namespace murmelo;
using murmelo::test::alertsOnScreen;

namespace {

class RecommendationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AppHome::replaceCurrentForTesting(m_dir.path() + "/home"));
        Bundle::setMainBundlePath(test::applicationResources());
        UserDefaults::resetStandardUserDefaults();
        DeviceProfile::resetCurrent();
        Application::resetSharedForTesting();
        Application::setAnimationDurationScale(0.05);
        Application::sharedApplication().setOpenURLHandler([this](const URL& url) {
            m_opened.push_back(url.absoluteString());
            return true;
        });
        m_delegate = std::make_shared<AppDelegate_Phone>();
    }
    void TearDown() override {
        Application::resetSharedForTesting();
        UserDefaults::resetStandardUserDefaults();
        DeviceProfile::resetCurrent();
    }

    static std::shared_ptr<UserDefaults> defaults() { return UserDefaults::standardUserDefaults(); }

    static void store(const char* key, const std::optional<std::string>& value) {
        defaults()->setObject(value ? Value(*value) : Value(), key);
    }

    static std::shared_ptr<AlertView> offerAlert() {
        for (const auto& alert : alertsOnScreen()) {
            if (alert->tag() == AppDelegate_Phone::kRecommendationAlertTag) {
                return alert;
            }
        }
        return nullptr;
    }

    static Dictionary offer(std::optional<Value> ver) {
        Dictionary reply{{"title", "Try Doodlo"},
                         {"message", "Doodles that move."},
                         {"okayBtn", "Get it"},
                         {"cancelBtn", "No, thanks"},
                         {"appUrl", "http://itunes.apple.example/app/doodlo/id1"},
                         {"notifyUrl", ""}};
        if (ver) {
            reply.set("ver", *ver);
        }
        return reply;
    }

    test::TemporaryDirectory m_dir;
    std::vector<std::string> m_opened;
    std::shared_ptr<AppDelegate_Phone> m_delegate;
};

TEST_F(RecommendationTest, DecisionFollowsStoredVersionClickedFlagAndOffer) {
    struct Case {
        const char* name;
        std::optional<std::string> stored;
        std::optional<std::string> clicked;
        std::optional<Value> offered;
        bool shown;
        std::optional<std::string> storedAfter;
    };
    const Case cases[] = {
        {"fresh, below 1.0", std::nullopt, std::nullopt, Value("0.5"), true, "0.5"},
        {"seen below 1.0", "0.5", std::nullopt, Value("0.5"), false, "0.5"},
        {"seen, higher but below 1.0", "0.5", std::nullopt, Value("0.9"), false, "0.5"},
        {"seen 1.0, never accepted", "1.0", std::nullopt, Value("1.0"), true, "1.0"},
        {"flag 0 is not accepted", "1.0", "0", Value("1.0"), true, "1.0"},
        {"accepted, same version", "1.0", "1", Value("1.0"), false, "1.0"},
        {"accepted, higher version", "1.0", "1", Value("1.1"), true, "1.1"},
        {"accepted, lower version", "2.0", "1", Value("1.5"), false, "2.0"},
        {"number version", "0.9", "1", Value(1.2), true, "1.2"},
        {"fresh, no version", std::nullopt, std::nullopt, std::nullopt, true, std::nullopt},
        {"seen, no version offered", "1.0", std::nullopt, std::nullopt, false, "1.0"},
        {"a container is no version", std::nullopt, std::nullopt, Value(Array{Value("3.0")}), true,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store(AppDelegate_Phone::kRecommendVersionKey, c.stored);
        store(AppDelegate_Phone::kRecommendClickedKey, c.clicked);

        m_delegate->showRecommandApp(offer(c.offered));

        auto alert = offerAlert();
        EXPECT_EQ(alert != nullptr, c.shown);
        EXPECT_EQ(defaults()->stringForKey(AppDelegate_Phone::kRecommendVersionKey), c.storedAfter);
        // The links are kept whether or not the offer is shown.
        EXPECT_EQ(m_delegate->appUrl(), "http://itunes.apple.example/app/doodlo/id1");
        EXPECT_EQ(m_delegate->notifyUrl(), "");
        if (alert) {
            alert->dismissWithClickedButtonIndex(0, false);
        }
        ASSERT_TRUE(Interaction::settle());
        EXPECT_TRUE(alertsOnScreen().empty());
    }
}

TEST_F(RecommendationTest, AlertShowsTheOfferWithAcceptingButtonSecond) {
    struct Case {
        const char* name;
        Dictionary reply;
        std::optional<std::string> title;
        std::optional<std::string> message;
        std::string cancel;
        std::string accept;
    };
    const Case cases[] = {
        {"complete offer",
         Dictionary{
             {"ver", "1.0"}, {"title", "T"}, {"message", "M"}, {"okayBtn", "Yes"}, {"cancelBtn", "No"}},
         "T", "M", "No", "Yes"},
        // Without titles the buttons still read and keep their places.
        {"no button titles", Dictionary{{"ver", "1.0"}, {"title", "T"}}, "T", std::nullopt, "Cancel", "OK"},
        {"empty button titles", Dictionary{{"ver", "1.0"}, {"okayBtn", ""}, {"cancelBtn", ""}}, std::nullopt,
         std::nullopt, "Cancel", "OK"},
        {"texts of another type", Dictionary{{"ver", "1.0"}, {"title", 7}, {"okayBtn", Value(true)}},
         std::nullopt, std::nullopt, "Cancel", "OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults()->removeObjectForKey(AppDelegate_Phone::kRecommendVersionKey);
        m_delegate->showRecommandApp(c.reply);
        auto alert = offerAlert();
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->title(), c.title);
        EXPECT_EQ(alert->message(), c.message);
        ASSERT_EQ(alert->numberOfButtons(), 2);
        EXPECT_EQ(alert->cancelButtonIndex(), 0);
        EXPECT_EQ(alert->buttonTitleAtIndex(0), c.cancel);
        EXPECT_EQ(alert->buttonTitleAtIndex(AppDelegate_Phone::kRecommendationAcceptIndex), c.accept);
        EXPECT_EQ(alert->delegate(), m_delegate);
        alert->dismissWithClickedButtonIndex(0, false);
        ASSERT_TRUE(Interaction::settle());
    }
}

TEST_F(RecommendationTest, OnlyTheAcceptingButtonOfTheOfferActs) {
    struct Case {
        const char* name;
        int tag;
        int button;
        std::optional<std::string> appUrl;
        bool opens;
        bool flagged;
    };
    const Case cases[] = {
        {"accept", AppDelegate_Phone::kRecommendationAlertTag, 1, "http://apps.example/doodlo", true, true},
        {"cancel", AppDelegate_Phone::kRecommendationAlertTag, 0, "http://apps.example/doodlo", false, false},
        {"another alert", 7, 1, "http://apps.example/doodlo", false, false},
        // Nothing to open: the acceptance is still remembered.
        {"accept without a link", AppDelegate_Phone::kRecommendationAlertTag, 1, std::nullopt, false, true},
        {"accept with a broken link", AppDelegate_Phone::kRecommendationAlertTag, 1, "http://bad host/",
         false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_opened.clear();
        defaults()->removeObjectForKey(AppDelegate_Phone::kRecommendClickedKey);
        m_delegate->setAppUrl(c.appUrl);
        m_delegate->setNotifyUrl(std::nullopt); // nothing to fetch: returns at once
        auto alert = std::make_shared<AlertView>(std::string("Offer"), std::nullopt,
                                                 std::weak_ptr<AlertViewDelegate>(), std::string("No"),
                                                 std::vector<std::string>{"Yes"});
        alert->setTag(c.tag);

        m_delegate->clickedButtonAtIndex(*alert, c.button);

        EXPECT_EQ(m_opened, c.opens ? std::vector<std::string>{*c.appUrl} : std::vector<std::string>{});
        EXPECT_EQ(defaults()->stringForKey(AppDelegate_Phone::kRecommendClickedKey),
                  c.flagged ? std::optional<std::string>("1") : std::nullopt);
    }
}

TEST_F(RecommendationTest, TappingTheAlertReachesTheDelegate) {
    defaults()->removeObjectForKey(AppDelegate_Phone::kRecommendVersionKey);
    m_delegate->showRecommandApp(offer(Value("1.0")));
    ASSERT_NE(offerAlert(), nullptr);
    ASSERT_TRUE(Interaction::tapAlertButton(1));
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(m_opened, std::vector<std::string>{"http://itunes.apple.example/app/doodlo/id1"});
    EXPECT_EQ(defaults()->stringForKey(AppDelegate_Phone::kRecommendClickedKey), "1");
    EXPECT_EQ(offerAlert(), nullptr);
}

// However slowly the notify address answers, accepting returns at once: the
// ping goes out in the background and nothing waits for it.
TEST_F(RecommendationTest, AcceptingDoesNotWaitForTheNotifyAddress) {
    using test::ScriptedHttpServer;
    struct Case {
        const char* name;
        ScriptedHttpServer::Script script;
    };
    const Case cases[] = {
        {"a byte now and then", ScriptedHttpServer::drippingBody(0.05, 3.0)},
        {"silent", ScriptedHttpServer::replyingWith([](const test::ReceivedRequest&) {
             return test::ScriptedReply::rawBytes(test::ScriptedReply::Action::Silent, "");
         })},
    };
    auto queue = std::make_shared<OperationQueue>(1, "recommendation-test");
    OVOperationManager::sharedOperationManager().setOperationQueue(queue);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults()->removeObjectForKey(AppDelegate_Phone::kRecommendClickedKey);
        {
            ScriptedHttpServer notify(c.script);
            m_delegate->setAppUrl(std::nullopt);
            m_delegate->setNotifyUrl(notify.url("/recommandClicked.php"));
            AlertView alert(std::string("Offer"), std::nullopt, std::weak_ptr<AlertViewDelegate>(),
                            std::string("No"), std::vector<std::string>{"Yes"});
            alert.setTag(AppDelegate_Phone::kRecommendationAlertTag);

            const double began = Clock::monotonic();
            m_delegate->clickedButtonAtIndex(alert, AppDelegate_Phone::kRecommendationAcceptIndex);
            EXPECT_LT(Clock::monotonic() - began, 0.25) << "the main thread waited for the ping";

            EXPECT_EQ(defaults()->stringForKey(AppDelegate_Phone::kRecommendClickedKey), "1");
            EXPECT_TRUE(notify.waitForRequests(1, test::kShellBound));
        } // the server goes away, and with it the ping
        EXPECT_TRUE(queue->waitUntilAllOperationsAreFinished(test::kShellBound));
    }
}

} // namespace
