// The banner against the reference mediation server on loopback: the
// configuration fetch waits for reachability, listeners of a failed fetch
// hear the failure, and impressions reach "exmet.php" with their query.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ads/AdUtils.h"
#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlView.h"
#include "app/product/Constants.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ConnectToMap.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/runloop/ManualClock.h"
#include "platform/ui/Event.h"
#include "platform/ui/Interaction.h"
#include "servers/ReferenceServers.h"
#include "tests/app/ads/ads_test_support.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo {
namespace {

constexpr double kBound = 10.0;

class AdsIntegrationTest : public test::UITest {
protected:
    void SetUp() override {
        test::UITest::SetUp();
        AdWhirlConfig::resetConfigsForTesting();
        servers::ReferenceServers::Options options;
        options.dataDirectory = dir().path() + "/servers";
        options.logRequests = false;
        options.config.adsenseKeywords = "  love, night  ";
        auto started = servers::ReferenceServers::start(options);
        ASSERT_TRUE(started) << started.error().localizedDescription();
        m_servers = std::move(*started);
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:" + std::to_string(m_servers->port())));
        ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Wifi);
    }
    void TearDown() override {
        m_banners.clear();
        AdWhirlConfig::resetConfigsForTesting();
        ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Wifi);
        ConnectToMap::shared().clear();
        m_servers.reset();
        test::UITest::TearDown();
    }

    std::shared_ptr<AdWhirlView> banner(const std::shared_ptr<test::RecordingOwner>& owner) {
        auto made = AdWhirlView::requestAdWhirlViewWithDelegate(owner);
        EXPECT_TRUE(made);
        m_banners.push_back(*made);
        return *made;
    }
    std::vector<servers::RecordedEvent> requests(const std::string& path) const {
        std::vector<servers::RecordedEvent> out;
        for (auto& event : m_servers->events().events()) {
            if (event.path == path) {
                out.push_back(event);
            }
        }
        return out;
    }

    test::ScriptedAdapters m_adapters{{1, 9, 14}};
    std::unique_ptr<servers::ReferenceServers> m_servers;
    std::vector<std::shared_ptr<AdWhirlView>> m_banners;
};

TEST_F(AdsIntegrationTest, FetchWaitsForReachabilityThenServesAndPings) {
    ReachabilityDeviceSource::shared().setNetworkState(NetworkState::None);
    auto owner = std::make_shared<test::RecordingOwner>(std::string(Constant_AdWhirlApplicationKey));
    auto ad = banner(owner);
    (void)Interaction::runUntil([] { return false; }, 0.3);
    EXPECT_TRUE(requests("/getInfo.php").empty());
    EXPECT_FALSE(ad->config()->fetched());

    ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Wifi);
    ASSERT_TRUE(Interaction::runUntil([&] { return ad->adExists(); }, kBound));
    ASSERT_EQ(requests("/getInfo.php").size(), 1u);
    EXPECT_EQ(requests("/getInfo.php")[0].query,
              "appid=" + std::string(Constant_AdWhirlApplicationKey) + "&appver=230&client=1");
    EXPECT_EQ(ad->config()->adNetworkConfigs().size(), 3u);

    ASSERT_TRUE(Interaction::runUntil([&] { return !requests("/exmet.php").empty(); }, kBound));
    const auto& network = *ad->currAdapter()->networkConfig();
    EXPECT_EQ(requests("/exmet.php")[0].query,
              "appid=" + std::string(Constant_AdWhirlApplicationKey) + "&nid=" + network.nid() +
                  "&type=" + std::to_string(network.networkType()) +
                  "&country_code=" + Locale::currentLocale().localeIdentifier() + "&appver=230&client=1");
}

