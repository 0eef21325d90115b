// Reachability: the route → flags rule, the simulated device states, the
// netlink parser, name handling, and handles reporting changes on run loops.
#include <gtest/gtest.h>

#include <net/if.h>
#include <net/if_arp.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <fstream>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sstream>
#include <thread>

#include "platform/net/ConnectToMap.h"
#include "platform/net/Reachability.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/net/ReachabilityHostSource.h"
#include "platform/net/internal/ReachabilityNetlink.h"
#include "platform/net/internal/ReachabilityResolver.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

using namespace murmelo;
using namespace murmelo::reachability;
using internal::LinkEntry;
using internal::RouteEntry;
using internal::RouteFacts;

namespace {

constexpr double kBound = 5.0;

ReachabilityTarget address(const char* text) {
    return *ReachabilityTarget::numericAddress(text);
}

// Runs the main loop until a call posted now has run: everything posted
// before it (change events included) has been delivered by then.
bool drainMainLoop() {
    bool reached = false;
    RunLoop::main().post([&] { reached = true; });
    return RunLoop::main().runModeUntil(
        RunLoop::kDefaultMode, [&] { return reached; }, RunLoop::dateAfter(kBound));
}

bool runMainUntil(const std::function<bool()>& condition) {
    return RunLoop::main().runModeUntil(RunLoop::kDefaultMode, condition, RunLoop::dateAfter(kBound));
}

} // namespace

TEST(ReachabilityFlagsRule, RouteAndLinkGiveTheFlags) {
    const std::uint32_t upRunning = IFF_UP | IFF_RUNNING;
    struct Case {
        const char* name;
        RouteFacts::Target target;
        std::optional<std::uint8_t> routeType; // nothing: no route
        bool gateway;
        std::uint16_t hardware;
        std::uint32_t linkFlags;
        bool wireless;
        bool wwanDevtype;
        ReachabilityFlags expected;
    };
    const Case cases[] = {
        {"no route", RouteFacts::Target::DefaultRoute, std::nullopt, false, ARPHRD_ETHER, upRunning, false,
         false, 0},
        {"default over ethernet", RouteFacts::Target::DefaultRoute, RTN_UNICAST, true, ARPHRD_ETHER,
         upRunning, false, false, kReachable},
        {"default over wifi", RouteFacts::Target::DefaultRoute, RTN_UNICAST, true, ARPHRD_ETHER, upRunning,
         true, false, kReachable},
        {"default over ppp, no gateway", RouteFacts::Target::DefaultRoute, RTN_UNICAST, false, ARPHRD_PPP,
         upRunning | IFF_POINTOPOINT, false, false, kReachable | kIsWWAN | kTransientConnection},
        {"default over raw ip", RouteFacts::Target::DefaultRoute, RTN_UNICAST, false, ARPHRD_NONE, upRunning,
         false, false, kReachable | kIsWWAN | kTransientConnection},
        {"default over ARPHRD_RAWIP", RouteFacts::Target::DefaultRoute, RTN_UNICAST, true, ARPHRD_RAWIP,
         upRunning, false, false, kReachable | kIsWWAN | kTransientConnection},
        {"default over a wwan-typed ethernet", RouteFacts::Target::DefaultRoute, RTN_UNICAST, true,
         ARPHRD_ETHER, upRunning, false, true, kReachable | kIsWWAN | kTransientConnection},
        {"default over loopback only", RouteFacts::Target::DefaultRoute, RTN_UNICAST, false, ARPHRD_LOOPBACK,
         upRunning | IFF_LOOPBACK, false, false, 0},
        {"link down", RouteFacts::Target::DefaultRoute, RTN_UNICAST, true, ARPHRD_ETHER, 0, false, false, 0},
        {"no carrier", RouteFacts::Target::DefaultRoute, RTN_UNICAST, true, ARPHRD_ETHER, IFF_UP, false,
         false, 0},
        {"unreachable route", RouteFacts::Target::Address, RTN_UNREACHABLE, false, ARPHRD_ETHER, upRunning,
         false, false, 0},
        {"blackhole route", RouteFacts::Target::Address, RTN_BLACKHOLE, false, ARPHRD_ETHER, upRunning, false,
         false, 0},
        {"local address", RouteFacts::Target::Address, RTN_LOCAL, false, ARPHRD_LOOPBACK,
         upRunning | IFF_LOOPBACK, false, false, kReachable | kIsLocalAddress | kIsDirect},
        {"on-link address", RouteFacts::Target::Address, RTN_UNICAST, false, ARPHRD_ETHER, upRunning, true,
         false, kReachable | kIsDirect},
        {"address via gateway", RouteFacts::Target::Address, RTN_UNICAST, true, ARPHRD_ETHER, upRunning,
         false, false, kReachable},
        {"address over ppp peer", RouteFacts::Target::Address, RTN_UNICAST, false, ARPHRD_PPP,
         upRunning | IFF_POINTOPOINT, false, false, kReachable | kIsWWAN | kTransientConnection},
    };
    for (const Case& c : cases) {
        RouteFacts facts;
        facts.target = c.target;
        if (c.routeType) {
            RouteEntry route;
            route.type = *c.routeType;
            route.hasGateway = c.gateway;
            route.outputInterface = 2;
            facts.route = route;
            LinkEntry link;
            link.index = 2;
            link.hardwareType = c.hardware;
            link.flags = c.linkFlags;
            facts.link = link;
        }
        facts.wireless = c.wireless;
        facts.wwanDeviceType = c.wwanDevtype;
        EXPECT_EQ(internal::flagsForRoute(facts), c.expected) << c.name;
    }
}

