// Parsing the mediation configuration: both layouts, the extra settings, the
// colour reader and every format error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlError.h"
#include "tests/app/ads/ads_test_support.h"

namespace murmelo {
namespace {

std::vector<std::string> nids(const AdWhirlConfig& config) {
    std::vector<std::string> out;
    for (const auto& network : config.adNetworkConfigs()) {
        out.push_back(network->nid());
    }
    return out;
}

class ConfigParseTest : public ::testing::Test {
protected:
    test::ScriptedAdapters m_adapters{{1, 9, 14}};
};

TEST_F(ConfigParseTest, CurrentLayoutTable) {
    const std::string a1 = R"({"type":1,"nid":"a","nname":"admob","weight":60,"priority":1,"key":"pub"})";
    const std::string s14 = R"({"type":"14","nid":"s","nname":"google_adsense","weight":"40","priority":2})";
    struct Case {
        std::string json;
        std::vector<std::string> nids;
        bool adsAreOff;
        double refreshInterval;
        int animationType;
    };
    const std::vector<Case> cases = {
        {R"({"rations":[)" + a1 + "," + s14 + "]}", {"a", "s"}, false, 60, 8},
        // type 2 has no adapter; priority 0 and a missing name are unusable
        {R"({"rations":[{"type":2,"nid":"j","nname":"jumptap","weight":100,"priority":1}]})",
         {},
         true,
         60,
         8},
        {R"({"rations":[{"type":1,"nid":"a","nname":"admob","weight":100,"priority":0}]})", {}, true, 60, 8},
        {R"({"rations":[{"type":1,"nid":"a","weight":100,"priority":1}]})", {}, true, 60, 8},
        {R"({"rations":[7,)" + a1 + "]}", {"a"}, false, 60, 8},
        // all weights 0, or negative (read as 0): ads off
        {R"({"rations":[{"type":1,"nid":"a","nname":"admob","weight":0,"priority":1}]})", {"a"}, true, 60, 8},
        {R"({"rations":[{"type":1,"nid":"a","nname":"admob","weight":-50,"priority":1}]})",
         {"a"},
         true,
         60,
         8},
        {R"({"rations":[]})", {}, true, 60, 8},
        {R"({"extra":{}})", {}, true, 60, 8},
        {R"({"extra":{"refresh_interval":30000,"transition":9},"rations":[)" + a1 + "]}", {"a"}, false, 0, 8},
        {R"({"extra":{"refresh_interval":29999,"transition":"3"},"rations":[)" + a1 + "]}",
         {"a"},
         false,
         29999,
         3},
        {R"({"extra":{"cycle_time":45,"banner_animation_type":0},"rations":[)" + a1 + "]}",
         {"a"},
         false,
         45,
         0},
        // "refresh_interval" wins over "cycle_time" even when it does not read
        {R"({"extra":{"refresh_interval":[],"cycle_time":45},"rations":[)" + a1 + "]}", {"a"}, false, 60, 8},
    };
    for (const Case& c : cases) {
        AdWhirlConfig config("key");
        ASSERT_TRUE(config.parseConfig(c.json)) << c.json;
        EXPECT_FALSE(config.legacy());
        EXPECT_EQ(nids(config), c.nids) << c.json;
        EXPECT_EQ(config.adsAreOff(), c.adsAreOff) << c.json;
        EXPECT_EQ(config.refreshInterval(), c.refreshInterval) << c.json;
        EXPECT_EQ(config.bannerAnimationType(), c.animationType) << c.json;
    }
}

TEST_F(ConfigParseTest, NetworkEntryFields) {
    AdWhirlConfig config("key");
    ASSERT_TRUE(config.parseConfig(
        R"({"rations":[{"type":1,"nid":"a","nname":"admob","weight":-3,"priority":"2","key":"pub-7"},)"
        R"({"type":14,"nid":"s","nname":"google_adsense","weight":5,"priority":1,"key":{"pubid":"x","c":1}},)"
        R"({"type":9,"nid":"h","nname":"custom","weight":5,"priority":3,"key":12}]})"));
    const auto& networks = config.adNetworkConfigs();
    ASSERT_EQ(networks.size(), 3u);
    EXPECT_EQ(networks[0]->trafficPercentage(), 0);
    EXPECT_EQ(networks[0]->priority(), 2);
    EXPECT_EQ(networks[0]->pubId(), "pub-7");
    EXPECT_EQ(networks[1]->pubId(), "x");
    EXPECT_EQ(networks[1]->credentials()->size(), 2u);
    EXPECT_FALSE(networks[2]->credentials());
    EXPECT_EQ(config.totalWeight(), 10);
}

TEST_F(ConfigParseTest, LegacyLayoutTable) {
    struct Case {
        std::string json;
        std::vector<std::string> nids;
        bool adsAreOff;
    };
    const std::vector<Case> cases = {
        {R"([{"admob_ration":60,"google_adsense_ration":40},{"admob_key":"p","google_adsense_key":"q"},)"
         R"({"admob_priority":1,"google_adsense_priority":2},{}])",
         {"1", "14"},
         false},
        {R"([{"empty_ration":100,"admob_ration":60},{"admob_priority":1}])", {}, true},
        {R"([{"empty_ration":50},{"empty_priority":1}])", {}, true},
        {R"([{"dontcare_ration":5,"custom_ration":10},{},{"custom_priority":1},{},{},{}])", {"9"}, false},
        {R"([{"mystery_ration":10},{},{"mystery_priority":1}])", {}, true},
    };
    for (const Case& c : cases) {
        AdWhirlConfig config("key");
        ASSERT_TRUE(config.parseConfig(c.json)) << c.json;
        EXPECT_TRUE(config.legacy());
        EXPECT_EQ(nids(config), c.nids) << c.json;
        EXPECT_EQ(config.adsAreOff(), c.adsAreOff) << c.json;
    }
}

TEST_F(ConfigParseTest, LegacyAdRolloShareGoesToAdWhirlEntries) {
    test::ScriptedAdapters extra({10, 12});
    AdWhirlConfig config("key");
    ASSERT_TRUE(
        config.parseConfig(R"([{"adrollo_ration":50,"adwhirl_10_ration":0,"adwhirl_12_ration":0},)"
                           R"({"adrollo_key":"k"},{"adwhirl_10_priority":1,"adwhirl_12_priority":2}])"));
    ASSERT_EQ(config.adNetworkConfigs().size(), 2u);
    for (const auto& network : config.adNetworkConfigs()) {
        EXPECT_EQ(network->trafficPercentage(), 25);
        EXPECT_EQ(network->pubId(), "k");
    }
}

TEST_F(ConfigParseTest, ErrorsTable) {
    struct Case {
        std::string json;
        AdWhirlErrorCode code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"{", AdWhirlErrorCode::ConfigDataError, "Error parsing config JSON from server"},
        {"", AdWhirlErrorCode::ConfigDataError, "Error parsing config JSON from server"},
        {R"([{"admob_ration":1}, 3])", AdWhirlErrorCode::ConfigFormatError,
         "Expected dictionary in config data"},
        {R"([{"admob":1}])", AdWhirlErrorCode::ConfigFormatError,
         "Expected underscore delimiter in key 'admob'"},
        {R"([{"_ration":1}])", AdWhirlErrorCode::ConfigFormatError, "Empty ad network name in key '_ration'"},
        {R"([{"admob_":1}])", AdWhirlErrorCode::ConfigFormatError, "Empty value name in key 'admob_'"},
    };
    for (const Case& c : cases) {
        AdWhirlConfig config("key");
        Result<void> parsed = config.parseConfig(c.json);
        ASSERT_FALSE(parsed) << c.json;
        EXPECT_TRUE(AdWhirlError::is(parsed.error(), c.code)) << c.json << ": " << parsed.error().code();
        EXPECT_EQ(parsed.error().localizedDescription(), c.message);
        EXPECT_EQ(parsed.error().underlyingError() != nullptr, c.code == AdWhirlErrorCode::ConfigDataError);
    }
}

TEST(ConfigColorTest, ColourReaderTable) {
    struct Case {
        Dictionary dict;
        std::optional<Color> color;
    };
    const std::vector<Case> cases = {
        {{{"red", 255}, {"green", 128}, {"blue", 0}, {"alpha", 0.5}}, Color(1.0, 128 / 255.0, 0, 0.5)},
        {{{"red", "51"}, {"green", 51}, {"blue", 51}}, Color(0.2, 0.2, 0.2, 1)},
        // out of range: clamped
        {{{"red", 300}, {"green", -20}, {"blue", 255}, {"alpha", 7}}, Color(1, 0, 1, 1)},
        {{{"red", 255}, {"green", 128}}, std::nullopt},
        {{{"red", 255}, {"green", 128}, {"blue", Array{}}}, std::nullopt},
    };
    for (const Case& c : cases) {
        auto color = colorWithDict(c.dict);
        ASSERT_EQ(color.has_value(), c.color.has_value()) << Value(c.dict).debugDescription();
        if (color) {
            EXPECT_NEAR(color->red(), c.color->red(), 1e-9);
            EXPECT_NEAR(color->green(), c.color->green(), 1e-9);
            EXPECT_NEAR(color->blue(), c.color->blue(), 1e-9);
            EXPECT_NEAR(color->alpha(), c.color->alpha(), 1e-9);
        }
    }
}

TEST_F(ConfigParseTest, IncompleteColourClearsTheDefault) {
    AdWhirlConfig config("key");
    ASSERT_TRUE(config.parseConfig(R"({"extra":{"background_color_rgb":{"red":1,"green":2}}})"));
    EXPECT_FALSE(config.backgroundColor());
    EXPECT_TRUE(config.textColor());
}

} // namespace
} // namespace murmelo
