// The AdMob, AdSense and iAd adapters and clients against their stand-ins on
// loopback: an ad fetched, drawn and tapped open; no ad rolls over to the
// next network; what the requests carry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlView.h"
#include "app/ads/adapters/AdWhirlAdapterAdMob.h"
#include "app/ads/adapters/AdWhirlAdapterGoogleAdSense.h"
#include "app/ads/adapters/AdWhirlAdapterIAd.h"
#include "platform/iad/ADActionViewController.h"
#include "platform/net/ConnectToMap.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/Window.h"
#include "servers/Accounts.h"
#include "servers/ReferenceServers.h"
#include "tests/app/ads/ads_test_support.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo {
namespace {

constexpr double kBound = 10.0;

class KeywordOwner : public test::RecordingOwner {
public:
    using test::RecordingOwner::RecordingOwner;
    std::optional<std::string> keywords() override { return "love & night"; }
    void adWhirlWillPresentFullScreenModal() override { events.push_back("will present"); }
    void adWhirlDidDismissFullScreenModal() override { events.push_back("did dismiss"); }
    std::optional<std::string> googleAdSenseCompanyName() override { return company; }
    std::optional<std::string> googleAdSenseAppName() override { return std::string("Murmelo"); }
    std::optional<std::string> googleAdSenseApplicationAppleID() override { return std::string("381029456"); }
    std::optional<std::string> googleAdSenseKeywords() override { return std::string("secret"); }
    std::optional<std::vector<std::string>> googleAdSenseChannelIDs() override {
        return std::vector<std::string>{"7350918264"};
    }
    std::optional<AdWhirlLocation> locationInfo() override { return location; }
    std::optional<int> adWhirlCurrentOrientation() override { return orientation; }
    std::optional<std::string> gender() override {
        return targeting ? std::optional<std::string>("f") : std::nullopt;
    }
    std::optional<double> dateOfBirth() override {
        return targeting ? std::optional<double>(631152000) : std::nullopt; // 1990-01-01
    }
    std::optional<std::string> postalCode() override {
        return targeting ? std::optional<std::string>("10115") : std::nullopt;
    }
    std::optional<bool> adWhirlTestMode() override { return targeting; }
    std::optional<std::string> googleAdSenseClientID() override {
        return targeting ? std::optional<std::string>("ca-mb-app-pub-9") : std::nullopt;
    }
    std::optional<URL> googleAdSenseAppWebContentURL() override {
        return targeting ? URL::strictParse("http://murmelo.example/about") : std::nullopt;
    }
    std::optional<std::string> googleAdSenseAdType() override {
        return targeting ? std::optional<std::string>("text_image") : std::nullopt;
    }
    std::optional<Color> googleAdSenseAdBorderColor() override {
        return targeting ? std::optional<Color>(Color(1, 0, 0, 1)) : std::nullopt;
    }
    std::optional<bool> googleAdSenseAllowAdsafeMedium() override {
        return targeting ? std::optional<bool>(true) : std::nullopt;
    }
    std::optional<std::string> company = "Orvanti";
    std::optional<AdWhirlLocation> location;
    std::optional<int> orientation;
    bool targeting = false;
};

class NetworkClientsTest : public test::UITest {
protected:
    void SetUp() override {
        test::UITest::SetUp();
        AdWhirlConfig::resetConfigsForTesting();
        AdWhirlAdNetworkRegistry::sharedRegistry().registerClass(
            std::make_shared<const AdWhirlAdapterClass>(AdWhirlAdapterAdMob::adapterClass()));
        AdWhirlAdNetworkRegistry::sharedRegistry().registerClass(
            std::make_shared<const AdWhirlAdapterClass>(AdWhirlAdapterGoogleAdSense::adapterClass()));
        AdWhirlAdNetworkRegistry::sharedRegistry().registerClass(
            std::make_shared<const AdWhirlAdapterClass>(AdWhirlAdapterIAd::adapterClass()));
        m_window = makeWindow();
        m_owner = std::make_shared<KeywordOwner>(std::string(servers::kMediationAppKey));
        m_window->setRootViewController(m_owner->presenter);
    }
    void TearDown() override {
        m_banner.reset();
        AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(1);
        AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(14);
        AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(19);
        AdWhirlConfig::resetConfigsForTesting();
        ConnectToMap::shared().clear();
        m_servers.reset();
        test::UITest::TearDown();
    }
    void start(double fillRate, int type = 1, const std::string& extra = "") {
        servers::ReferenceServers::Options options;
        options.dataDirectory = dir().path() + "/servers";
        options.logRequests = false;
        options.config.adMobFillRate = fillRate;
        options.config.adSenseFillRate = fillRate;
        options.config.iAdFillRate = fillRate;
        auto started = servers::ReferenceServers::start(options);
        ASSERT_TRUE(started) << started.error().localizedDescription();
        m_servers = std::move(*started);
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:" + std::to_string(m_servers->port())));
        auto config = std::make_shared<AdWhirlConfig>(std::string(servers::kMediationAppKey));
        ASSERT_TRUE(
            config->parseConfig(R"({"extra":{"refresh_interval":0,"transition":0)" + extra +
                                R"(},"rations":[)"
                                R"({"type":)" +
                                std::to_string(type) +
                                R"(,"nid":"am","nname":"net","weight":100,"priority":1,)"
                                R"("key":")" +
                                std::string(type == 1 ? "pub-1" : "ca-mb-app-pub-1") +
                                R"("},)"
                                R"({"type":9,"nid":"next","nname":"next","weight":0,"priority":2}]})"));
        AdWhirlConfig::storeConfigForTesting(config);
        auto banner = AdWhirlView::requestAdWhirlViewWithDelegate(m_owner);
        ASSERT_TRUE(banner);
        m_banner = *banner;
        m_banner->setFrame(Rect(0, 361, 320, 50));
        m_window->addSubview(m_banner);
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

    test::ScriptedAdapters m_next{{9}};
    std::shared_ptr<Window> m_window;
    std::shared_ptr<KeywordOwner> m_owner;
    std::shared_ptr<AdWhirlView> m_banner;
    std::unique_ptr<servers::ReferenceServers> m_servers;
};