TEST(ReachabilityDeviceSource, SimulatedStatesGiveTheirFlags) {
    struct Case {
        NetworkState state;
        ReachabilityTarget target;
        ReachabilityFlags expected;
    };
    const ReachabilityFlags carrier = kReachable | kIsWWAN | kTransientConnection;
    const ReachabilityFlags local = kReachable | kIsLocalAddress | kIsDirect;
    const Case cases[] = {
        {NetworkState::None, address("0.0.0.0"), 0},
        {NetworkState::None, ReachabilityTarget::hostName("content.murmelo.example"), 0},
        {NetworkState::None, address("127.0.0.1"), local},
        {NetworkState::None, ReachabilityTarget::hostName("localhost"), local},
        {NetworkState::Wifi, address("0.0.0.0"), kReachable},
        {NetworkState::Wifi, address("169.254.0.0"), kReachable | kIsDirect},
        {NetworkState::Wifi, ReachabilityTarget::hostName("content.murmelo.example"), kReachable},
        {NetworkState::Wifi, ReachabilityTarget::hostName("nowhere.invalid"), 0},
        {NetworkState::Wifi, ReachabilityTarget::hostName("NOWHERE.Invalid."), 0},
        {NetworkState::Wifi, address("::1"), local},
        {NetworkState::Carrier, address("0.0.0.0"), carrier},
        {NetworkState::Carrier, address("169.254.0.0"), 0},
        {NetworkState::Carrier, ReachabilityTarget::hostName("ads.example"), carrier},
        {NetworkState::Carrier, address("2001:db8::1"), carrier},
    };
    for (const Case& c : cases) {
        ReachabilityDeviceSource source(c.state);
        auto flags = source.flags(c.target, kBound);
        ASSERT_TRUE(flags) << c.target.text();
        EXPECT_EQ(*flags, c.expected) << networkStateName(c.state) << " " << c.target.text();
    }
}

TEST(ReachabilityFlagsText, OneLetterPerBit) {
    EXPECT_EQ(reachabilityFlagsDescription(0), "---------");
    EXPECT_EQ(reachabilityFlagsDescription(kReachable | kIsWWAN | kTransientConnection), "tR------W");
    EXPECT_EQ(reachabilityFlagsDescription(kReachable | kConnectionRequired | kConnectionOnTraffic |
                                           kInterventionRequired | kIsLocalAddress | kIsDirect),
              "-RcCi-ld-");
}

