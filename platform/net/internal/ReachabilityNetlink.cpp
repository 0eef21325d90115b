#include "platform/net/internal/ReachabilityNetlink.h"

// glibc's interface headers first: they keep the kernel's from redefining them.
#include <net/if.h>
#include <net/if_arp.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/core/Clock.h"

namespace murmelo::internal {

namespace {

constexpr size_t align4(size_t n) {
    return (n + 3) & ~size_t(3);
}

template <class T> T readStruct(std::span<const std::uint8_t> bytes, size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// Walks the rtattr list in `bytes`, calling visit(type, payload) for each
// well-formed attribute; false when an attribute runs past the end.
template <class Visit> bool forEachAttribute(std::span<const std::uint8_t> bytes, Visit&& visit) {
    size_t offset = 0;
    while (offset + sizeof(rtattr) <= bytes.size()) {
        auto attribute = readStruct<rtattr>(bytes, offset);
        if (attribute.rta_len < sizeof(rtattr) || offset + attribute.rta_len > bytes.size()) {
            return false;
        }
        visit(attribute.rta_type, bytes.subspan(offset + sizeof(rtattr), attribute.rta_len - sizeof(rtattr)));
        offset += align4(attribute.rta_len);
    }
    return true;
}

std::uint32_t readU32(std::span<const std::uint8_t> payload) {
    std::uint32_t value = 0;
    if (payload.size() >= sizeof value) {
        std::memcpy(&value, payload.data(), sizeof value);
    }
    return value;
}

Result<RouteEntry> parseRoute(std::span<const std::uint8_t> payload) {
    if (payload.size() < sizeof(rtmsg)) {
        return Error::generic("netlink route message too short");
    }
    auto header = readStruct<rtmsg>(payload, 0);
    RouteEntry route;
    route.family = header.rtm_family;
    route.type = header.rtm_type;
    route.dstLength = header.rtm_dst_len;
    route.table = header.rtm_table;
    bool ok = forEachAttribute(payload.subspan(sizeof(rtmsg)),
                               [&](unsigned short type, std::span<const std::uint8_t> value) {
                                   switch (type) {
                                   case RTA_GATEWAY:
                                   case RTA_VIA:
                                       route.hasGateway = !value.empty();
                                       break;
                                   case RTA_OIF:
                                       route.outputInterface = static_cast<int>(readU32(value));
                                       break;
                                   case RTA_PRIORITY:
                                       route.priority = readU32(value);
                                       break;
                                   case RTA_TABLE:
                                       route.table = readU32(value);
                                       break;
                                   case RTA_MULTIPATH:
                                       // The first next hop of a multipath route decides.
                                       if (value.size() >= sizeof(rtnexthop)) {
                                           auto hop = readStruct<rtnexthop>(value, 0);
                                           route.outputInterface = hop.rtnh_ifindex;
                                           route.hasGateway = hop.rtnh_len > sizeof(rtnexthop);
                                       }
                                       break;
                                   default:
                                       break;
                                   }
                               });
    if (!ok) {
        return Error::generic("netlink route attribute out of bounds");
    }
    return route;
}

Result<LinkEntry> parseLink(std::span<const std::uint8_t> payload) {
    if (payload.size() < sizeof(ifinfomsg)) {
        return Error::generic("netlink link message too short");
    }
    auto header = readStruct<ifinfomsg>(payload, 0);
    LinkEntry link;
    link.index = header.ifi_index;
    link.hardwareType = header.ifi_type;
    link.flags = header.ifi_flags;
    bool ok = forEachAttribute(
        payload.subspan(sizeof(ifinfomsg)), [&](unsigned short type, std::span<const std::uint8_t> value) {
            if (type == IFLA_IFNAME) {
                std::string name(reinterpret_cast<const char*>(value.data()), value.size());
                name.resize(std::strlen(name.c_str()));
                link.name = name;
            }
        });
    if (!ok) {
        return Error::generic("netlink link attribute out of bounds");
    }
    return link;
}

Error netlinkError(int code, const char* what) {
    return Error::posix(code, what);
}

} // namespace

ReachabilityFlags flagsForRoute(const RouteFacts& facts) {
    using namespace reachability;
    if (!facts.route) {
        return 0;
    }
    const RouteEntry& route = *facts.route;
    if (route.type == RTN_LOCAL) {
        return kReachable | kIsLocalAddress | kIsDirect;
    }
    if (route.type != RTN_UNICAST || !facts.link) {
        return 0;
    }
    const LinkEntry& link = *facts.link;
    if ((link.flags & IFF_LOOPBACK) || !(link.flags & IFF_UP) || !(link.flags & IFF_RUNNING)) {
        return 0;
    }
    ReachabilityFlags flags = kReachable;
    bool pointToPoint = (link.flags & IFF_POINTOPOINT) != 0;
    if (facts.target == RouteFacts::Target::Address && !route.hasGateway && !pointToPoint) {
        flags |= kIsDirect;
    }
    bool carrier = link.hardwareType == ARPHRD_PPP || link.hardwareType == ARPHRD_NONE ||
                   link.hardwareType == ARPHRD_RAWIP || facts.wwanDeviceType;
    if (carrier) {
        flags |= kIsWWAN | kTransientConnection;
    }
    return flags;
}

Result<NetlinkBatch> parseNetlinkMessages(std::span<const std::uint8_t> bytes) {
    NetlinkBatch batch;
    size_t offset = 0;
    while (offset + sizeof(nlmsghdr) <= bytes.size()) {
        auto header = readStruct<nlmsghdr>(bytes, offset);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > bytes.size() - offset) {
            return Error::generic("netlink message length out of bounds");
        }
        auto payload = bytes.subspan(offset + sizeof(nlmsghdr), header.nlmsg_len - sizeof(nlmsghdr));
        switch (header.nlmsg_type) {
        case NLMSG_DONE:
            batch.done = true;
            break;
        case NLMSG_ERROR: {
            if (payload.size() < sizeof(int)) {
                return Error::generic("netlink error message too short");
            }
            int code = readStruct<int>(payload, 0);
            batch.errorCode = code == INT_MIN ? EINVAL : (code < 0 ? -code : code);
            batch.done = true;
            break;
        }
        case RTM_NEWROUTE: {
            MURMELO_TRY_VALUE(auto route, parseRoute(payload));
            batch.routes.push_back(route);
            break;
        }
        case RTM_NEWLINK: {
            MURMELO_TRY_VALUE(auto link, parseLink(payload));
            batch.links.push_back(link);
            break;
        }
        default:
            break;
        }
        if (!(header.nlmsg_flags & NLM_F_MULTI) && header.nlmsg_type != NLMSG_NOOP) {
            batch.done = true;
        }
        offset += align4(header.nlmsg_len);
    }
    return batch;
}

std::string ueventDeviceType(const std::string& uevent) {
    size_t start = 0;
    while (start < uevent.size()) {
        size_t end = uevent.find('\n', start);
        if (end == std::string::npos) {
            end = uevent.size();
        }
        std::string_view line(uevent.data() + start, end - start);
        if (line.starts_with("DEVTYPE=")) {
            return std::string(line.substr(8));
        }
        start = end + 1;
    }
    return {};
}

Result<NetlinkRouteSocket> NetlinkRouteSocket::open(std::uint32_t groups) {
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) {
        return netlinkError(errno, "netlink socket");
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        int code = errno;
        close(fd);
        return netlinkError(code, "netlink bind");
    }
    return NetlinkRouteSocket(fd);
}

