// OVReachability: the flag rules, status values, the handle cache and the
// change notifications, over the device's reachability source (simulated
// states, or a scripted source standing in for the host).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <mutex>

#include "app/reach/OVReachability.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

using namespace murmelo;
using namespace murmelo::reachability;

namespace {

constexpr double kBound = 5.0;

bool drainMainLoop() {
    bool reached = false;
    RunLoop::main().post([&] { reached = true; });
    return RunLoop::main().runModeUntil(
        RunLoop::kDefaultMode, [&] { return reached; }, RunLoop::dateAfter(kBound));
}

// Answers every target with the flags the test sets.
class ScriptedSource : public ReachabilitySource {
public:
    std::atomic<ReachabilityFlags> answer{0};
    std::atomic<int> reads{0};
    std::atomic<bool> failing{false};
    Result<ReachabilityFlags> flags(const ReachabilityTarget&, double) override {
        ++reads;
        if (failing) {
            return Error::generic("unreadable");
        }
        return answer.load();
    }
    Result<std::unique_ptr<ReachabilityWatch>> watchChanges(ChangeCallback, const RunLoopModes&) override {
        return std::unique_ptr<ReachabilityWatch>(std::make_unique<ReachabilityWatch>());
    }
};

// Every test starts with notifications off, nothing registered and Wi-Fi.
class OVReachabilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& monitor = OVReachability::sharedReachability();
        monitor.setNetworkStatusNotificationsEnabled(false);
        monitor.stopListeningForReachabilityChanges();
        monitor.setHostName(std::nullopt);
        monitor.setAddress(std::nullopt);
        ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Wifi);
        ASSERT_TRUE(drainMainLoop());
        m_token = NotificationCenter::defaultCenter().addObserver(
            std::string(kNetworkReachabilityChangedNotification), nullptr, [this](const Notification& n) {
                {
                    std::lock_guard lock(m_mutex);
                    EXPECT_EQ(n.object, nullptr);
                    EXPECT_TRUE(n.userInfo.empty());
                    m_notifications.push_back(RunLoop::isMainThread());
                }
                RunLoop::main().post([] {}); // wakes a main-thread wait to look again
            });
    }
    void TearDown() override {
        m_token.remove();
        auto& monitor = OVReachability::sharedReachability();
        monitor.setNetworkStatusNotificationsEnabled(false);
        monitor.stopListeningForReachabilityChanges();
        ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Wifi);
        ReachabilityDeviceSource::shared().setHostSource(nullptr);
        ASSERT_TRUE(drainMainLoop());
    }
    // Uses a scripted source in the host state.
    std::shared_ptr<ScriptedSource> scripted() {
        auto source = std::make_shared<ScriptedSource>();
        ReachabilityDeviceSource::shared().setHostSource(source);
        ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Host);
        return source;
    }
    size_t notificationCount() {
        std::lock_guard lock(m_mutex);
        return m_notifications.size();
    }

    ObserverToken m_token;
    std::mutex m_mutex;
    std::vector<bool> m_notifications; // posted on the main thread?
};

} // namespace

