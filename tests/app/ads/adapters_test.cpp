// The adapters built into the program: the house-ad reply's fields and
// errors, the house ad's drawing and taps, and the generic and event
// networks answering the banner.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlError.h"
#include "app/ads/AdWhirlView.h"
#include "app/ads/adapters/AdWhirlAdapterCustom.h"
#include "app/ads/adapters/AdWhirlAdapterGeneric.h"
#include "app/ads/adapters/AdWhirlAdapters.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/ScreenRenderer.h"
#include "tests/app/ads/ads_test_support.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo {
namespace {

constexpr double kBound = 10.0;

std::string houseAd(const std::string& fields) {
    return R"({"ad_type":2,"launch_type":2,"webview_animation_type":7,"img_url":"http://h.example/i.png")" +
           std::string(fields.empty() ? "" : ",") + fields + "}";
}

TEST(CustomAdDataTest, FieldsAndErrors) {
    struct Case {
        std::string json;
        long code; // 0: parses
        std::string text;
    };
    const std::vector<Case> cases = {
        {"{not json", 50, "Error parsing custom ad JSON from server"},
        {"[1,2]", 60, "Expected top-level dictionary in custom ad data"},
        {R"({"launch_type":1,"webview_animation_type":0,"img_url":"http://h/i"})", 60,
         "Custom ad data has no 'ad_type' field"},
        {R"({"ad_type":null,"launch_type":1,"webview_animation_type":0,"img_url":"http://h/i"})", 60,
         "Custom ad data has no 'ad_type' field"},
        {R"({"ad_type":[1],"launch_type":1,"webview_animation_type":0,"img_url":"http://h/i"})", 60,
         "Custom ad data has no 'ad_type' field"},
        {R"({"ad_type":6,"launch_type":1,"webview_animation_type":0,"img_url":"http://h/i"})", 60,
         "Custom ad: Invalid value for ad_type - 6"},
        {R"({"ad_type":0,"launch_type":1,"webview_animation_type":0,"img_url":"http://h/i"})", 60,
         "Custom ad: Invalid value for ad_type - 0"},
        {R"({"ad_type":1,"webview_animation_type":0,"img_url":"http://h/i"})", 60,
         "Custom ad data has no 'launch_type' field"},
        {R"({"ad_type":1,"launch_type":4,"webview_animation_type":0,"img_url":"http://h/i"})", 60,
         "Custom ad: Invalid value for launch_type - 4"},
        {R"({"ad_type":1,"launch_type":1,"webview_animation_type":10,"img_url":"http://h/i"})", 60,
         "Custom ad: Invalid value for webview_animation_type - 10"},
        {R"({"ad_type":1,"launch_type":1,"webview_animation_type":-1,"img_url":"http://h/i"})", 60,
         "Custom ad: Invalid value for webview_animation_type - -1"},
        {R"({"ad_type":1,"launch_type":1,"webview_animation_type":0})", 60,
         "Custom ad data has no 'img_url' field"},
        {R"({"ad_type":1,"launch_type":1,"webview_animation_type":0,"img_url":null})", 60,
         "Custom ad data has no 'img_url' field"},
        {R"({"ad_type":1,"launch_type":1,"webview_animation_type":0,"img_url":7})", 60,
         "Custom ad data has no 'img_url' field"},
        {R"({"ad_type":1,"launch_type":1,"webview_animation_type":0,"img_url":"file:///etc/passwd"})", 60,
         "Custom ad: Malformed image URL string file:///etc/passwd"},
        {R"({"ad_type":"5","launch_type":true,"webview_animation_type":0,"img_url":"http://h/i"})", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        auto parsed = parseCustomAdData(c.json);
        if (c.code == 0) {
            ASSERT_TRUE(parsed) << parsed.error().localizedDescription();
            EXPECT_EQ(parsed->content.adType, 5);
            EXPECT_EQ(parsed->content.launchType, 1);
            continue;
        }
        ASSERT_FALSE(parsed);
        EXPECT_EQ(parsed.error().domain(), kAdWhirlErrorDomain);
        EXPECT_EQ(parsed.error().code(), c.code);
        EXPECT_EQ(parsed.error().localizedDescription(), c.text);
    }
}

TEST(CustomAdDataTest, OptionalFieldsOfTheWrongKindCountAsAbsent) {
    struct Case {
        std::string fields;
        std::optional<std::string> text, redirect, metrics;
    };
    const std::vector<Case> cases = {
        {R"("ad_text":"Hi","redirect_url":"http://a.example/x","metrics_url":"http://m.example/c")", "Hi",
         "http://a.example/x", "http://m.example/c"},
        {R"("ad_text":12,"redirect_url":null,"metrics_url":{})", std::nullopt, std::nullopt, std::nullopt},
        {R"("redirect_url":"not a url","metrics_url":"http://bad host/")", std::nullopt, std::nullopt,
         std::nullopt},
        {"", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields);
        auto parsed = parseCustomAdData(houseAd(c.fields));
        ASSERT_TRUE(parsed) << parsed.error().localizedDescription();
        EXPECT_EQ(parsed->content.text, c.text);
        auto text = [](const std::optional<URL>& url) {
            return url ? std::optional<std::string>(url->absoluteString()) : std::nullopt;
        };
        EXPECT_EQ(text(parsed->content.redirectURL), c.redirect);
        EXPECT_EQ(text(parsed->content.clickMetricsURL), c.metrics);
        EXPECT_EQ(parsed->imageURL.absoluteString(), "http://h.example/i.png");
    }
}

TEST(AdWhirlAdapterEventTest, SelectorFromTheCredential) {
    const std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> cases = {
        {"anything|;|showOwnAd", "showOwnAd"}, {"|;|showOwnAd", "showOwnAd"}, {"a|;|first|;|second", "first"},
        {"no separator", std::nullopt},        {"a|;|", std::nullopt},        {"", std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& [credential, selector] : cases) {
        SCOPED_TRACE(credential.value_or("(none)"));
        EXPECT_EQ(AdWhirlAdapterEvent::eventSelector(credential), selector);
    }
}

// An owner answering the generic slot and some named operations.
class AnsweringOwner : public test::RecordingOwner {
public:
    using test::RecordingOwner::RecordingOwner;
    bool adWhirlReceivedRequestForDeveloperToFufill(AdWhirlView&) override {
        if (fillsGeneric) {
            events.push_back("fill generic");
        }
        return fillsGeneric;
    }
    bool performAdWhirlEvent(const std::string& selector, AdWhirlView* banner) override {
        for (const std::string& name : answers) {
            if (name == selector) {
                events.push_back("event " + selector + (banner ? " with banner" : ""));
                return true;
            }
        }
        return false;
    }
    bool fillsGeneric = false;
    std::vector<std::string> answers;
};

class AdaptersTest : public test::UITest {
protected:
    void SetUp() override {
        test::UITest::SetUp();
        AdWhirlConfig::resetConfigsForTesting();
        auto& registry = AdWhirlAdNetworkRegistry::sharedRegistry();
        for (const auto& adapterClass :
             {AdWhirlAdapterGeneric::adapterClass(), AdWhirlAdapterEvent::adapterClass(),
              AdWhirlAdapterCustom::adapterClass()}) {
            registry.registerClass(std::make_shared<const AdWhirlAdapterClass>(adapterClass));
        }
        m_owner = std::make_shared<AnsweringOwner>("test-key");
    }
    void TearDown() override {
        m_banner.reset();
        for (int type : {9, 14, 16, 17}) {
            AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(type);
        }
        AdWhirlConfig::resetConfigsForTesting();
        test::UITest::TearDown();
    }

    // A banner over `networks` (JSON entries); the last entry is a scripted
    // fallback of type 1 named "fallback" so a failure shows as a rollover.
    void makeBanner(const std::string& networks) {
        auto config = std::make_shared<AdWhirlConfig>("test-key");
        ASSERT_TRUE(config->parseConfig(
            R"({"extra":{"refresh_interval":0},"rations":[)" + networks +
            R"(,{"type":1,"nid":"fallback","nname":"fallback","weight":0,"priority":9}]})"));
        AdWhirlConfig::storeConfigForTesting(config);
        auto banner = AdWhirlView::requestAdWhirlViewWithDelegate(m_owner);
        ASSERT_TRUE(banner);
        m_banner = *banner;
    }
    bool settled() { return !m_owner->events.empty() && !m_banner->requesting(); }

    test::ScriptedAdapters m_fallback{{1}};
    std::shared_ptr<AnsweringOwner> m_owner;
    std::shared_ptr<AdWhirlView> m_banner;
};

TEST_F(AdaptersTest, GenericAndEventAnswerOrRollOver) {
    struct Case {
        std::string entry;
        bool fillsGeneric;
        std::vector<std::string> answers;
        std::vector<std::string> events; // what the owner heard
        std::vector<std::string> requested;
    };
    const std::string generic = R"({"type":16,"nid":"g","nname":"generic","weight":100,"priority":1})";
    auto event = [](const std::string& key) {
        return R"({"type":17,"nid":"e","nname":"event","weight":100,"priority":1,"key":")" + key + R"("})";
    };
    const std::vector<Case> cases = {
        {generic, true, {}, {"fill generic"}, {}},
        {generic, false, {}, {"failed+backup -", "received"}, {"fallback"}},
        {event("x|;|showOwn"), false, {"showOwn"}, {"event showOwn"}, {}},
        {event("x|;|showOwn"), false, {"showOwn:"}, {"event showOwn: with banner"}, {}},
        {event("x|;|showOwn"), false, {"other"}, {"failed+backup -", "received"}, {"fallback"}},
        {event("no separator"), false, {"no separator"}, {"failed+backup -", "received"}, {"fallback"}},
        {event("x|;|"), false, {""}, {"failed+backup -", "received"}, {"fallback"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        m_owner->events.clear();
        m_owner->fillsGeneric = c.fillsGeneric;
        m_owner->answers = c.answers;
        m_fallback.script().requests.clear();
        AdWhirlConfig::resetConfigsForTesting();
        makeBanner(c.entry);
        ASSERT_TRUE(Interaction::runUntil(
            [&] { return m_owner->events.size() >= c.events.size() && !m_banner->requesting(); }, kBound));
        EXPECT_EQ(m_owner->events, c.events);
        EXPECT_EQ(m_fallback.script().requests, c.requested);
    }
}

TEST_F(AdaptersTest, BaseGetAdFailsInsteadOfStopping) {
    class Bare : public AdWhirlAdNetworkAdapter {
        using AdWhirlAdNetworkAdapter::AdWhirlAdNetworkAdapter;
    };
    auto adapterClass = std::make_shared<AdWhirlAdapterClass>();
    adapterClass->networkType = 16;
    adapterClass->create = [](auto d, auto v, auto c, auto n) { return std::make_shared<Bare>(d, v, c, n); };
    AdWhirlAdNetworkRegistry::sharedRegistry().registerClass(adapterClass);
    makeBanner(R"({"type":16,"nid":"g","nname":"bare","weight":100,"priority":1})");
    ASSERT_TRUE(Interaction::runUntil([&] { return m_owner->events.size() >= 2; }, kBound));
    EXPECT_EQ(m_owner->events, (std::vector<std::string>{"failed+backup -", "received"}));
}

TEST_F(AdaptersTest, RegistrationAtStartServesTheBuiltInTypes) {
    for (int type : {1, 9, 14, 16, 17}) {
        AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(type);
    }
    registerAdWhirlAdapters();
    for (auto [type, name] : {std::pair{1, "AdWhirlAdapterAdMob"}, std::pair{9, "AdWhirlAdapterCustom"},
                              std::pair{14, "AdWhirlAdapterGoogleAdSense"},
                              std::pair{16, "AdWhirlAdapterGeneric"}, std::pair{17, "AdWhirlAdapterEvent"}}) {
        auto adapterClass = AdWhirlAdNetworkRegistry::sharedRegistry().adapterClassFor(type);
        ASSERT_TRUE(adapterClass) << type;
        EXPECT_EQ(adapterClass->name, name);
    }
}

TEST_F(AdaptersTest, IAdIsRegisteredOnlyWhereTheDeviceHasItsBanner) {
    for (bool present : {true, false}) {
        DeviceProfile profile = *DeviceProfile::current();
        ASSERT_TRUE(profile.applyOverrides({present ? "iAd=yes" : "iAd=no"}));
        DeviceProfile::setCurrent(profile);
        AdWhirlAdNetworkRegistry registry;
        registerAdWhirlAdaptersWith(registry);
        auto iAd = registry.adapterClassFor(19);
        EXPECT_EQ(iAd != nullptr, present);
        if (iAd) {
            EXPECT_EQ(iAd->name, "AdWhirlAdapterIAd");
        }
        EXPECT_TRUE(registry.adapterClassFor(9)) << "the others stay";
    }
    DeviceProfile::resetCurrent();
}

// ---- the house ad's view

struct TapRecorder : AdWhirlCustomAdViewDelegate {
    void adTapped(AdWhirlCustomAdView&) override { ++taps; }
    int taps = 0;
};

std::shared_ptr<const Image> solidImage(double width, double height, RGBA8 colour) {
    auto bitmap = Bitmap::create(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    for (std::uint32_t y = 0; y < bitmap->height(); ++y) {
        for (std::uint32_t x = 0; x < bitmap->width(); ++x) {
            bitmap->setPixel(x, y, colour);
        }
    }
    return Image::imageWithBitmap(std::make_shared<const Bitmap>(std::move(*bitmap)));
}

Result<Bitmap> render(const View& view) {
    ScreenRenderOptions options;
    options.scale = 1;
    return ScreenRenderer(options).renderView(view);
}

int brightness(RGBA8 p) {
    return p.r + p.g + p.b;
}

TEST_F(AdaptersTest, TextAdDrawsShadedGroundRoundedIconAndText) {
    AdWhirlCustomAdView::Content content;
    content.adType = 2;
    content.text = "Feel better? Tell a friend.";
    auto view = AdWhirlCustomAdView::create({}, content, Color(0, 0, 0.5, 1), Color::whiteColor());
    view->setImage(solidImage(39, 39, {255, 0, 0, 255}));
    auto bitmap = render(*view);
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->width(), 320u);
    // Both edges lighter than the middle; the band is the background's hue.
    const RGBA8 top = bitmap->pixelAt(300, 0), middle = bitmap->pixelAt(300, 24),
                bottom = bitmap->pixelAt(300, 49);
    EXPECT_GT(brightness(top), brightness(middle) + 60);
    EXPECT_GT(brightness(bottom), brightness(middle) + 60);
    EXPECT_GT(middle.b, middle.r + 60);
    // The icon is clipped to its rounded frame: red inside, not in the corner.
    const RGBA8 inside = bitmap->pixelAt(23, 25), corner = bitmap->pixelAt(5, 6);
    EXPECT_GT(inside.r, 200);
    EXPECT_LT(inside.g, 60);
    EXPECT_LT(corner.r, 200);
    // Text is drawn in the text colour somewhere in the label's area.
    int light = 0;
    for (std::uint32_t x = 52; x < 318; ++x) {
        light += brightness(bitmap->pixelAt(x, 20)) > 600 ? 1 : 0;
    }
    EXPECT_GT(light, 5);
    EXPECT_EQ(view->textLabel()->font().name, "TrebuchetMS-Bold");
}

TEST_F(AdaptersTest, BannerImageIsCentredAndOtherTypesDrawNothing) {
    for (int type : {1, 5}) {
        SCOPED_TRACE(type);
        AdWhirlCustomAdView::Content content;
        content.adType = type;
        auto view = AdWhirlCustomAdView::create({}, content, std::nullopt, std::nullopt);
        view->setImage(solidImage(100, 20, {0, 200, 0, 255}));
        auto bitmap = render(*view);
        ASSERT_TRUE(bitmap);
        const bool drawn = type == 1;
        EXPECT_EQ(bitmap->pixelAt(160, 25).g > 150, drawn); // centre of the image
        EXPECT_EQ(bitmap->pixelAt(111, 16).g > 150, drawn); // just inside its top-left corner
        EXPECT_LT(bitmap->pixelAt(108, 25).g, 150);         // left of it
        EXPECT_LT(bitmap->pixelAt(160, 13).g, 150);         // above it
    }
}

TEST_F(AdaptersTest, ATapAnywhereReachesTheDelegate) {
    auto window = makeWindow();
    auto recorder = std::make_shared<TapRecorder>();
    AdWhirlCustomAdView::Content content;
    content.adType = 5;
    auto view = AdWhirlCustomAdView::create(recorder, content, std::nullopt, std::nullopt);
    view->setFrame(Rect(0, 361, 320, 50));
    window->addSubview(view);
    ASSERT_TRUE(Interaction::tapAt(Point{20, 370}));
    ASSERT_TRUE(Interaction::tapAt(Point{300, 405}));
    EXPECT_EQ(recorder->taps, 2);
}

} // namespace
} // namespace murmelo
