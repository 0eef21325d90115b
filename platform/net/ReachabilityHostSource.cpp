#include "platform/net/ReachabilityHostSource.h"

#include <algorithm>
#include <fstream>
#include <linux/rtnetlink.h>
#include <sstream>
#include <sys/stat.h>

#include "platform/core/Clock.h"
#include "platform/net/internal/ReachabilityNetlink.h"
#include "platform/net/internal/ReachabilityResolver.h"
#include "platform/runloop/FdSource.h"

namespace murmelo {

namespace {

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::string readSmallFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str().substr(0, 4096);
}

class HostWatch final : public ReachabilityWatch {
public:
    HostWatch(internal::NetlinkRouteSocket socket, ReachabilitySource::ChangeCallback changed,
              const RunLoopModes& modes)
        : m_socket(std::move(socket)), m_changed(std::move(changed)) {
        m_source = FdSource(
            m_socket.fd(), FdEvents::Readable,
            [this](FdEvents events) {
                bool healthy = m_socket.drainEvents();
                if (!healthy || any(events & FdEvents::Error)) {
                    // A broken socket would report forever; stop watching it.
                    m_source.invalidate();
                }
                // The callback may end this watch; nothing of it is touched after.
                ReachabilitySource::ChangeCallback changed = m_changed;
                changed();
            },
            modes);
    }

private:
    internal::NetlinkRouteSocket m_socket;
    ReachabilitySource::ChangeCallback m_changed;
    FdSource m_source;
};

} // namespace

ReachabilityHostSource::ReachabilityHostSource(std::string sysfsRoot) : m_sysfsRoot(std::move(sysfsRoot)) {}

Result<ReachabilityFlags> ReachabilityHostSource::flags(const ReachabilityTarget& target,
                                                        double timeoutSeconds) {
    double deadline = Clock::monotonic() + std::max(0.0, timeoutSeconds);
    if (!target.isHostName()) {
        return addressFlags(target, deadline);
    }
    MURMELO_TRY_VALUE(auto addresses, internal::resolveForReachability(*target.name(), timeoutSeconds));
    ReachabilityFlags best = 0;
    for (const ReachabilityTarget& address : addresses) {
        MURMELO_TRY_VALUE(auto flags, addressFlags(address, deadline));
        if (flags & reachability::kReachable) {
            return flags;
        }
        best |= flags;
    }
    return best;
}

Result<ReachabilityFlags> ReachabilityHostSource::addressFlags(const ReachabilityTarget& address,
                                                               double deadline) {
    MURMELO_TRY_VALUE(auto socket, internal::NetlinkRouteSocket::open());
    auto left = [deadline] { return std::max(0.0, deadline - Clock::monotonic()); };
    internal::RouteFacts facts;
    Result<std::optional<internal::RouteEntry>> route = std::optional<internal::RouteEntry>();
    if (address.isDefaultRoute()) {
        facts.target = internal::RouteFacts::Target::DefaultRoute;
        route = socket.defaultRoute(left());
    } else if (const in_addr* v4 = address.ipv4Address()) {
        route =
            socket.routeTo(AF_INET, std::span(reinterpret_cast<const std::uint8_t*>(v4), sizeof *v4), left());
    } else if (const in6_addr* v6 = address.ipv6Address()) {
        route = socket.routeTo(AF_INET6, std::span(reinterpret_cast<const std::uint8_t*>(v6), sizeof *v6),
                               left());
    }
    if (!route) {
        return route.error();
    }
    facts.route = *route;
    if (facts.route && facts.route->type == RTN_UNICAST && facts.route->outputInterface > 0) {
        MURMELO_TRY_VALUE(auto link, socket.link(facts.route->outputInterface, left()));
        facts.link = link;
        if (facts.link && !facts.link->name.empty() && facts.link->name.find('/') == std::string::npos &&
            facts.link->name != "." && facts.link->name != "..") {
            std::string folder = m_sysfsRoot + "/class/net/" + facts.link->name;
            facts.wireless = exists(folder + "/wireless") || exists(folder + "/phy80211");
            facts.wwanDeviceType = internal::ueventDeviceType(readSmallFile(folder + "/uevent")) == "wwan";
        }
    }
    return internal::flagsForRoute(facts);
}

Result<std::unique_ptr<ReachabilityWatch>> ReachabilityHostSource::watchChanges(ChangeCallback changed,
                                                                                const RunLoopModes& modes) {
    MURMELO_TRY_VALUE(auto socket, internal::NetlinkRouteSocket::open(RTMGRP_LINK | RTMGRP_IPV4_IFADDR |
                                                                      RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR |
                                                                      RTMGRP_IPV6_ROUTE));
    return std::unique_ptr<ReachabilityWatch>(
        std::make_unique<HostWatch>(std::move(socket), std::move(changed), modes));
}

} // namespace murmelo