TEST(ReachabilityTargetText, AddressesParseAndClassify) {
    EXPECT_TRUE(address("0.0.0.0").isDefaultRoute());
    EXPECT_FALSE(address("0.0.0.1").isDefaultRoute());
    EXPECT_TRUE(address("169.254.0.0").isIPv4LinkLocal());
    EXPECT_TRUE(address("169.254.255.3").isIPv4LinkLocal());
    EXPECT_FALSE(address("169.253.0.0").isIPv4LinkLocal());
    EXPECT_TRUE(address("127.8.0.1").isLoopback());
    EXPECT_TRUE(address("[::1]").isLoopback());
    EXPECT_EQ(address("[::1]").text(), "::1");
    EXPECT_FALSE(ReachabilityTarget::numericAddress("example.com"));
    EXPECT_FALSE(ReachabilityTarget::numericAddress("1.2.3"));
    EXPECT_FALSE(ReachabilityTarget::numericAddress(""));
}

// The parser sees bytes from the kernel; malformed ones must be refused,
// never read past.
TEST(ReachabilityNetlinkParser, ReadsRoutesAndLinksAndRefusesBrokenMessages) {
    auto appendAttribute = [](std::vector<std::uint8_t>& bytes, unsigned short type, const void* data,
                              size_t size) {
        rtattr attribute{};
        attribute.rta_type = type;
        attribute.rta_len = static_cast<unsigned short>(sizeof attribute + size);
        size_t at = bytes.size();
        bytes.resize(at + ((attribute.rta_len + 3) & ~3u));
        std::memcpy(bytes.data() + at, &attribute, sizeof attribute);
        std::memcpy(bytes.data() + at + sizeof attribute, data, size);
    };
    auto message = [](unsigned short type, const std::vector<std::uint8_t>& payload) {
        nlmsghdr header{};
        header.nlmsg_type = type;
        header.nlmsg_len = static_cast<std::uint32_t>(sizeof header + payload.size());
        std::vector<std::uint8_t> bytes(header.nlmsg_len);
        std::memcpy(bytes.data(), &header, sizeof header);
        std::copy(payload.begin(), payload.end(), bytes.begin() + sizeof header);
        return bytes;
    };

    std::vector<std::uint8_t> route(sizeof(rtmsg));
    rtmsg head{};
    head.rtm_family = AF_INET;
    head.rtm_type = RTN_UNICAST;
    head.rtm_table = RT_TABLE_MAIN;
    std::memcpy(route.data(), &head, sizeof head);
    std::uint32_t oif = 4, priority = 100;
    in_addr gateway{};
    inet_pton(AF_INET, "192.0.2.1", &gateway);
    appendAttribute(route, RTA_OIF, &oif, sizeof oif);
    appendAttribute(route, RTA_PRIORITY, &priority, sizeof priority);
    appendAttribute(route, RTA_GATEWAY, &gateway, sizeof gateway);
    auto bytes = message(RTM_NEWROUTE, route);
    auto parsed = internal::parseNetlinkMessages(bytes);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->routes.size(), 1u);
    EXPECT_EQ(parsed->routes[0].outputInterface, 4);
    EXPECT_EQ(parsed->routes[0].priority, 100u);
    EXPECT_TRUE(parsed->routes[0].hasGateway);
    EXPECT_EQ(parsed->routes[0].dstLength, 0);
    EXPECT_TRUE(parsed->done);

    std::vector<std::uint8_t> link(sizeof(ifinfomsg));
    ifinfomsg info{};
    info.ifi_index = 4;
    info.ifi_type = ARPHRD_PPP;
    info.ifi_flags = IFF_UP;
    std::memcpy(link.data(), &info, sizeof info);
    appendAttribute(link, IFLA_IFNAME, "ppp0", 5);
    auto linkParsed = internal::parseNetlinkMessages(message(RTM_NEWLINK, link));
    ASSERT_TRUE(linkParsed);
    ASSERT_EQ(linkParsed->links.size(), 1u);
    EXPECT_EQ(linkParsed->links[0].name, "ppp0");
    EXPECT_EQ(linkParsed->links[0].hardwareType, ARPHRD_PPP);

    int unreachable = -ENETUNREACH;
    std::vector<std::uint8_t> error(sizeof(nlmsgerr));
    std::memcpy(error.data(), &unreachable, sizeof unreachable);
    auto errorParsed = internal::parseNetlinkMessages(message(NLMSG_ERROR, error));
    ASSERT_TRUE(errorParsed);
    EXPECT_EQ(errorParsed->errorCode, ENETUNREACH);

    // Broken: a length past the end, an attribute past its message, a route
    // payload shorter than its header, a length below the header size.
    auto tooLong = bytes;
    nlmsghdr header{};
    std::memcpy(&header, tooLong.data(), sizeof header);
    header.nlmsg_len += 4;
    std::memcpy(tooLong.data(), &header, sizeof header);
    EXPECT_FALSE(internal::parseNetlinkMessages(tooLong));

    auto badAttribute = route;
    rtattr first{};
    std::memcpy(&first, badAttribute.data() + sizeof(rtmsg), sizeof first);
    first.rta_len = 200;
    std::memcpy(badAttribute.data() + sizeof(rtmsg), &first, sizeof first);
    EXPECT_FALSE(internal::parseNetlinkMessages(message(RTM_NEWROUTE, badAttribute)));

    EXPECT_FALSE(internal::parseNetlinkMessages(message(RTM_NEWROUTE, std::vector<std::uint8_t>(3))));

    auto tiny = bytes;
    header.nlmsg_len = 4;
    std::memcpy(tiny.data(), &header, sizeof header);
    EXPECT_FALSE(internal::parseNetlinkMessages(tiny));
}

