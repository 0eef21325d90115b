// House ads over HTTP: from the reference mediation server (the ad drawn,
// its tap pinging the server and opening the in-application browser), and
// from a scripted server that answers badly on purpose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlError.h"
#include "app/ads/AdWhirlView.h"
#include "app/ads/adapters/AdWhirlAdapterCustom.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/Locale.h"
#include "platform/net/ConnectToMap.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/Window.h"
#include "servers/Accounts.h"
#include "servers/ReferenceServers.h"
#include "tests/app/ads/ads_test_support.h"
#include "tests/platform/ui/ui_test_support.h"
#include "tests/support/scripted_http_server.h"

namespace murmelo {
namespace {

constexpr double kBound = 10.0;

class HouseAdOwner : public test::RecordingOwner {
public:
    using test::RecordingOwner::RecordingOwner;
    std::optional<URL> adWhirlCustomAdURL() override { return customAdURL; }
    std::optional<AdWhirlLocation> locationInfo() override { return location; }
    void adWhirlWillPresentFullScreenModal() override { events.push_back("will present"); }
    void adWhirlDidDismissFullScreenModal() override { events.push_back("did dismiss"); }
    std::optional<URL> customAdURL;
    std::optional<AdWhirlLocation> location;
};

std::string pngBytes(std::uint32_t width, std::uint32_t height) {
    auto bitmap = Bitmap::create(width, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            bitmap->setPixel(x, y, {10, 120, 200, 255});
        }
    }
    auto png = bitmap->encodePNG();
    return std::string(png->begin(), png->end());
}

class HouseAdsTest : public test::UITest {
protected:
    void SetUp() override {
        test::UITest::SetUp();
        AdWhirlConfig::resetConfigsForTesting();
        AdWhirlAdNetworkRegistry::sharedRegistry().registerClass(
            std::make_shared<const AdWhirlAdapterClass>(AdWhirlAdapterCustom::adapterClass()));
        m_window = makeWindow();
        m_owner = std::make_shared<HouseAdOwner>(std::string(servers::kMediationAppKey));
        m_window->setRootViewController(m_owner->presenter);
        Application::sharedApplication().setOpenURLHandler([this](const URL& url) {
            m_opened.push_back(url.absoluteString());
            return true;
        });
    }
    void TearDown() override {
        m_banner.reset();
        AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(9);
        AdWhirlConfig::resetConfigsForTesting();
        ConnectToMap::shared().clear();
        m_servers.reset();
        test::UITest::TearDown();
    }