TEST_F(NetworkClientsTest, AnAdIsFetchedDrawnAndOpensItsPage) {
    start(1.0);
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_owner->events.empty(); }, kBound));
    EXPECT_EQ(m_owner->events, std::vector<std::string>{"received"});
    EXPECT_EQ(requests("/ad_source.php").at(0).query, "s=pub-1&kw=love%20%26%20night");
    auto* ad = dynamic_cast<AdMobView*>(m_banner->viewWithTag(AdWhirlView::kAdViewTag));
    ASSERT_NE(ad, nullptr);
    ASSERT_TRUE(ad->image());
    EXPECT_EQ(ad->image()->size().width, 320);
    EXPECT_NE(dumpScreen().find("AdMob ad \"Doodlo - animate your doodles\" (image)"), std::string::npos);

    ASSERT_TRUE(Interaction::tapAt(Point{160, 385}));
    ASSERT_TRUE(ad->browser());
    EXPECT_EQ(m_owner->presenter->modalViewController(), ad->browser());
    ASSERT_TRUE(Interaction::runUntil(
        [&] { return requests("/click").size() == 1 && requests("/exclick.php").size() == 1; }, kBound));
    ad->browser()->close();
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_banner->showingModalView(); }, kBound));
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"received", "will present", "did dismiss"}));
}

TEST_F(NetworkClientsTest, NoAdRollsOverToTheNextNetwork) {
    start(0.0);
    ASSERT_TRUE(Interaction::runUntil([&] { return m_owner->events.size() >= 2; }, kBound));
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"failed+backup -", "received"}));
    EXPECT_EQ(m_next.script().requests, std::vector<std::string>{"next"});
    EXPECT_EQ(requests("/ad.png").size(), 0u);
}

TEST_F(NetworkClientsTest, AdSenseRequestCarriesTheOwnersAttributesAndShowsTheAd) {
    start(1.0, 14);
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_owner->events.empty(); }, kBound));
    EXPECT_EQ(m_owner->events, std::vector<std::string>{"received"});
    EXPECT_EQ(requests("/pagead/ads").at(0).query, "client=ca-mb-app-pub-1&company=Orvanti&app_name=Murmelo"
                                                   "&app_id=381029456&adtest=0&kw=secret&channel=7350918264");
    auto* shown = m_banner->viewWithTag(AdWhirlView::kAdViewTag);
    ASSERT_NE(shown, nullptr);
    EXPECT_NE(dumpScreen().find("AdSense ad \"Doodlo - animate your doodles\" (image)"), std::string::npos);
}

TEST_F(NetworkClientsTest, AdSenseTakesEveryOptionalAnswerInItsOrder) {
    m_owner->targeting = true;
    start(1.0, 14);
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_owner->events.empty(); }, kBound));
    EXPECT_EQ(requests("/pagead/ads").at(0).query,
              "client=ca-mb-app-pub-9&company=Orvanti&app_name=Murmelo&app_id=381029456&adtest=1&kw=secret"
              "&url=http%3A%2F%2Fmurmelo.example%2Fabout&channel=7350918264&ad_type=text_image"
              "&color_border=FF0000&adsafe=1");
}

TEST_F(NetworkClientsTest, AdSenseWithoutTheRequiredAnswersRollsOver) {
    m_owner->company.reset();
    start(1.0, 14);
    ASSERT_TRUE(Interaction::runUntil([&] { return m_owner->events.size() >= 2; }, kBound));
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"failed+backup -", "received"}));
    ASSERT_TRUE(m_banner->lastAdapterError());
    EXPECT_EQ(
        m_banner->lastAdapterError()->localizedDescription(),
        "You must implement googleAdSenseCompanyName in your AdwhirlDelegate in order to use Google AdSense");
    EXPECT_TRUE(requests("/pagead/ads").empty());
}

TEST_F(NetworkClientsTest, AdSenseWithoutAnAdRollsOver) {
    start(0.0, 14);
    ASSERT_TRUE(Interaction::runUntil([&] { return m_owner->events.size() >= 2; }, kBound));
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"failed+backup -", "received"}));
    EXPECT_EQ(m_banner->lastAdapterError()->domain(), kNetworkBannerErrorDomain);
    EXPECT_EQ(requests("/pagead/ads").size(), 1u);
}