TEST(ReachabilityNetlinkParser, UeventDeviceType) {
    EXPECT_EQ(internal::ueventDeviceType("INTERFACE=wwan0\nIFINDEX=5\nDEVTYPE=wwan\n"), "wwan");
    EXPECT_EQ(internal::ueventDeviceType("DEVTYPE=wlan"), "wlan");
    EXPECT_EQ(internal::ueventDeviceType("INTERFACE=eth0\nXDEVTYPE=wwan\n"), "");
}

TEST(ReachabilityResolver, ReservedNamesNeverReachANameServer) {
    struct Case {
        const char* name;
        std::vector<std::string> expected;
    };
    ConnectToMap::shared().clear();
    ASSERT_TRUE(ConnectToMap::shared().addRules("mapped.murmelo.test:80:127.0.0.1:18080,"
                                                "secure.murmelo.test:443:[::1]:18443,"
                                                "gone.murmelo.test:80:nothing.invalid:80"));
    const Case cases[] = {
        {"nowhere.invalid", {}},
        {"INVALID", {}},
        {"deep.name.invalid.", {}},
        {"localhost", {"127.0.0.1", "::1"}},
        {"api.localhost", {"127.0.0.1", "::1"}},
        {"192.0.2.4", {"192.0.2.4"}},
        {"[2001:db8::4]", {"2001:db8::4"}},
        {"mapped.murmelo.test", {"127.0.0.1"}},
        {"Mapped.Murmelo.Test.", {"127.0.0.1"}},
        {"secure.murmelo.test", {"::1"}},
        {"gone.murmelo.test", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        auto resolved = internal::resolveForReachability(c.name, kBound);
        ASSERT_TRUE(resolved) << c.name;
        std::vector<std::string> texts;
        for (const auto& target : *resolved) {
            texts.push_back(target.text());
        }
        EXPECT_EQ(texts, c.expected) << c.name;
    }
    ConnectToMap::shared().clear();
}

// A fake for the host state: answers what the test sets and reports a
// change whenever asked to.
class ScriptedSource : public ReachabilitySource {
public:
    std::atomic<ReachabilityFlags> answer{0};
    Result<ReachabilityFlags> flags(const ReachabilityTarget&, double) override { return answer.load(); }
    Result<std::unique_ptr<ReachabilityWatch>> watchChanges(ChangeCallback, const RunLoopModes&) override {
        return std::unique_ptr<ReachabilityWatch>(std::make_unique<ReachabilityWatch>());
    }
};

TEST(ReachabilityHandle, ReportsEachFlagChangeOnceOnItsLoop) {
    ReachabilityDeviceSource source(NetworkState::Wifi);
    auto handle = Reachability::createWithAddress(
        [] {
            static sockaddr_in zero{};
            zero.sin_family = AF_INET;
            return reinterpret_cast<const sockaddr*>(&zero);
        }(),
        sizeof(sockaddr_in), &source);
    ASSERT_TRUE(handle);
    std::vector<ReachabilityFlags> seen;
    handle->setCallback([&](Reachability& which, ReachabilityFlags flags) {
        EXPECT_EQ(&which, handle.get());
        EXPECT_TRUE(RunLoop::isMainThread());
        seen.push_back(flags);
    });
    ASSERT_TRUE(handle->scheduleWithRunLoop(RunLoop::main().handle(), RunLoop::kDefaultMode));
    // Scheduling twice is one registration.
    ASSERT_TRUE(handle->scheduleWithRunLoop(RunLoop::main().handle(), RunLoop::kDefaultMode));
    EXPECT_EQ(handle->registrationCount(), 1u);
    ASSERT_TRUE(drainMainLoop());
    EXPECT_TRUE(seen.empty()) << "an address handle does not report at scheduling";

    // Each switch is awaited: a handle reads its flags when it hears of a
    // change, so switches made before the loop runs fold into one reading.
    source.setNetworkState(NetworkState::Carrier);
    ASSERT_TRUE(runMainUntil([&] { return seen.size() == 1; }));
    source.setNetworkState(NetworkState::Carrier); // no change, no report
    ASSERT_TRUE(drainMainLoop());
    EXPECT_EQ(seen.size(), 1u);
    source.setNetworkState(NetworkState::None);
    ASSERT_TRUE(runMainUntil([&] { return seen.size() == 2; }));
    source.setNetworkState(NetworkState::Wifi);
    ASSERT_TRUE(runMainUntil([&] { return seen.size() == 3; }));
    ASSERT_TRUE(drainMainLoop());
    EXPECT_EQ(seen,
              (std::vector<ReachabilityFlags>{kReachable | kIsWWAN | kTransientConnection, 0, kReachable}));

    // A state switch that leaves this target's flags alone reports nothing:
    // the host state answering the same flags as Wi-Fi.
    auto scripted = std::make_shared<ScriptedSource>();
    scripted->answer = kReachable;
    source.setHostSource(scripted);
    source.setNetworkState(NetworkState::Host);
    ASSERT_TRUE(drainMainLoop());
    EXPECT_EQ(seen.size(), 3u);

    ASSERT_TRUE(handle->unscheduleFromRunLoop(RunLoop::main().handle(), RunLoop::kDefaultMode));
    EXPECT_FALSE(handle->unscheduleFromRunLoop(RunLoop::main().handle(), RunLoop::kDefaultMode));
    source.setNetworkState(NetworkState::None);
    ASSERT_TRUE(drainMainLoop());
    EXPECT_EQ(seen.size(), 3u) << "no report after unscheduling";
}

TEST(ReachabilityHandle, NameHandleReportsOnceWhenScheduledAndOnWorkerLoops) {
    ReachabilityDeviceSource source(NetworkState::Wifi);
    auto named = Reachability::createWithName("config.murmelo.test", &source);
    ASSERT_TRUE(named);
    EXPECT_FALSE(Reachability::createWithName("", &source));

    Thread worker("reachability.worker");
    ASSERT_TRUE(worker.start());
    std::mutex mutex;
    std::vector<std::pair<ReachabilityFlags, bool>> seen; // flags, on the worker's loop
    RunLoopHandle workerLoop = worker.runLoop();
    named->setCallback([&](Reachability&, ReachabilityFlags flags) {
        {
            std::lock_guard lock(mutex);
            seen.emplace_back(flags, workerLoop.isCurrent());
        }
        RunLoop::main().post([] {}); // wakes the main thread's wait to look again
    });
    ASSERT_TRUE(named->scheduleWithRunLoop(workerLoop, RunLoop::kDefaultMode));
    auto count = [&] {
        std::lock_guard lock(mutex);
        return seen.size();
    };
    ASSERT_TRUE(runMainUntil([&] { return count() == 1; })) << "the first report of a name handle";
    source.setNetworkState(NetworkState::Carrier);
    ASSERT_TRUE(runMainUntil([&] { return count() == 2; }));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(seen[0], std::make_pair(kReachable, true));
        EXPECT_EQ(seen[1], std::make_pair(kReachable | kIsWWAN | kTransientConnection, true));
    }
    // A handle that is gone ends its registrations.
    named.reset();
    source.setNetworkState(NetworkState::None);
    std::atomic<bool> flushed{false};
    ASSERT_TRUE(worker.post([&] {
        flushed = true;
        RunLoop::main().post([] {});
    }));
    ASSERT_TRUE(runMainUntil([&] { return flushed.load(); }));
    EXPECT_EQ(count(), 2u);
    ASSERT_TRUE(worker.stopAndJoin(kBound));
}