TEST_F(OVReachabilityTest, FlagWordsGiveReachabilityAndStatus) {
    struct Case {
        const char* name;
        ReachabilityFlags flags;
        bool reachable;
        NetworkStatus internet;
        NetworkStatus remote;
    };
    const Case cases[] = {
        {"nothing", 0, false, NetworkStatus::NotReachable, NetworkStatus::NotReachable},
        {"reachable", kReachable, true, NetworkStatus::ReachableViaWiFiNetwork,
         NetworkStatus::ReachableViaWiFiNetwork},
        {"reachable + connection required", kReachable | kConnectionRequired, false,
         NetworkStatus::NotReachable, NetworkStatus::NotReachable},
        {"reachable + connection required + WWAN", kReachable | kConnectionRequired | kIsWWAN, true,
         NetworkStatus::ReachableViaWiFiNetwork, NetworkStatus::ReachableViaWiFiNetwork},
        {"reachable + direct", kReachable | kIsDirect, true, NetworkStatus::NotReachable,
         NetworkStatus::ReachableViaWiFiNetwork},
        {"reachable + transient", kReachable | kTransientConnection, true,
         NetworkStatus::ReachableViaCarrierDataNetwork, NetworkStatus::ReachableViaCarrierDataNetwork},
        {"reachable + WWAN without transient", kReachable | kIsWWAN, true,
         NetworkStatus::ReachableViaWiFiNetwork, NetworkStatus::ReachableViaWiFiNetwork},
        {"carrier link", kReachable | kIsWWAN | kTransientConnection, true,
         NetworkStatus::ReachableViaCarrierDataNetwork, NetworkStatus::ReachableViaCarrierDataNetwork},
        {"transient but not reachable", kTransientConnection | kIsWWAN, false, NetworkStatus::NotReachable,
         NetworkStatus::NotReachable},
    };
    auto& monitor = OVReachability::sharedReachability();
    auto source = scripted();
    monitor.setHostName(std::string("content.murmelo.test"));
    for (const Case& c : cases) {
        source->answer = c.flags;
        EXPECT_EQ(monitor.isReachableWithoutRequiringConnection(c.flags), c.reachable) << c.name;
        ReachabilityFlags out = 0xFFFFFFFF;
        EXPECT_EQ(monitor.isNetworkAvailableFlags(&out), c.reachable) << c.name;
        EXPECT_EQ(out, c.flags) << c.name << ": flags are written out";
        EXPECT_EQ(monitor.internetConnectionStatus(), c.internet) << c.name;
        EXPECT_EQ(monitor.remoteHostStatus(), c.remote) << c.name;
        EXPECT_EQ(monitor.isHostReachable(std::string("content.murmelo.test")), c.reachable) << c.name;
        EXPECT_EQ(monitor.localWiFiConnectionStatus(),
                  c.reachable ? NetworkStatus::ReachableViaWiFiNetwork : NetworkStatus::NotReachable)
            << c.name;
    }
}

TEST_F(OVReachabilityTest, UnreadableFlagsCountAsNotReachableAndLeaveTheOutParameter) {
    auto& monitor = OVReachability::sharedReachability();
    auto source = scripted();
    source->answer = kReachable;
    source->failing = true;
    ReachabilityFlags out = 0x1234;
    EXPECT_FALSE(monitor.isNetworkAvailableFlags(&out));
    EXPECT_EQ(out, 0x1234u);
    EXPECT_FALSE(monitor.isNetworkAvailableFlags(nullptr));
    EXPECT_EQ(monitor.internetConnectionStatus(), NetworkStatus::NotReachable);
    monitor.setAddress(std::string("192.0.2.8"));
    EXPECT_EQ(monitor.remoteHostStatus(), NetworkStatus::NotReachable);
    EXPECT_FALSE(monitor.isHostReachable(std::string("content.murmelo.test")));
}

TEST_F(OVReachabilityTest, SimulatedNetworksGiveTheDocumentedStatuses) {
    struct Case {
        NetworkState state;
        NetworkStatus internet;
        NetworkStatus localWiFi;
    };
    const Case cases[] = {
        {NetworkState::Wifi, NetworkStatus::ReachableViaWiFiNetwork, NetworkStatus::ReachableViaWiFiNetwork},
        {NetworkState::Carrier, NetworkStatus::ReachableViaCarrierDataNetwork, NetworkStatus::NotReachable},
        {NetworkState::None, NetworkStatus::NotReachable, NetworkStatus::NotReachable},
    };
    auto& monitor = OVReachability::sharedReachability();
    for (const Case& c : cases) {
        ReachabilityDeviceSource::shared().setNetworkState(c.state);
        EXPECT_EQ(monitor.internetConnectionStatus(), c.internet) << networkStateName(c.state);
        EXPECT_EQ(monitor.localWiFiConnectionStatus(), c.localWiFi) << networkStateName(c.state);
    }
}

