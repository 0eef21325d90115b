// Linux routing facts for reachability: the rtnetlink requests and the
// parsing of their answers, and the pure rule that turns a route and its
// link into reachability flags. Used by ReachabilityHostSource.
//
// Threading: NetlinkRouteSocket is used by one thread at a time; the parsers
// and flagsForRoute are pure. Parsers take untrusted bytes and return an
// error instead of reading past them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "platform/net/ReachabilityFlags.h"

namespace murmelo::internal {

struct RouteEntry {
    std::uint8_t family = 0;
    std::uint8_t type = 0; // RTN_*
    std::uint8_t dstLength = 0;
    std::uint32_t table = 0;
    bool hasGateway = false;
    int outputInterface = 0; // 0: none given
    std::uint32_t priority = 0;
};

struct LinkEntry {
    int index = 0;
    std::string name;
    std::uint16_t hardwareType = 0; // ARPHRD_*
    std::uint32_t flags = 0;        // IFF_*
};

// What a route lookup found, in the terms flagsForRoute needs.
struct RouteFacts {
    enum class Target { DefaultRoute, Address };
    Target target = Target::Address;
    std::optional<RouteEntry> route; // nothing: no route at all
    std::optional<LinkEntry> link;   // the route's output interface
    bool wireless = false;           // sysfs: the link has a "wireless" or "phy80211" entry
    bool wwanDeviceType = false;     // sysfs uevent: DEVTYPE=wwan
};

// The rule: no route, or a route that is not unicast/local → 0; a local
// route → Reachable | IsLocalAddress | IsDirect; a unicast route over a link
// that is down, has no carrier or is the loopback → 0; otherwise Reachable,
// plus IsDirect for an address on the link itself (no gateway, not a
// point-to-point link, never for the default route), plus IsWWAN and
// TransientConnection for a carrier-style link (PPP, raw IP, DEVTYPE=wwan).
ReachabilityFlags flagsForRoute(const RouteFacts& facts);

// One batch of rtnetlink messages as received. `done` is set by NLMSG_DONE
// or by the answer to a non-dump request; an NLMSG_ERROR with a code is
// returned in `errorCode` (a positive errno; 0 is an acknowledgement).
struct NetlinkBatch {
    std::vector<RouteEntry> routes;
    std::vector<LinkEntry> links;
    bool done = false;
    int errorCode = 0;
};
Result<NetlinkBatch> parseNetlinkMessages(std::span<const std::uint8_t> bytes);

// The pieces of a sysfs uevent file that matter: DEVTYPE.
std::string ueventDeviceType(const std::string& uevent);

class NetlinkRouteSocket {
public:
    // Opens a NETLINK_ROUTE socket. `groups` (RTMGRP_* bits) subscribes to
    // change events; such a socket is non-blocking and only read for events.
    static Result<NetlinkRouteSocket> open(std::uint32_t groups = 0);
    NetlinkRouteSocket(NetlinkRouteSocket&& other) noexcept;
    NetlinkRouteSocket& operator=(NetlinkRouteSocket&& other) noexcept;
    NetlinkRouteSocket(const NetlinkRouteSocket&) = delete;
    NetlinkRouteSocket& operator=(const NetlinkRouteSocket&) = delete;
    ~NetlinkRouteSocket();

    int fd() const { return m_fd; }

    // The kernel's route for one destination (as `ip route get`); nothing
    // when it has none (network unreachable). Waits at most `timeoutSeconds`.
    Result<std::optional<RouteEntry>> routeTo(int family, std::span<const std::uint8_t> address,
                                              double timeoutSeconds);
    // The IPv4 default route of the main table with the lowest metric.
    Result<std::optional<RouteEntry>> defaultRoute(double timeoutSeconds);
    Result<std::optional<LinkEntry>> link(int index, double timeoutSeconds);
    // Reads and discards every queued event; false when the socket failed.
    bool drainEvents();

private:
    explicit NetlinkRouteSocket(int fd) : m_fd(fd) {}
    Result<NetlinkBatch> exchange(std::span<const std::uint8_t> request, bool dump, double timeoutSeconds);

    int m_fd = -1;
    std::uint32_t m_sequence = 0;
};

} // namespace murmelo::internal