TEST_F(AdsIntegrationTest, EveryListenerOfAFailedFetchHearsTheFailure) {
    ManualClock clock;
    auto first = std::make_shared<test::RecordingOwner>("no-such-key");
    auto second = std::make_shared<test::RecordingOwner>("no-such-key");
    banner(first);
    ASSERT_TRUE(Interaction::runUntil([&] { return !first->events.empty(); }, kBound));
    EXPECT_EQ(first->events, std::vector<std::string>{"failed 11"});

    // Made after the failure: answered on the next turn, without a new fetch.
    auto late = banner(second);
    ASSERT_TRUE(Interaction::runUntil([&] { return !second->events.empty(); }, kBound));
    EXPECT_EQ(second->events, std::vector<std::string>{"failed 11"});
    EXPECT_EQ(requests("/getInfo.php").size(), 1u);

    // An explicit refresh fetches again, but not within a minute of the failure.
    late->requestFreshAd();
    EXPECT_EQ(second->events.back(), "failed 120");
    clock.advance(AdWhirlConfig::kRetryBackoffSeconds);
    late->requestFreshAd();
    ASSERT_TRUE(Interaction::runUntil([&] { return second->events.size() == 3; }, kBound));
    EXPECT_EQ(second->events.back(), "failed 11");
    EXPECT_EQ(requests("/getInfo.php").size(), 2u);
}

TEST_F(AdsIntegrationTest, KeywordsAreFetchedOnceStoredTrimmedAndRetriedAfterAFailure) {
    AdUtils& ads = AdUtils::sharedAdUtils();
    auto keywordFetches = [&] { return requests("/adsensekeywords.php").size(); };

    // Nothing answers: the fetch stores nothing and the next call tries again.
    ConnectToMap::shared().clear();
    ASSERT_TRUE(ConnectToMap::shared().addRules("service.murmelo.example:80:127.0.0.1:1"));
    EXPECT_EQ(ads.getAdsenseKeywords(), "secret");
    ASSERT_TRUE(Interaction::runUntil([&] { return !ads.isFetchingKeywords(); }, kBound));
    EXPECT_FALSE(UserDefaults::standardUserDefaults()->stringForKey("adsense_keywords"));

    ConnectToMap::shared().clear();
    ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:" + std::to_string(m_servers->port())));
    EXPECT_EQ(ads.getAdsenseKeywords(), "secret");
    EXPECT_EQ(ads.getAdsenseKeywords(), "secret"); // one fetch in flight is enough
    ASSERT_TRUE(Interaction::runUntil([&] { return !ads.isFetchingKeywords(); }, kBound));
    EXPECT_EQ(keywordFetches(), 1u);
    EXPECT_EQ(ads.getAdsenseKeywords(), "love, night");
    EXPECT_FALSE(ads.isFetchingKeywords());
    EXPECT_EQ(keywordFetches(), 1u);
}

TEST_F(AdsIntegrationTest, ClickPingNamesTheNetworkShown) {
    auto owner = std::make_shared<test::RecordingOwner>(std::string(Constant_AdWhirlApplicationKey));
    auto ad = banner(owner);
    ASSERT_TRUE(Interaction::runUntil([&] { return ad->adExists(); }, kBound));
    Touch touch;
    touch.view = ad;
    touch.locationInWindow = Point{5, 5};
    touch.phase = TouchPhase::Ended;
    Event event;
    ad->touchesEnded({touch}, &event);
    ad->touchesEnded({touch}, &event); // the same ad counts once
    ASSERT_TRUE(Interaction::runUntil([&] { return !requests("/exclick.php").empty(); }, kBound));
    (void)Interaction::runUntil([] { return false; }, 0.2);
    ASSERT_EQ(requests("/exclick.php").size(), 1u);
    EXPECT_NE(
        requests("/exclick.php")[0].query.find("&nid=" + ad->currAdapter()->networkConfig()->nid() + "&"),
        std::string::npos);
}

TEST_F(AdsIntegrationTest, TwoBannersShareOneFetch) {
    auto first = std::make_shared<test::RecordingOwner>(std::string(Constant_AdWhirlApplicationKey));
    auto second = std::make_shared<test::RecordingOwner>(std::string(Constant_AdWhirlApplicationKey));
    auto a = banner(first);
    auto b = banner(second);
    EXPECT_EQ(a->config(), b->config());
    ASSERT_TRUE(Interaction::runUntil([&] { return a->adExists() && b->adExists(); }, kBound));
    // Made after the fetch: told on a later turn, still without a new fetch.
    auto third = std::make_shared<test::RecordingOwner>(std::string(Constant_AdWhirlApplicationKey));
    auto c = banner(third);
    EXPECT_FALSE(c->adExists());
    ASSERT_TRUE(Interaction::runUntil([&] { return c->adExists(); }, kBound));
    EXPECT_EQ(requests("/getInfo.php").size(), 1u);
}

} // namespace
} // namespace murmelo