TEST_F(OVReachabilityTest, HandlesAreCachedByKeyAndNilOrBadTextGivesNone) {
    auto& monitor = OVReachability::sharedReachability();
    EXPECT_EQ(monitor.internetConnectionStatus(), NetworkStatus::ReachableViaWiFiNetwork);
    auto queries = monitor.reachabilityQueries();
    ASSERT_TRUE(queries.count(kDefaultRouteKey));
    auto defaultHandle = queries[kDefaultRouteKey]->reachabilityRef();
    ASSERT_TRUE(defaultHandle);
    EXPECT_TRUE(defaultHandle->target().isDefaultRoute());
    EXPECT_EQ(queries[kDefaultRouteKey]->hostNameOrAddress(), "0.0.0.0");
    EXPECT_EQ(monitor.internetConnectionStatus(), NetworkStatus::ReachableViaWiFiNetwork);
    EXPECT_EQ(monitor.reachabilityQueries()[kDefaultRouteKey]->reachabilityRef(), defaultHandle)
        << "a second status question reuses the cached default-route entry";

    EXPECT_EQ(monitor.localWiFiConnectionStatus(), NetworkStatus::ReachableViaWiFiNetwork);
    auto linkLocal = monitor.reachabilityQueries()[kLinkLocalAddressKey]->reachabilityRef();
    ASSERT_TRUE(linkLocal);
    EXPECT_TRUE(linkLocal->target().isIPv4LinkLocal());
    EXPECT_EQ(linkLocal->target().text(), "169.254.0.0");

    auto byName = monitor.reachabilityRefForHostName(std::string("status.murmelo.test"));
    ASSERT_TRUE(byName);
    EXPECT_EQ(monitor.reachabilityRefForHostName(std::string("status.murmelo.test")), byName);
    EXPECT_NE(monitor.reachabilityRefForHostName(std::string("service.murmelo.test")), byName);
    auto byAddress = monitor.reachabilityRefForAddress(std::string("192.0.2.9"));
    ASSERT_TRUE(byAddress);
    EXPECT_EQ(monitor.reachabilityRefForAddress(std::string("192.0.2.9")), byAddress);
    EXPECT_EQ(byAddress->target().text(), "192.0.2.9");

    EXPECT_FALSE(monitor.reachabilityRefForHostName(std::nullopt));
    EXPECT_FALSE(monitor.reachabilityRefForHostName(std::string()));
    EXPECT_FALSE(monitor.reachabilityRefForAddress(std::nullopt));
    EXPECT_FALSE(monitor.reachabilityRefForAddress(std::string()));
    EXPECT_FALSE(monitor.reachabilityRefForAddress(std::string("not an address")));
    EXPECT_FALSE(monitor.isHostReachable(std::nullopt));
    EXPECT_FALSE(monitor.isHostReachable(std::string()));
    EXPECT_FALSE(monitor.isHostReachable(std::string("nothing.invalid")));
    EXPECT_TRUE(monitor.isHostReachable(std::string("content.murmelo.test")));

    // Neither host nor address: 0; an empty host name is not replaced by the address.
    EXPECT_EQ(monitor.remoteHostStatus(), NetworkStatus::NotReachable);
    monitor.setAddress(std::string("192.0.2.9"));
    EXPECT_EQ(monitor.remoteHostStatus(), NetworkStatus::ReachableViaWiFiNetwork);
    monitor.setHostName(std::string());
    EXPECT_EQ(monitor.remoteHostStatus(), NetworkStatus::NotReachable);
}