TEST_F(NetworkClientsTest, AdMobRequestCarriesTargetingAndLocationOnlyWhenAllowed) {
    struct Case {
        std::string extra;
        std::optional<AdWhirlLocation> location;
        bool targeting;
        std::string query;
    };
    const AdWhirlLocation berlin{52.5, 13.25, 100};
    const std::vector<Case> cases = {
        {R"(,"location_on":1)", berlin, false,
         "s=pub-1&kw=love%20%26%20night&lat=52.500000&lon=13.250000&lts=100"},
        {R"(,"location_on":0)", berlin, false, "s=pub-1&kw=love%20%26%20night"},
        {R"(,"location_on":1)", std::nullopt, true,
         "s=pub-1&kw=love%20%26%20night&gender=f&dob=19900101&postal=10115&test=Simulator"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        m_owner->location = c.location;
        m_owner->targeting = c.targeting;
        m_owner->events.clear();
        m_banner.reset();
        m_servers.reset();
        AdWhirlConfig::resetConfigsForTesting();
        start(1.0, 1, c.extra);
        ASSERT_TRUE(Interaction::runUntil([&] { return !m_owner->events.empty(); }, kBound));
        EXPECT_EQ(requests("/ad_source.php").at(0).query, c.query);
        m_banner->removeFromSuperview();
    }
}

TEST_F(NetworkClientsTest, IAdLoadsRefreshesIntoTheSameViewAndOpensItsAction) {
    start(1.0, 19);
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_owner->events.empty(); }, kBound));
    EXPECT_EQ(m_owner->events, std::vector<std::string>{"received"});
    EXPECT_EQ(requests("/banner").at(0).query, "size=320x50");
    auto* ad = dynamic_cast<ADBannerView*>(m_banner->viewWithTag(AdWhirlView::kAdViewTag));
    ASSERT_NE(ad, nullptr);
    EXPECT_EQ(ad->frame(), Rect(0, 0, 320, 50));
    EXPECT_NE(dumpScreen().find("iAd banner 320x50 \"Doodlo - animate your doodles\" (image)"),
              std::string::npos);

    // The next ad comes into the same view, and the banner hears of it again.
    ad->setRefreshInterval(0.05);
    ASSERT_TRUE(Interaction::runUntil([&] { return m_owner->events.size() == 2; }, kBound));
    EXPECT_EQ(m_banner->viewWithTag(AdWhirlView::kAdViewTag), ad);
    EXPECT_EQ(m_banner->subviews().size(), 1u);
    EXPECT_NE(dumpScreen().find("iAd banner 320x50 \"Tea Time"), std::string::npos);
    ad->setRefreshInterval(0);

    ASSERT_TRUE(Interaction::tapAt(Point{160, 385}));
    auto action =
        std::dynamic_pointer_cast<ADActionViewController>(m_owner->presenter->modalViewController());
    ASSERT_TRUE(action);
    EXPECT_TRUE(m_banner->showingModalView());
    ASSERT_TRUE(Interaction::runUntil(
        [&] { return requests("/click").size() == 1 && requests("/exclick.php").size() == 1; }, kBound));
    action->done();
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_banner->showingModalView(); }, kBound));
    EXPECT_FALSE(ad->isBannerViewActionInProgress());
    EXPECT_EQ(m_owner->events,
              (std::vector<std::string>{"received", "received", "will present", "did dismiss"}));
}

TEST_F(NetworkClientsTest, IAdTakesTheLandscapeSizeAndTurnsWithTheScreen) {
    m_owner->orientation = 3;
    start(1.0, 19);
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_owner->events.empty(); }, kBound));
    EXPECT_EQ(requests("/banner").at(0).query, "size=480x32");
    auto* ad = dynamic_cast<ADBannerView*>(m_banner->viewWithTag(AdWhirlView::kAdViewTag));
    ASSERT_NE(ad, nullptr);
    EXPECT_EQ(ad->frame(), Rect(0, 0, 480, 32));
    ad->setFrame(Rect(7, 9, 480, 32));
    m_banner->rotateToOrientation(1);
    EXPECT_EQ(ad->frame(), Rect(0, 0, 320, 50));
    EXPECT_EQ(ad->currentContentSizeIdentifier(), ADBannerContentSizeIdentifier320x50);
}

TEST_F(NetworkClientsTest, IAdWithoutAnAdRollsOverWithItsError) {
    start(0.0, 19);
    ASSERT_TRUE(Interaction::runUntil([&] { return m_owner->events.size() >= 2; }, kBound));
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"failed+backup -", "received"}));
    ASSERT_TRUE(m_banner->lastAdapterError());
    EXPECT_EQ(m_banner->lastAdapterError()->domain(), kADErrorDomain);
    EXPECT_EQ(m_banner->lastAdapterError()->code(), static_cast<long>(ADError::InventoryUnavailable));
}

} // namespace
} // namespace murmelo