NetlinkRouteSocket::NetlinkRouteSocket(NetlinkRouteSocket&& other) noexcept
    : m_fd(other.m_fd), m_sequence(other.m_sequence) {
    other.m_fd = -1;
}

NetlinkRouteSocket& NetlinkRouteSocket::operator=(NetlinkRouteSocket&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = other.m_fd;
        m_sequence = other.m_sequence;
        other.m_fd = -1;
    }
    return *this;
}

NetlinkRouteSocket::~NetlinkRouteSocket() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

Result<NetlinkBatch> NetlinkRouteSocket::exchange(std::span<const std::uint8_t> request, bool dump,
                                                  double timeoutSeconds) {
    std::vector<std::uint8_t> message(request.begin(), request.end());
    nlmsghdr header = readStruct<nlmsghdr>(message, 0);
    header.nlmsg_seq = ++m_sequence;
    std::memcpy(message.data(), &header, sizeof header);

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(m_fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) <
        0) {
        return netlinkError(errno, "netlink send");
    }
    double deadline = Clock::monotonic() + timeoutSeconds;
    NetlinkBatch all;
    std::vector<std::uint8_t> buffer(65536);
    while (true) {
        double left = deadline - Clock::monotonic();
        if (left <= 0) {
            return Error::posix(ETIMEDOUT, "netlink answer");
        }
        pollfd poller{m_fd, POLLIN, 0};
        int waitMs = static_cast<int>(std::ceil(std::min(left, 3600.0) * 1000.0));
        int ready = poll(&poller, 1, waitMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return netlinkError(errno, "netlink poll");
        }
        if (ready == 0) {
            continue;
        }
        sockaddr_nl from{};
        socklen_t fromLength = sizeof from;
        ssize_t got = recvfrom(m_fd, buffer.data(), buffer.size(), MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return netlinkError(errno, "netlink receive");
        }
        if (static_cast<size_t>(got) > buffer.size()) {
            return Error::generic("netlink answer truncated");
        }
        if (from.nl_pid != 0) {
            continue; // not from the kernel
        }
        // Skip answers to an earlier, abandoned request.
        if (static_cast<size_t>(got) >= sizeof(nlmsghdr) &&
            readStruct<nlmsghdr>(std::span<const std::uint8_t>(buffer.data(), got), 0).nlmsg_seq !=
                m_sequence) {
            continue;
        }
        MURMELO_TRY_VALUE(auto batch, parseNetlinkMessages(std::span<const std::uint8_t>(
                                          buffer.data(), static_cast<size_t>(got))));
        all.routes.insert(all.routes.end(), batch.routes.begin(), batch.routes.end());
        all.links.insert(all.links.end(), batch.links.begin(), batch.links.end());
        if (batch.errorCode != 0) {
            all.errorCode = batch.errorCode;
            all.done = true;
            return all;
        }
        if (batch.done || (!dump && (!all.routes.empty() || !all.links.empty()))) {
            all.done = true;
            return all;
        }
    }
}