TEST_F(OVReachabilityTest, AddressFromStringFollowsInetAton) {
    struct Case {
        std::optional<std::string> text;
        bool ok;
        const char* expected;
    };
    const Case cases[] = {
        {std::string("192.0.2.1"), true, "192.0.2.1"},
        {std::string("0.0.0.0"), true, "0.0.0.0"},
        {std::string("127.1"), true, "127.0.0.1"},
        {std::string("0x7f.1"), true, "127.0.0.1"},
        {std::string("3221225985"), true, "192.0.2.1"},
        {std::string("256.1.1.1"), false, nullptr},
        {std::string("1.2.3.4.5"), false, nullptr},
        {std::string("::1"), false, nullptr},
        {std::string(""), false, nullptr},
        {std::nullopt, false, nullptr},
    };
    auto& monitor = OVReachability::sharedReachability();
    for (const Case& c : cases) {
        sockaddr_in address;
        std::memset(&address, 0xAB, sizeof address);
        bool ok = monitor.addressFromString(c.text, &address);
        EXPECT_EQ(ok, c.ok) << c.text.value_or("(nil)");
        if (ok) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
            EXPECT_STREQ(text, c.expected);
            EXPECT_EQ(address.sin_family, AF_INET);
            EXPECT_EQ(address.sin_port, 0);
        }
    }
}

TEST_F(OVReachabilityTest, EachChangePostsOneNotificationWhileEnabled) {
    auto& monitor = OVReachability::sharedReachability();
    monitor.setNetworkStatusNotificationsEnabled(true);
    EXPECT_EQ(monitor.internetConnectionStatus(), NetworkStatus::ReachableViaWiFiNetwork);
    auto entry = monitor.reachabilityQueries()[kDefaultRouteKey];
    EXPECT_TRUE(entry->isScheduledOnRunLoop(RunLoop::main().handle()));
    EXPECT_EQ(entry->runLoops().size(), 1u);
    // Asking again from the same loop registers nothing more.
    EXPECT_EQ(monitor.internetConnectionStatus(), NetworkStatus::ReachableViaWiFiNetwork);
    EXPECT_EQ(entry->runLoops().size(), 1u);
    EXPECT_EQ(entry->reachabilityRef()->registrationCount(), 1u);
    ASSERT_TRUE(drainMainLoop());
    EXPECT_EQ(notificationCount(), 0u);

    std::vector<NetworkStatus> statuses;
    auto observer = NotificationCenter::defaultCenter().addObserver(
        std::string(kNetworkReachabilityChangedNotification), nullptr,
        [&](const Notification&) { statuses.push_back(monitor.internetConnectionStatus()); });
    size_t expected = 0;
    for (NetworkState state : {NetworkState::Carrier, NetworkState::None, NetworkState::Wifi}) {
        ReachabilityDeviceSource::shared().setNetworkState(state);
        ++expected;
        ASSERT_TRUE(RunLoop::main().runModeUntil(
            RunLoop::kDefaultMode, [&] { return notificationCount() == expected; },
            RunLoop::dateAfter(kBound)));
    }
    ASSERT_TRUE(drainMainLoop());
    EXPECT_EQ(notificationCount(), 3u);
    EXPECT_EQ(statuses, (std::vector<NetworkStatus>{NetworkStatus::ReachableViaCarrierDataNetwork,
                                                    NetworkStatus::NotReachable,
                                                    NetworkStatus::ReachableViaWiFiNetwork}));
    {
        std::lock_guard lock(m_mutex);
        for (bool onMain : m_notifications) {
            EXPECT_TRUE(onMain);
        }
    }

    // Stopping keeps the entries but ends every registration.
    monitor.stopListeningForReachabilityChanges();
    EXPECT_TRUE(entry->runLoops().empty());
    EXPECT_EQ(entry->reachabilityRef()->registrationCount(), 0u);
    EXPECT_TRUE(monitor.reachabilityQueries().count(kDefaultRouteKey));
    ReachabilityDeviceSource::shared().setNetworkState(NetworkState::Carrier);
    ASSERT_TRUE(drainMainLoop());
    EXPECT_EQ(notificationCount(), 3u);
}

