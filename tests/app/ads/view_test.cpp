// The rotating banner with scripted adapters: the weighted choice, rollover
// by priority, the request guards, the refresh timer and the transitions.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlView.h"
#include "platform/runloop/ManualClock.h"
#include "platform/ui/Event.h"
#include "platform/ui/Interaction.h"
#include "tests/app/ads/ads_test_support.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo {
namespace {

constexpr double kBound = 10.0;

std::string network(const std::string& name, int type, int weight, int priority) {
    return R"({"type":)" + std::to_string(type) + R"(,"nid":")" + name + R"(","nname":")" + name +
           R"(","weight":)" + std::to_string(weight) + R"(,"priority":)" + std::to_string(priority) + "}";
}

class AdWhirlViewTest : public test::UITest {
protected:
    void SetUp() override {
        test::UITest::SetUp();
        AdWhirlConfig::resetConfigsForTesting();
        AdWhirlView::setRandomSeedForTesting(12345u);
        m_owner = std::make_shared<test::RecordingOwner>("test-key");
    }
    void TearDown() override {
        m_banner.reset();
        AdWhirlView::setRandomSeedForTesting(std::nullopt);
        AdWhirlConfig::resetConfigsForTesting();
        test::UITest::TearDown();
    }

    // A banner over a configuration already fetched from `json`; the first
    // request is made when the queued arrival runs.
    void makeBanner(const std::string& json) {
        auto config = std::make_shared<AdWhirlConfig>("test-key");
        ASSERT_TRUE(config->parseConfig(json));
        AdWhirlConfig::storeConfigForTesting(config);
        auto banner = AdWhirlView::requestAdWhirlViewWithDelegate(m_owner);
        ASSERT_TRUE(banner);
        m_banner = *banner;
    }
    bool runUntil(const std::function<bool()>& condition) { return Interaction::runUntil(condition, kBound); }
    void turn() {
        (void)Interaction::runUntil([] { return false; }, 0.05);
    }

    test::ScriptedAdapters m_adapters{{1, 9, 14}};
    std::shared_ptr<test::RecordingOwner> m_owner;
    std::shared_ptr<AdWhirlView> m_banner;
};

TEST_F(AdWhirlViewTest, IncompleteDelegateIsRefused) {
    class NoPresenter : public AdWhirlDelegate {
        std::string adWhirlApplicationKey() override { return "k"; }
    };
    auto banner = AdWhirlView::requestAdWhirlViewWithDelegate(std::make_shared<NoPresenter>());
    ASSERT_FALSE(banner);
    EXPECT_EQ(banner.error().localizedDescription(),
              "AdWhirlDelegate must implement viewControllerForPresentingModalView");
}

TEST_F(AdWhirlViewTest, WeightedChoiceFollowsTheWeights) {
    m_adapters.script().answers = {{"a", test::AdAnswer::Silent}};
    makeBanner(R"({"rations":[)" + network("a", 1, 60, 1) + "," + network("b", 14, 30, 2) + "," +
               network("c", 9, 10, 3) + "]}");
    m_banner->prepAdNetworks();
    std::map<std::string, int> counts;
    constexpr int kDraws = 20000;
    for (int i = 0; i < kDraws; ++i) {
        ++counts[m_banner->nextNetworkByPercent()->nid()];
    }
    // Each within 3% of the draws of its share (far beyond 5 sigma).
    EXPECT_NEAR(counts["a"], 0.6 * kDraws, 0.03 * kDraws);
    EXPECT_NEAR(counts["b"], 0.3 * kDraws, 0.03 * kDraws);
    EXPECT_NEAR(counts["c"], 0.1 * kDraws, 0.03 * kDraws);
}