TEST(ReachabilityHandle, AddressesOfOtherFamiliesAndShortLengthsGiveNoHandle) {
    ReachabilityDeviceSource source(NetworkState::Wifi);
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    sockaddr unix{};
    unix.sa_family = AF_UNIX;
    EXPECT_TRUE(Reachability::createWithAddress(reinterpret_cast<sockaddr*>(&v4), sizeof v4, &source));
    EXPECT_FALSE(Reachability::createWithAddress(reinterpret_cast<sockaddr*>(&v4), sizeof v4 - 1, &source));
    auto loopback = Reachability::createWithAddress(reinterpret_cast<sockaddr*>(&v6), sizeof v6, &source);
    ASSERT_TRUE(loopback);
    EXPECT_EQ(loopback->getFlags().valueOr(0), kReachable | kIsLocalAddress | kIsDirect);
    EXPECT_FALSE(Reachability::createWithAddress(&unix, sizeof unix, &source));
    EXPECT_FALSE(Reachability::createWithAddress(nullptr, 0, &source));
}

// The host's own routes: the loopback address is local; the default route's
// presence agrees with the kernel's route table as /proc shows it.
TEST(ReachabilityHostSource, ReadsThisHostsRoutes) {
    ReachabilityHostSource host;
    auto loopback = host.flags(address("127.0.0.1"), kBound);
    ASSERT_TRUE(loopback) << loopback.error().localizedDescription();
    EXPECT_EQ(*loopback, kReachable | kIsLocalAddress | kIsDirect);

    std::ifstream routes("/proc/net/route");
    std::string line;
    bool procHasDefault = false;
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string interface, destination, gateway, flags, refs, use, metric, mask;
        fields >> interface >> destination >> gateway >> flags >> refs >> use >> metric >> mask;
        if (destination == "00000000" && mask == "00000000" && interface != "lo") {
            procHasDefault = true;
        }
    }
    auto defaultRoute = host.flags(address("0.0.0.0"), kBound);
    ASSERT_TRUE(defaultRoute) << defaultRoute.error().localizedDescription();
    EXPECT_EQ((*defaultRoute & kReachable) != 0, procHasDefault);
    EXPECT_EQ(*defaultRoute & (kIsDirect | kIsLocalAddress), 0u) << "the default route is never direct";

    auto invalid = host.flags(ReachabilityTarget::hostName("nothing.invalid"), kBound);
    ASSERT_TRUE(invalid);
    EXPECT_EQ(*invalid, 0u);
    auto local = host.flags(ReachabilityTarget::hostName("localhost"), kBound);
    ASSERT_TRUE(local);
    EXPECT_EQ(*local & kIsLocalAddress, kIsLocalAddress);
}
