// The mediation presets `serve --mediation` and `demo --mediation` choose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "servers/Accounts.h"
#include "servers/ServerConfig.h"

namespace murmelo::servers {
namespace {

TEST(MediationPresetsTest, EachPresetShapesEveryKey) {
    struct Case {
        std::string preset;
        std::vector<std::pair<std::string, int>> weights; // name, weight
        bool legacy;
        int refreshInterval;
    };
    const std::vector<Case> cases = {
        {"default", {{"admob", 30}, {"google_adsense", 30}, {"iad", 20}, {"custom", 20}}, false, 45},
        {"legacy", {{"admob", 30}, {"google_adsense", 30}, {"iad", 20}, {"custom", 20}}, true, 45},
        {"off", {}, false, 45},
        {"rollover", {{"admob", 0}, {"google_adsense", 0}, {"iad", 0}, {"custom", 100}}, false, 45},
        {"fast", {{"admob", 30}, {"google_adsense", 30}, {"iad", 20}, {"custom", 20}}, false, 5},
        {"google_adsense", {{"google_adsense", 100}}, false, 45},
        {"iad", {{"iad", 100}}, false, 45},
    };
    for (const Case& c : cases) {
        ServerConfig config = ServerConfig::defaults();
        ASSERT_TRUE(config.applyMediationPreset(c.preset)) << c.preset;
        for (const auto& key : {kMediationAppKey, kMediationAppKeyIos4}) {
            const MediationApp& app = config.mediation.at(std::string(key));
            std::vector<std::pair<std::string, int>> weights;
            for (const AdNetwork& network : app.networks) {
                weights.emplace_back(network.name, network.weight);
            }
            EXPECT_EQ(weights, c.weights) << c.preset;
            EXPECT_EQ(app.legacyLayout, c.legacy) << c.preset;
            EXPECT_EQ(app.extra.find("refresh_interval")->integerValue(), c.refreshInterval) << c.preset;
        }
    }
}

TEST(MediationPresetsTest, UnknownPresetIsRefusedAndChangesNothing) {
    ServerConfig config = ServerConfig::defaults();
    auto applied = config.applyMediationPreset("everything");
    ASSERT_FALSE(applied);
    EXPECT_NE(applied.error().localizedDescription().find("rollover"), std::string::npos);
    EXPECT_EQ(config.mediation.at(std::string(kMediationAppKey)).networks.size(), 4u);
}

} // namespace
} // namespace murmelo::servers