TEST_F(AdWhirlViewTest, SuccessiveChoicesDiffer) {
    // The old generator, seeded with whole seconds at every choice, drew
    // the same network for every choice within one second.
    makeBanner(R"({"rations":[)" + network("a", 1, 50, 1) + "," + network("b", 14, 50, 2) + "]}");
    m_banner->prepAdNetworks();
    std::set<std::string> seen;
    for (int i = 0; i < 64; ++i) {
        seen.insert(m_banner->nextNetworkByPercent()->nid());
    }
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(AdWhirlViewTest, RollsOverByPriorityThenReportsNoMoreNetworks) {
    auto& script = m_adapters.script();
    script.answers = {{"a", test::AdAnswer::Fail}, {"b", test::AdAnswer::Fail}, {"c", test::AdAnswer::Fail}};
    makeBanner(R"({"rations":[)" + network("c", 9, 0, 3) + "," + network("a", 1, 0, 1) + "," +
               network("b", 14, 100, 2) + "]}");
    ASSERT_TRUE(runUntil([&] { return script.requests.size() == 3 && !m_banner->requesting(); }));
    turn();
    EXPECT_EQ(script.requests, (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(m_owner->events,
              (std::vector<std::string>{"failed+backup -", "failed+backup -", "failed 120"}));
    EXPECT_FALSE(m_banner->hasRefreshTimer());
}

TEST_F(AdWhirlViewTest, ZeroWeightNetworkIsReachedOnlyByRollover) {
    auto& script = m_adapters.script();
    script.answers = {{"b", test::AdAnswer::Fail}};
    makeBanner(R"({"rations":[)" + network("a", 1, 0, 1) + "," + network("b", 14, 100, 2) + "]}");
    ASSERT_TRUE(runUntil([&] { return m_banner->adExists(); }));
    EXPECT_EQ(script.requests, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(m_banner->mostRecentNetworkName(), "a");
}

TEST_F(AdWhirlViewTest, RequestGuardsReportAndStop) {
    ManualClock clock;
    auto& script = m_adapters.script();
    script.answers = {{"a", test::AdAnswer::Silent}};
    makeBanner(R"({"rations":[)" + network("a", 1, 100, 1) + "," + network("b", 14, 0, 2) + "]}");
    ASSERT_TRUE(runUntil([&] { return script.requests.size() == 1; }));
    ASSERT_TRUE(m_banner->requesting());
    const size_t remaining = m_banner->prioritizedAdNetworks().size();

    m_banner->requestFreshAd(); // in flight: 90, and the list stays as it is
    m_banner->ignoreNewAdRequests();
    m_banner->requestFreshAd(); // ignored: 80
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"failed 90", "failed 80"}));
    EXPECT_EQ(m_banner->prioritizedAdNetworks().size(), remaining);
    EXPECT_EQ(script.requests.size(), 1u);
}

TEST_F(AdWhirlViewTest, SilentAdapterTimesOutAndRollsOver) {
    ManualClock clock;
    auto& script = m_adapters.script();
    script.answers = {{"a", test::AdAnswer::Silent}};
    makeBanner(R"({"rations":[)" + network("a", 1, 100, 1) + "," + network("b", 14, 0, 2) + "]}");
    ASSERT_TRUE(runUntil([&] { return script.requests.size() == 1; }));
    clock.advance(AdWhirlView::kRequestTimeoutSeconds - 0.5);
    turn();
    EXPECT_TRUE(m_banner->requesting());
    clock.advance(1.0);
    ASSERT_TRUE(runUntil([&] { return m_banner->adExists(); }));
    EXPECT_EQ(script.requests, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(m_banner->mostRecentNetworkName(), "b");
}

TEST_F(AdWhirlViewTest, TooSoonAfterTheLastRequest) {
    ManualClock clock;
    makeBanner(R"({"extra":{"refresh_interval":0},"rations":[)" + network("a", 1, 100, 1) + "]}");
    ASSERT_TRUE(runUntil([&] { return m_banner->adExists(); }));
    clock.advance(1.0);
    m_banner->requestFreshAd();
    ASSERT_FALSE(m_owner->events.empty());
    EXPECT_EQ(m_owner->events.back(), "failed 110");
    EXPECT_EQ(m_banner->lastError()->localizedDescription(),
              "Requesting fresh ad too soon! It has been only 1.000000s. Minimum 1.900000s");
    clock.advance(1.0);
    m_banner->requestFreshAd();
    EXPECT_EQ(m_adapters.script().requests.size(), 2u);
}

TEST_F(AdWhirlViewTest, RefreshTimerRules) {
    struct Case {
        int refreshInterval;
        bool inactive;
        int requestsAfterTwoIntervals;
    };
    const std::vector<Case> cases = {
        {30, false, 3}, // the timer re-arms after each new ad
        {30, true, 1},  // in the background it only re-arms
        {1, false, 1},  // 1.9 s or less: never
        {0, false, 1},
    };
    for (const Case& c : cases) {
        ManualClock clock;
        AdWhirlConfig::resetConfigsForTesting();
        m_adapters.script().requests.clear();
        makeBanner(R"({"extra":{"transition":0,"refresh_interval":)" + std::to_string(c.refreshInterval) +
                   R"(},"rations":[)" + network("a", 1, 100, 1) + "]}");
        ASSERT_TRUE(runUntil([&] { return m_banner->adExists(); }));
        if (c.inactive) {
            m_banner->resignActive();
        }
        for (int i = 0; i < 2; ++i) {
            clock.advance(30.5);
            turn();
        }
        EXPECT_EQ(static_cast<int>(m_adapters.script().requests.size()), c.requestsAfterTwoIntervals)
            << c.refreshInterval << " inactive " << c.inactive;
        EXPECT_EQ(m_banner->hasRefreshTimer(), c.refreshInterval > 1.9) << c.refreshInterval;
        m_banner.reset();
    }
}

TEST_F(AdWhirlViewTest, TransitionsEndWithTheOldViewRemoved) {
    for (int type = 0; type <= 8; ++type) {
        ManualClock clock;
        AdWhirlConfig::resetConfigsForTesting();
        makeBanner(R"({"extra":{"refresh_interval":0,"transition":)" + std::to_string(type) +
                   R"(},"rations":[)" + network("a", 1, 100, 1) + "]}");
        ASSERT_TRUE(runUntil([&] { return m_banner->adExists(); }));
        View* first = m_banner->viewWithTag(AdWhirlView::kAdViewTag);
        clock.advance(2.0);
        m_banner->requestFreshAd();
        clock.advance(AdWhirlView::kTransitionDuration + 0.5);
        ASSERT_TRUE(runUntil([&] {
            return m_banner->subviews().size() == 1 &&
                   m_banner->viewWithTag(AdWhirlView::kAdViewTag) != first && !m_banner->lastAdapter();
        })) << "type "
            << type;
        EXPECT_EQ(m_banner->subviews().front()->frame().origin.x, 0) << "type " << type;
        EXPECT_EQ(m_banner->subviews().front()->alpha(), 1) << "type " << type;
        m_banner.reset();
    }
}

TEST_F(AdWhirlViewTest, ZeroTotalWeightMeansAdsOffEvenOnExplicitRefresh) {
    makeBanner(R"({"rations":[)" + network("a", 1, 0, 1) + "]}");
    ASSERT_TRUE(runUntil([&] { return !m_owner->events.empty(); }));
    ManualClock clock;
    m_banner->requestFreshAd();
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"ads off", "ads off"}));
    EXPECT_TRUE(m_adapters.script().requests.empty());
}

TEST_F(AdWhirlViewTest, ClickCountsOncePerAdOnTouchUpInside) {
    ManualClock clock;
    makeBanner(R"({"extra":{"refresh_interval":30},"rations":[)" + network("a", 1, 100, 1) + "]}");
    ASSERT_TRUE(runUntil([&] { return m_banner->adExists(); }));
    Touch touch;
    touch.view = m_banner;
    touch.locationInWindow = Point{10, 10};
    touch.phase = TouchPhase::Ended;
    Event event;
    EXPECT_FALSE(m_banner->pointInside(Point{10, 10}, &event) && m_banner->showingModalView());
    m_banner->touchesEnded({touch}, &event);
    EXPECT_TRUE(m_banner->showingModalView());
    // No screen was presented: the timer finds it gone and refreshes.
    clock.advance(30.5);
    ASSERT_TRUE(runUntil([&] { return m_adapters.script().requests.size() == 2; }));
    EXPECT_FALSE(m_banner->showingModalView());
}

} // namespace
} // namespace murmelo
