// The AdMob adapter and client against the AdMob stand-in on loopback: an ad
// fetched, drawn and tapped open; no ad rolls over to the next network.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlView.h"
#include "app/ads/adapters/AdWhirlAdapterAdMob.h"
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
};

class AdMobTest : public test::UITest {
protected:
    void SetUp() override {
        test::UITest::SetUp();
        AdWhirlConfig::resetConfigsForTesting();
        AdWhirlAdNetworkRegistry::sharedRegistry().registerClass(
            std::make_shared<const AdWhirlAdapterClass>(AdWhirlAdapterAdMob::adapterClass()));
        m_window = makeWindow();
        m_owner = std::make_shared<KeywordOwner>(std::string(servers::kMediationAppKey));
        m_window->setRootViewController(m_owner->presenter);
    }
    void TearDown() override {
        m_banner.reset();
        AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(1);
        AdWhirlConfig::resetConfigsForTesting();
        ConnectToMap::shared().clear();
        m_servers.reset();
        test::UITest::TearDown();
    }
    void start(double fillRate) {
        servers::ReferenceServers::Options options;
        options.dataDirectory = dir().path() + "/servers";
        options.logRequests = false;
        options.config.adMobFillRate = fillRate;
        auto started = servers::ReferenceServers::start(options);
        ASSERT_TRUE(started) << started.error().localizedDescription();
        m_servers = std::move(*started);
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:" + std::to_string(m_servers->port())));
        auto config = std::make_shared<AdWhirlConfig>(std::string(servers::kMediationAppKey));
        ASSERT_TRUE(config->parseConfig(
            R"({"extra":{"refresh_interval":0,"transition":0},"rations":[)"
            R"({"type":1,"nid":"am","nname":"admob","weight":100,"priority":1,"key":"pub-1"},)"
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

TEST_F(AdMobTest, AnAdIsFetchedDrawnAndOpensItsPage) {
    start(1.0);
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_owner->events.empty(); }, kBound));
    EXPECT_EQ(m_owner->events, std::vector<std::string>{"received"});
    EXPECT_EQ(requests("/ad_source.php").at(0).query, "s=pub-1&kw=love%20%26%20night");
    auto* ad = dynamic_cast<AdMobView*>(m_banner->viewWithTag(AdWhirlView::kAdViewTag));
    ASSERT_NE(ad, nullptr);
    ASSERT_TRUE(ad->image());
    EXPECT_EQ(ad->image()->size().width, 320);
    EXPECT_NE(dumpScreen().find("AdMob ad \"Doodlo - animate your doodles\" (image)"), std::string::npos);

    ASSERT_TRUE(Interaction::tapAt(Point(160, 385)));
    ASSERT_TRUE(ad->browser());
    EXPECT_EQ(m_owner->presenter->modalViewController(), ad->browser());
    ASSERT_TRUE(Interaction::runUntil(
        [&] { return requests("/click").size() == 1 && requests("/exclick.php").size() == 1; }, kBound));
    ad->browser()->close();
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_banner->showingModalView(); }, kBound));
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"received", "will present", "did dismiss"}));
}

TEST_F(AdMobTest, NoAdRollsOverToTheNextNetwork) {
    start(0.0);
    ASSERT_TRUE(Interaction::runUntil([&] { return m_owner->events.size() >= 2; }, kBound));
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"failed+backup -", "received"}));
    EXPECT_EQ(m_next.script().requests, std::vector<std::string>{"next"});
    EXPECT_EQ(requests("/ad.png").size(), 0u);
}

} // namespace
} // namespace murmelo