Result<std::optional<RouteEntry>>
NetlinkRouteSocket::routeTo(int family, std::span<const std::uint8_t> address, double timeoutSeconds) {
    if (address.size() > 16) {
        return Error::generic("address too long");
    }
    std::vector<std::uint8_t> request(align4(sizeof(nlmsghdr) + sizeof(rtmsg)) + align4(sizeof(rtattr) + 16));
    nlmsghdr header{};
    rtmsg route{};
    rtattr destination{};
    destination.rta_type = RTA_DST;
    destination.rta_len = static_cast<unsigned short>(sizeof(rtattr) + address.size());
    size_t attributeOffset = align4(sizeof(nlmsghdr) + sizeof(rtmsg));
    header.nlmsg_len = static_cast<std::uint32_t>(attributeOffset + align4(destination.rta_len));
    header.nlmsg_type = RTM_GETROUTE;
    header.nlmsg_flags = NLM_F_REQUEST;
    route.rtm_family = static_cast<unsigned char>(family);
    route.rtm_dst_len = static_cast<unsigned char>(address.size() * 8);
    std::memcpy(request.data(), &header, sizeof header);
    std::memcpy(request.data() + sizeof header, &route, sizeof route);
    std::memcpy(request.data() + attributeOffset, &destination, sizeof destination);
    std::memcpy(request.data() + attributeOffset + sizeof destination, address.data(), address.size());
    request.resize(header.nlmsg_len);

    MURMELO_TRY_VALUE(auto answer, exchange(request, false, timeoutSeconds));
    if (answer.errorCode == ENETUNREACH || answer.errorCode == EHOSTUNREACH || answer.errorCode == EACCES ||
        answer.errorCode == EINVAL) {
        return std::optional<RouteEntry>();
    }
    if (answer.errorCode != 0) {
        return netlinkError(answer.errorCode, "netlink route lookup");
    }
    if (answer.routes.empty()) {
        return std::optional<RouteEntry>();
    }
    return std::optional<RouteEntry>(answer.routes.front());
}

Result<std::optional<RouteEntry>> NetlinkRouteSocket::defaultRoute(double timeoutSeconds) {
    std::vector<std::uint8_t> request(align4(sizeof(nlmsghdr) + sizeof(rtmsg)));
    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(request.size());
    header.nlmsg_type = RTM_GETROUTE;
    header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    rtmsg route{};
    route.rtm_family = AF_INET;
    std::memcpy(request.data(), &header, sizeof header);
    std::memcpy(request.data() + sizeof header, &route, sizeof route);
    MURMELO_TRY_VALUE(auto answer, exchange(request, true, timeoutSeconds));
    if (answer.errorCode != 0) {
        return netlinkError(answer.errorCode, "netlink route dump");
    }
    std::optional<RouteEntry> best;
    for (const RouteEntry& entry : answer.routes) {
        if (entry.family != AF_INET || entry.dstLength != 0 || entry.table != RT_TABLE_MAIN) {
            continue;
        }
        if (!best || entry.priority < best->priority) {
            best = entry;
        }
    }
    return best;
}

Result<std::optional<LinkEntry>> NetlinkRouteSocket::link(int index, double timeoutSeconds) {
    std::vector<std::uint8_t> request(align4(sizeof(nlmsghdr) + sizeof(ifinfomsg)));
    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(request.size());
    header.nlmsg_type = RTM_GETLINK;
    header.nlmsg_flags = NLM_F_REQUEST;
    ifinfomsg info{};
    info.ifi_family = AF_UNSPEC;
    info.ifi_index = index;
    std::memcpy(request.data(), &header, sizeof header);
    std::memcpy(request.data() + sizeof header, &info, sizeof info);
    MURMELO_TRY_VALUE(auto answer, exchange(request, false, timeoutSeconds));
    if (answer.errorCode == ENODEV) {
        return std::optional<LinkEntry>();
    }
    if (answer.errorCode != 0) {
        return netlinkError(answer.errorCode, "netlink link lookup");
    }
    for (const LinkEntry& entry : answer.links) {
        if (entry.index == index) {
            return std::optional<LinkEntry>(entry);
        }
    }
    return std::optional<LinkEntry>();
}

bool NetlinkRouteSocket::drainEvents() {
    std::uint8_t buffer[8192];
    while (true) {
        ssize_t got = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // ENOBUFS: events were lost; the reader re-reads its flags anyway.
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS);
    }
}

} // namespace murmelo::internal
