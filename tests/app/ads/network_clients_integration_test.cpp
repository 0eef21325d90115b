// The AdMob and AdSense adapters and clients against their stand-ins on
// loopback: an ad fetched, drawn and tapped open; no ad rolls over to the
// next network; the AdSense request's attributes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlView.h"
#include "app/ads/adapters/AdWhirlAdapterAdMob.h"
#include "app/ads/adapters/AdWhirlAdapterGoogleAdSense.h"
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
    std::optional<std::string> company = "Orvanti";
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
        m_window = makeWindow();
        m_owner = std::make_shared<KeywordOwner>(std::string(servers::kMediationAppKey));
        m_window->setRootViewController(m_owner->presenter);
    }
    void TearDown() override {
        m_banner.reset();
        AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(1);
        AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(14);
        AdWhirlConfig::resetConfigsForTesting();
        ConnectToMap::shared().clear();
        m_servers.reset();
        test::UITest::TearDown();
    }
    void start(double fillRate, int type = 1) {
        servers::ReferenceServers::Options options;
        options.dataDirectory = dir().path() + "/servers";
        options.logRequests = false;
        options.config.adMobFillRate = fillRate;
        options.config.adSenseFillRate = fillRate;
        auto started = servers::ReferenceServers::start(options);
        ASSERT_TRUE(started) << started.error().localizedDescription();
        m_servers = std::move(*started);
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:" + std::to_string(m_servers->port())));
        auto config = std::make_shared<AdWhirlConfig>(std::string(servers::kMediationAppKey));
        ASSERT_TRUE(
            config->parseConfig(R"({"extra":{"refresh_interval":0,"transition":0},"rations":[)"
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

} // namespace
} // namespace murmelo
