// The iAd host's reply: what makes an ad, and what the banner refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/iad/ADBannerView.h"

namespace murmelo {
namespace {

TEST(ADBannerReplyTest, FieldsAndRefusals) {
    struct Case {
        std::string body;
        bool ok;
        std::string text; // of the ad, or a piece of the error
    };
    const std::string image = "img_url=http%3A%2F%2Fi.example%2Fa.png";
    const std::string click = "click_url=https%3A%2F%2Fc.example%2Fgo";
    const std::vector<Case> cases = {
        {"ad_id=2&" + image + "&" + click + "&text=Tea%20Time%20%26%20more", true, "Tea Time & more"},
        {image + "&" + click, true, ""},
        {image + "&" + click + "&text=first&text=second", true, "first"},
        {image + "&" + click + "&unknown=1&text=x", true, "x"},
        {"", false, "no usable image or link"},
        {image, false, "no usable image or link"},
        {"img_url=javascript%3Aalert(1)&" + click, false, "no usable image or link"},
        {image + "&click_url=file%3A%2F%2F%2Fetc%2Fpasswd", false, "no usable image or link"},
        {image + "&click_url=http%3A%2F%2F", false, "no usable image or link"},
        {image + "&" + click + "&text=%zz", false, "badly escaped"},
        {image + "&" + click + "&novalue", false, "not a list of fields"},
        {image + "&" + click + "&text=" + std::string(kADBannerReplyLimit, 'a'), false, "too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 120));
        auto ad = parseADBannerReply(c.body);
        ASSERT_EQ(static_cast<bool>(ad), c.ok) << (ad ? "" : ad.error().localizedDescription());
        if (ad) {
            EXPECT_EQ(ad->text, c.text);
            EXPECT_EQ(ad->imageURL.absoluteString(), "http://i.example/a.png");
        } else {
            EXPECT_EQ(ad.error().domain(), kADErrorDomain);
            EXPECT_NE(ad.error().localizedDescription().find(c.text), std::string::npos);
        }
    }
}

TEST(ADBannerViewTest, ContentSizesAndTheRequiredSet) {
    auto banner = std::make_shared<ADBannerView>(Rect(5, 6, 0, 0));
    EXPECT_EQ(banner->currentContentSizeIdentifier(), ADBannerContentSizeIdentifier320x50);
    banner->setCurrentContentSizeIdentifier(ADBannerContentSizeIdentifier480x32);
    EXPECT_EQ(banner->currentContentSizeIdentifier(), ADBannerContentSizeIdentifier320x50)
        << "480x32 is not required yet";
    banner->setRequiredContentSizeIdentifiers(
        {ADBannerContentSizeIdentifier320x50, ADBannerContentSizeIdentifier480x32, "ADBannerContentSize1x1"});
    EXPECT_EQ(banner->requiredContentSizeIdentifiers().size(), 2u);
    banner->setCurrentContentSizeIdentifier(ADBannerContentSizeIdentifier480x32);
    EXPECT_EQ(banner->frame(), Rect(5, 6, 480, 32));
    EXPECT_FALSE(banner->isBannerLoaded());
}

} // namespace
} // namespace murmelo
