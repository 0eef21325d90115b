// The ad-free window and the banner host's answers to the banner.
#include <gtest/gtest.h>

#include "app/ads/AdUtils.h"
#include "app/ads/OVAdwhirlView.h"
#include "app/product/Constants.h"
#include "platform/core/Clock.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/app/ads/ads_test_support.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo {
namespace {

class AdUtilsTest : public test::UITest {
protected:
    void TearDown() override {
        Clock::resetWallClockShift();
        test::UITest::TearDown();
    }
};

TEST_F(AdUtilsTest, AdFreeWindowEndsAtItsStoredInstant) {
    AdUtils& ads = AdUtils::sharedAdUtils();
    EXPECT_TRUE(ads.shouldShowAds()); // never shared
    struct Step {
        double hide;   // < 0: no hideForSeconds call
        double shift;  // then move the wall clock by this much
        bool showsAds; // afterwards
    };
    // Each window is measured from the moment of its own call.
    const std::vector<Step> steps = {
        {0, 0, false},    {-1, 86399, false}, {-1, 1, true}, {-5, 0, false}, // negative: 24 h as well
        {3600, 0, false}, {-1, 3599, false},  {-1, 1, true},
    };
    for (const Step& step : steps) {
        if (step.hide >= 0 || step.hide == -5) {
            ads.hideForSeconds(step.hide == -5 ? -5 : step.hide);
        }
        Clock::shiftWallClock(step.shift);
        EXPECT_EQ(ads.shouldShowAds(), step.showsAds) << step.hide << " " << step.shift;
    }
}

TEST_F(AdUtilsTest, ShorterWindowReplacesALongerOne) {
    AdUtils& ads = AdUtils::sharedAdUtils();
    ads.hideForSeconds(0);
    const double start = Clock::now();
    ads.hideForSeconds(3600);
    EXPECT_NEAR(UserDefaults::standardUserDefaults()->doubleForKey("lastTimeInterval"), start + 3600, 1.0);
}

TEST_F(AdUtilsTest, HostAnswersFollowTheScreenAndTheAdSenseRule) {
    AdWhirlConfig::resetConfigsForTesting();
    auto controller = std::make_shared<ViewController>();
    auto host = OVAdwhirlView::requestAdViewWithChannels({"c1"}, std::nullopt, controller);
    ASSERT_TRUE(host->adWhirlView());
    EXPECT_EQ(host->adWhirlView()->superview(), host.get());
    EXPECT_EQ(host->viewControllerForPresentingModalView(), controller);
    EXPECT_EQ(host->googleAdSenseCompanyName(), std::string(Constant_Adsense_CompanyName));

    host->refreshAdWithKeywords("", {});
    EXPECT_EQ(host->channels(), std::vector<std::string>{"c1"});
    EXPECT_FALSE(host->keywords());
    host->refreshAdWithKeywords("love, secret", {"c2"});
    EXPECT_EQ(host->keywords(), "love, secret");
    EXPECT_EQ(host->channels(), std::vector<std::string>{"c2"});

    AdWhirlView& banner = *host->adWhirlView();
    banner.ignoreNewAdRequests();
    host->adWhirlDidFailToReceiveAd(banner, true);
    EXPECT_FALSE(banner.isIgnoringNewAdRequests());
    EXPECT_FALSE(banner.isIgnoringAutoRefreshTimer());
    AdWhirlConfig::resetConfigsForTesting();
}

} // namespace
} // namespace murmelo
