// The once-per-process identity: computed at the first request, the same
// complete text for concurrent first requests, unchanged afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "app/base/OVUtils.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/runloop/RunLoop.h"
#include "tests/platform/foundation/test_home.h"

using namespace murmelo;

namespace {

class IdentityCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::createDirectories(m_home.bundle()));
        ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(
            Value(Dictionary{{"CFBundleName", "Murmelo Beta"}, {"CFBundleVersion", "2.3"}}),
            m_home.bundle() + "/Info.plist"));
        Bundle::setMainBundlePath(m_home.bundle());
        useDevice({"preferredLanguages=zh-Hans,en", "machine=iPhone3,1"});
        ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Wifi);
        OVUtils::resetCachedIdentityForTesting();
    }
    void TearDown() override {
        ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Wifi);
        OVUtils::resetCachedIdentityForTesting();
    }
    void useDevice(const std::vector<std::string>& overrides) {
        DeviceProfile profile;
        ASSERT_TRUE(profile.applyOverrides(overrides));
        DeviceProfile::setCurrent(profile);
        UserDefaults::resetStandardUserDefaults();
    }
    test::TestHome m_home;
};

TEST_F(IdentityCacheTest, ValuesComeFromTheDevice) {
    const std::string id = DeviceProfile::current()->uniqueIdentifier();
    EXPECT_EQ(OVUtils::networkType(), "WIFI");
    EXPECT_EQ(OVUtils::defaultUserAgent(),
              "Murmelo Beta/2.3 (iPhone; iPhone OS 4.3.3; zh-Hans; iPhone3,1; " + id + "; WIFI; JB_0)");
    EXPECT_EQ(OVUtils::customHTTPGETParams(),
              "app=Murmelo%20Beta&v=2.3&lang=zh-Hans&jb=0&deviceid=" + id + "&phonetype=iphone");
    EXPECT_EQ(OVUtils::urlByAddingParamsForURL("http://h/index.php"),
              "http://h/index.php?" + OVUtils::customHTTPGETParams());
}

TEST_F(IdentityCacheTest, KeptAfterTheDeviceChanges) {
    struct Step {
        NetworkState first;
        const char* network;
        NetworkState later;
    };
    const Step steps[] = {{NetworkState::Carrier, "Carrier", NetworkState::Wifi},
                          {NetworkState::None, "None", NetworkState::Wifi},
                          {NetworkState::Wifi, "WIFI", NetworkState::None}};
    for (const Step& step : steps) {
        OVUtils::resetCachedIdentityForTesting();
        useDevice({"preferredLanguages=zh-Hans"});
        ReachabilityDeviceSource::shared().setNetworkState(step.first);
        const std::string agent = OVUtils::defaultUserAgent();
        const std::string block = OVUtils::customHTTPGETParams();
        EXPECT_NE(agent.find(std::string("; zh-Hans; ")), std::string::npos) << agent;
        EXPECT_NE(agent.find(std::string("; ") + step.network + "; JB_"), std::string::npos) << agent;
        // The connection and the language change; the identity does not.
        ReachabilityDeviceSource::shared().setNetworkState(step.later);
        useDevice({"preferredLanguages=de"});
        EXPECT_EQ(OVUtils::networkType(), step.network);
        EXPECT_EQ(OVUtils::defaultUserAgent(), agent);
        EXPECT_EQ(OVUtils::customHTTPGETParams(), block);
    }
}

TEST_F(IdentityCacheTest, ConcurrentFirstRequestsSeeOneValue) {
    constexpr int kThreads = 8;
    std::mutex mutex;
    std::set<std::string> agents;
    std::set<std::string> blocks;
    std::atomic<int> done{0};
    OperationQueue queue(kThreads);
    for (int i = 0; i < kThreads; ++i) {
        queue.addOperationWithBlock([&] {
            std::string agent = OVUtils::defaultUserAgent();
            std::string block = OVUtils::customHTTPGETParams();
            std::lock_guard lock(mutex);
            agents.insert(agent);
            blocks.insert(block);
            ++done;
        });
    }
    std::string mainAgent = OVUtils::defaultUserAgent();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(10));
    EXPECT_EQ(done.load(), kThreads);
    EXPECT_EQ(agents, std::set<std::string>{mainAgent});
    EXPECT_EQ(blocks.size(), 1u);
}

} // namespace
