// The host reachability source against a real kernel: a test thread moves
// into a network namespace of its own (only a loopback at first), adds a
// veth link, an address and a default route with iproute2, and watches the
// handle report each change through its netlink watch. Nothing is sent on
// the links. Skipped where namespaces or iproute2 are not available.
#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/net/Reachability.h"
#include "platform/net/ReachabilityHostSource.h"
#include "platform/runloop/RunLoop.h"

using namespace murmelo;
using namespace murmelo::reachability;

namespace {

constexpr double kBound = 5.0;

std::string findIp() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
        if (access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

ReachabilityTarget address(const char* text) {
    return *ReachabilityTarget::numericAddress(text);
}

} // namespace

TEST(ReachabilityHostSourceNamespace, ReportsRouteChangesOfItsOwnNetwork) {
    std::string ip = findIp();
    if (ip.empty()) {
        GTEST_SKIP() << "iproute2 is not installed";
    }
    std::string skipReason;
    std::thread body([&] {
        if (unshare(CLONE_NEWNET) != 0) {
            skipReason = "cannot make a network namespace here";
            return;
        }
        auto run = [&](const std::string& arguments) {
            return std::system((ip + " " + arguments).c_str()) == 0;
        };
        ASSERT_TRUE(run("link set lo up"));

        ReachabilityHostSource host;
        auto before = host.flags(address("0.0.0.0"), kBound);
        ASSERT_TRUE(before) << before.error().localizedDescription();
        EXPECT_EQ(*before, 0u) << "only loopback: not reachable";
        EXPECT_EQ(host.flags(address("127.0.0.1"), kBound).valueOr(0),
                  kReachable | kIsLocalAddress | kIsDirect);
        EXPECT_EQ(host.flags(address("203.0.113.5"), kBound).valueOr(1), 0u);

        auto defaultRoute = Reachability::createWithTarget(address("0.0.0.0"), &host);
        std::vector<ReachabilityFlags> seen;
        defaultRoute->setCallback([&](Reachability&, ReachabilityFlags flags) { seen.push_back(flags); });
        ASSERT_TRUE(defaultRoute->scheduleWithRunLoop(RunLoop::current().handle(), RunLoop::kDefaultMode));

        ASSERT_TRUE(run("link add v0 type veth peer name v1"));
        ASSERT_TRUE(run("link set v1 up"));
        ASSERT_TRUE(run("link set v0 up"));
        ASSERT_TRUE(run("addr add 192.0.2.10/24 dev v0"));
        ASSERT_TRUE(run("route add default via 192.0.2.1 dev v0"));
        ASSERT_TRUE(RunLoop::current().runModeUntil(
            RunLoop::kDefaultMode, [&] { return !seen.empty() && seen.back() == kReachable; },
            RunLoop::dateAfter(kBound)))
            << "last flags seen: "
            << (seen.empty() ? std::string("none") : reachabilityFlagsDescription(seen.back()));
        for (size_t i = 1; i < seen.size(); ++i) {
            EXPECT_NE(seen[i], seen[i - 1]) << "a report without a change";
        }

        EXPECT_EQ(host.flags(address("192.0.2.77"), kBound).valueOr(0), kReachable | kIsDirect)
            << "on the link";
        EXPECT_EQ(host.flags(address("203.0.113.5"), kBound).valueOr(0), kReachable) << "via the gateway";
        EXPECT_EQ(host.flags(address("192.0.2.10"), kBound).valueOr(0),
                  kReachable | kIsLocalAddress | kIsDirect);

        size_t reports = seen.size();
        ASSERT_TRUE(run("route del default"));
        ASSERT_TRUE(RunLoop::current().runModeUntil(
            RunLoop::kDefaultMode, [&] { return seen.size() > reports && seen.back() == 0; },
            RunLoop::dateAfter(kBound)));

        ASSERT_TRUE(defaultRoute->unscheduleFromRunLoop(RunLoop::current().handle(), RunLoop::kDefaultMode));
        reports = seen.size();
        ASSERT_TRUE(run("route add default via 192.0.2.1 dev v0"));
        bool flushed = false;
        RunLoop::current().scheduleAfter(0.3, [&] { flushed = true; });
        ASSERT_TRUE(RunLoop::current().runModeUntil(
            RunLoop::kDefaultMode, [&] { return flushed; }, RunLoop::dateAfter(kBound)));
        EXPECT_EQ(seen.size(), reports) << "no report after unscheduling";
    });
    body.join();
    if (!skipReason.empty()) {
        GTEST_SKIP() << skipReason;
    }
}