TEST_F(OVReachabilityTest, NothingIsRegisteredOrPostedWhileDisabled) {
    auto& monitor = OVReachability::sharedReachability();
    EXPECT_EQ(monitor.internetConnectionStatus(), NetworkStatus::ReachableViaWiFiNetwork);
    EXPECT_EQ(monitor.localWiFiConnectionStatus(), NetworkStatus::ReachableViaWiFiNetwork);
    auto named = monitor.reachabilityRefForHostName(std::string("disabled.murmelo.test"));
    ASSERT_TRUE(named);
    for (const auto& [key, entry] : monitor.reachabilityQueries()) {
        EXPECT_TRUE(entry->runLoops().empty()) << key;
        EXPECT_EQ(entry->reachabilityRef()->registrationCount(), 0u) << key;
    }
    for (NetworkState state : {NetworkState::Carrier, NetworkState::None, NetworkState::Wifi}) {
        ReachabilityDeviceSource::shared().setNetworkState(state);
        ASSERT_TRUE(drainMainLoop());
    }
    EXPECT_EQ(notificationCount(), 0u);
}

TEST_F(OVReachabilityTest, AWorkerThreadRegistersOnItsOwnLoopAndHearsThere) {
    auto& monitor = OVReachability::sharedReachability();
    monitor.setNetworkStatusNotificationsEnabled(true);
    Thread worker("reach.worker");
    ASSERT_TRUE(worker.start());
    std::atomic<int> status{-1};
    ASSERT_TRUE(worker.post([&] {
        status = static_cast<int>(monitor.internetConnectionStatus());
        RunLoop::main().post([] {});
    }));
    ASSERT_TRUE(RunLoop::main().runModeUntil(
        RunLoop::kDefaultMode, [&] { return status.load() >= 0; }, RunLoop::dateAfter(kBound)));
    EXPECT_EQ(status.load(), static_cast<int>(NetworkStatus::ReachableViaWiFiNetwork));
    auto entry = monitor.reachabilityQueries()[kDefaultRouteKey];
    EXPECT_TRUE(entry->isScheduledOnRunLoop(worker.runLoop()));
    EXPECT_FALSE(entry->isScheduledOnRunLoop(RunLoop::main().handle()));

    ReachabilityDeviceSource::shared().setNetworkState(NetworkState::None);
    ASSERT_TRUE(RunLoop::main().runModeUntil(
        RunLoop::kDefaultMode, [&] { return notificationCount() == 1; }, RunLoop::dateAfter(kBound)));
    {
        std::lock_guard lock(m_mutex);
        EXPECT_FALSE(m_notifications[0]) << "posted on the worker's thread";
    }
    monitor.stopListeningForReachabilityChanges();
    ASSERT_TRUE(worker.stopAndJoin(kBound));
}

TEST_F(OVReachabilityTest, ScheduleNeedsALoopAndStartListeningNeedsBoth) {
    auto handle = Reachability::createWithName("listen.murmelo.test");
    EXPECT_FALSE(
        OVReachabilityQuery::startListeningForReachabilityChanges(nullptr, RunLoop::main().handle()));
    EXPECT_FALSE(OVReachabilityQuery::startListeningForReachabilityChanges(handle, std::nullopt));
    OVReachability::sharedReachability().setNetworkStatusNotificationsEnabled(true);
    OVReachabilityQuery query;
    query.setReachabilityRef(handle);
    query.scheduleOnRunLoop(std::nullopt);
    EXPECT_TRUE(query.runLoops().empty());
    query.scheduleOnRunLoop(RunLoop::main().handle());
    query.scheduleOnRunLoop(RunLoop::main().handle());
    EXPECT_EQ(query.runLoops().size(), 1u);
    EXPECT_TRUE(handle->isScheduledOnRunLoop(RunLoop::main().handle(), RunLoop::kDefaultMode));
    query.stopListening();
    EXPECT_FALSE(handle->isScheduledOnRunLoop(RunLoop::main().handle(), RunLoop::kDefaultMode));
}