    void startReferenceServers() {
        servers::ReferenceServers::Options options;
        options.dataDirectory = dir().path() + "/servers";
        options.logRequests = false;
        ASSERT_TRUE(options.config.applyMediationPreset("custom"));
        auto started = servers::ReferenceServers::start(options);
        ASSERT_TRUE(started) << started.error().localizedDescription();
        m_servers = std::move(*started);
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:" + std::to_string(m_servers->port())));
        ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Wifi);
    }
    // A banner whose one network is the house ads, the configuration given.
    void makeBanner(bool locationOn = false) {
        auto config = std::make_shared<AdWhirlConfig>(std::string(servers::kMediationAppKey));
        ASSERT_TRUE(config->parseConfig(
            std::string(R"({"extra":{"refresh_interval":0,"transition":0,"location_on":)") +
            (locationOn ? "1" : "0") +
            R"(},"rations":[{"type":9,"nid":"h9","nname":"custom","weight":100,"priority":1}]})"));
        AdWhirlConfig::storeConfigForTesting(config);
        auto banner = AdWhirlView::requestAdWhirlViewWithDelegate(m_owner);
        ASSERT_TRUE(banner);
        m_banner = *banner;
        m_banner->setFrame(Rect(0, 361, 320, 50));
        m_window->addSubview(m_banner);
    }
    bool answered() {
        return Interaction::runUntil([&] { return !m_owner->events.empty() && !m_banner->requesting(); },
                                     kBound);
    }
    AdWhirlAdapterCustom* adapter() {
        return dynamic_cast<AdWhirlAdapterCustom*>(m_banner->currAdapter().get());
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

    std::shared_ptr<Window> m_window;
    std::shared_ptr<HouseAdOwner> m_owner;
    std::shared_ptr<AdWhirlView> m_banner;
    std::unique_ptr<servers::ReferenceServers> m_servers;
    std::vector<std::string> m_opened;
};

TEST_F(HouseAdsTest, ReferenceHouseAdIsDrawnAndATapPingsAndBrowses) {
    startReferenceServers();
    makeBanner();
    ASSERT_TRUE(answered());
    EXPECT_EQ(m_owner->events, std::vector<std::string>{"received"});
    auto* custom = adapter();
    ASSERT_NE(custom, nullptr);
    ASSERT_TRUE(custom->adView() && custom->adView()->image());
    EXPECT_EQ(custom->adView()->image()->size().width, 320);
    EXPECT_EQ(custom->adView()->adType(), 1);
    EXPECT_NE(dumpScreen().find("house ad type 1 image 320x50"), std::string::npos) << dumpScreen();

    auto query = requests("/custom.php").at(0).query;
    EXPECT_EQ(query, "appver=230&country_code=" + Locale::currentLocale().localeIdentifier() +
                         "&appid=" + std::string(servers::kMediationAppKey) + "&nid=h9&client=1");
    EXPECT_EQ(requests("/houseAd.png").size(), 1u);
    for (const auto& ping : requests("/exmet.php")) { // the house-ad server counts its own
        EXPECT_EQ(ping.query.find("nid=h9"), std::string::npos) << ping.query;
    }

    // The first reference house ad opens in the in-application browser.
    ASSERT_TRUE(Interaction::tapAt(Point{160, 385}));
    ASSERT_TRUE(Interaction::runUntil(
        [&] {
            auto clicks = requests("/exclick.php");
            return clicks.size() == 1 && clicks[0].query.find("nid=h9&type=9") != std::string::npos;
        },
        kBound));
    ASSERT_TRUE(custom->webBrowserController());
    EXPECT_EQ(m_owner->presenter->modalViewController(), custom->webBrowserController());
    EXPECT_TRUE(m_banner->showingModalView());
    EXPECT_TRUE(m_opened.empty());

    // Closing it ends the modal state.
    custom->webBrowserController()->close();
    ASSERT_TRUE(Interaction::runUntil([&] { return !m_banner->showingModalView(); }, kBound));
    EXPECT_EQ(m_owner->events.back(), "did dismiss");
    EXPECT_EQ(m_owner->presenter->modalViewController(), nullptr);
}

TEST_F(HouseAdsTest, BadRepliesFailTheRequestWithTheirError) {
    struct Case {
        std::string name;
        std::string adReply; // "" : the ad server is not there
        int imageStatus;
        std::string imageBody;
        long code;
        std::string text;
        size_t requests; // reaching the scripted server
    };
    const std::string good = R"({"ad_type":1,"launch_type":2,"webview_animation_type":7,"img_url":"IMG"})";
    const std::vector<Case> cases = {
        {"image does not decode", good, 200, "GIF89a not really", 70,
         "Cannot initialize custom ad image from data", 2},
        {"image missing", good, 404, "not found", 70, "Cannot initialize custom ad image from data", 2},
        {"no img_url", R"({"ad_type":1,"launch_type":2,"webview_animation_type":7})", 200, "", 60,
         "Custom ad data has no 'img_url' field", 1},
        {"null ad_type", R"({"ad_type":null,"launch_type":2,"webview_animation_type":7,"img_url":"IMG"})",
         200, "", 60, "Custom ad data has no 'ad_type' field", 1},
        {"not json", "<html>", 200, "", 50, "Error parsing custom ad JSON from server", 1},
        {"server away", "", 200, "", 40, "Error connecting to custom ad server", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string imageURL;
        test::ScriptedHttpServer server(
            test::ScriptedHttpServer::replyingWith([&](const test::ReceivedRequest& r) {
                if (r.target.starts_with("/custom.php")) {
                    std::string body = c.adReply;
                    if (auto at = body.find("IMG"); at != std::string::npos) {
                        body.replace(at, 3, imageURL);
                    }
                    return test::ScriptedReply::text(200, body, "application/json");
                }
                return test::ScriptedReply::text(c.imageStatus, c.imageBody, "image/png");
            }));
        imageURL = server.url("/image.png");
        m_owner->customAdURL = URL::strictParse(
            c.adReply.empty()
                ? "http://127.0.0.1:" + std::to_string(test::ScriptedHttpServer::unusedPort()) + "/custom.php"
                : server.url("/custom.php"));
        m_owner->events.clear();
        m_banner.reset();
        AdWhirlConfig::resetConfigsForTesting();
        makeBanner();
        ASSERT_TRUE(answered());
        EXPECT_EQ(m_owner->events, std::vector<std::string>{"failed 120"});
        auto* custom = adapter();
        ASSERT_NE(custom, nullptr);
        EXPECT_FALSE(custom->requesting());
        EXPECT_EQ(server.requests().size(), c.requests);
        ASSERT_TRUE(m_banner->lastAdapterError());
        EXPECT_EQ(m_banner->lastAdapterError()->code(), c.code);
        EXPECT_EQ(m_banner->lastAdapterError()->localizedDescription(), c.text);
        m_banner->removeFromSuperview();
    }
}

TEST_F(HouseAdsTest, ABannerLettingGoOfTheAdapterLeavesNoTransferBehind) {
    test::ScriptedHttpServer server(test::ScriptedHttpServer::replyingWith([](const test::ReceivedRequest&) {
        test::ScriptedReply silent;
        silent.action = test::ScriptedReply::Action::Silent;
        return silent;
    }));
    m_owner->customAdURL = URL::strictParse(server.url("/custom.php"));
    const size_t before = URLConnection::connectionsInFlight();
    makeBanner();
    ASSERT_TRUE(Interaction::runUntil([&] { return server.requests().size() == 1; }, kBound));
    EXPECT_EQ(URLConnection::connectionsInFlight(), before + 1);
    m_banner->removeFromSuperview();
    m_banner.reset();
    EXPECT_EQ(URLConnection::connectionsInFlight(), before);
}

TEST_F(HouseAdsTest, LocationReachesTheQueryOnlyWhenAllowedAndKnown) {
    struct Case {
        bool locationOn;
        std::optional<AdWhirlLocation> location; // the owner's
        std::vector<std::string> device;         // device profile options
        std::string sent;                        // the location in the query, if any
    };
    const std::vector<Case> cases = {
        {true, AdWhirlLocation{52.5, 13.25, 100}, {}, "52.500000,13.250000"},
        {false, AdWhirlLocation{52.5, 13.25, 100}, {}, ""},
        {true, std::nullopt, {"location=none"}, ""},
        // The device's own last fix stands in when the owner has none.
        {true, std::nullopt, {"location=48.85,2.35"}, "48.850000,2.350000"},
        {false, std::nullopt, {"location=48.85,2.35"}, ""},
        // Location services switched off on the device clear the setting.
        {true, AdWhirlLocation{52.5, 13.25, 100}, {"locationServices=no"}, ""},
        {true, std::nullopt, {"locationServices=no", "location=48.85,2.35"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.device) + (c.locationOn ? " on" : " off"));
        test::ScriptedHttpServer server(test::ScriptedHttpServer::replyingWith(
            [](const test::ReceivedRequest&) { return test::ScriptedReply::text(404, "none"); }));
        DeviceProfile profile = *DeviceProfile::current();
        ASSERT_TRUE(profile.applyOverrides({"locationServices=yes", "location=none"}));
        ASSERT_TRUE(profile.applyOverrides(c.device));
        DeviceProfile::setCurrent(profile);
        m_owner->customAdURL = URL::strictParse(server.url("/custom.php"));
        m_owner->location = c.location;
        m_owner->events.clear();
        m_banner.reset();
        AdWhirlConfig::resetConfigsForTesting();
        makeBanner(c.locationOn);
        ASSERT_TRUE(answered());
        ASSERT_EQ(server.requests().size(), 1u);
        const std::string target = server.requests()[0].target;
        EXPECT_EQ(target.find("&location=" + c.sent + "&location_timestamp=") != std::string::npos,
                  !c.sent.empty())
            << target;
        EXPECT_EQ(target.find("location") != std::string::npos, !c.sent.empty()) << target;
        EXPECT_TRUE(target.ends_with("&client=1")) << target;
        m_banner->removeFromSuperview();
    }
    DeviceProfile::resetCurrent();
}

TEST_F(HouseAdsTest, TapsOpenOnlyWebAddresses) {
    struct Case {
        std::string redirect; // JSON value
        int launchType;
        std::vector<std::string> opened;
        bool browser;
    };
    const std::vector<Case> cases = {
        {R"("http://landing.example/x")", 1, {"http://landing.example/x"}, false},
        {"\"javascript:alert(1)\"", 1, {}, false},
        {R"("itms-apps://itunes.example/app")", 1, {}, false},
        {R"("file:///etc/passwd")", 2, {}, false},
        {"null", 1, {}, false},
        {R"("http://landing.example/y")", 3, {}, false},
    };
    const std::string png = pngBytes(320, 50);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.redirect + " " + std::to_string(c.launchType));
        std::string imageURL;
        test::ScriptedHttpServer server(
            test::ScriptedHttpServer::replyingWith([&](const test::ReceivedRequest& r) {
                if (r.target.starts_with("/custom.php")) {
                    return test::ScriptedReply::text(
                        200, R"({"ad_type":1,"launch_type":)" + std::to_string(c.launchType) +
                                 R"(,"webview_animation_type":1,"redirect_url":)" + c.redirect +
                                 R"(,"metrics_url":")" + server.url("/click") + R"(","img_url":")" +
                                 imageURL + R"("})");
                }
                if (r.target == "/click") {
                    return test::ScriptedReply::text(200, "OK");
                }
                return test::ScriptedReply::text(200, png, "image/png");
            }));
        imageURL = server.url("/image.png");
        m_owner->customAdURL = URL::strictParse(server.url("/custom.php"));
        m_owner->events.clear();
        m_opened.clear();
        m_banner.reset();
        AdWhirlConfig::resetConfigsForTesting();
        makeBanner();
        ASSERT_TRUE(answered());
        ASSERT_EQ(m_owner->events, std::vector<std::string>{"received"});
        ASSERT_TRUE(Interaction::tapAt(Point{10, 370}));
        // The click ping goes out whatever the link.
        ASSERT_TRUE(Interaction::runUntil([&] { return server.requests().size() >= 3; }, kBound));
        EXPECT_EQ(server.requests()[2].target, "/click");
        EXPECT_EQ(m_opened, c.opened);
        EXPECT_EQ(adapter()->webBrowserController() != nullptr, c.browser);
        EXPECT_FALSE(m_banner->showingModalView());
        m_banner->removeFromSuperview();
    }
}

} // namespace
} // namespace murmelo
