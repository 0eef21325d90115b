#include "platform/net/ReachabilitySource.h"

#include <arpa/inet.h>
#include <cstring>

namespace murmelo {

std::string reachabilityFlagsDescription(ReachabilityFlags flags) {
    using namespace reachability;
    auto letter = [flags](ReachabilityFlags bit, char c) { return (flags & bit) ? c : '-'; };
    std::string text;
    text += letter(kTransientConnection, 't');
    text += letter(kReachable, 'R');
    text += letter(kConnectionRequired, 'c');
    text += letter(kConnectionOnTraffic, 'C');
    text += letter(kInterventionRequired, 'i');
    text += '-';
    text += letter(kIsLocalAddress, 'l');
    text += letter(kIsDirect, 'd');
    text += letter(kIsWWAN, 'W');
    return text;
}

ReachabilityTarget ReachabilityTarget::hostName(std::string name) {
    return ReachabilityTarget(Storage(std::in_place_index<0>, std::move(name)));
}

ReachabilityTarget ReachabilityTarget::ipv4(in_addr address) {
    return ReachabilityTarget(Storage(std::in_place_index<1>, address));
}

ReachabilityTarget ReachabilityTarget::ipv6(in6_addr address) {
    return ReachabilityTarget(Storage(std::in_place_index<2>, address));
}

std::optional<ReachabilityTarget> ReachabilityTarget::numericAddress(const std::string& text) {
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        return ipv4(v4);
    }
    std::string bare = text;
    if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') {
        bare = bare.substr(1, bare.size() - 2);
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, bare.c_str(), &v6) == 1) {
        return ipv6(v6);
    }
    return std::nullopt;
}

bool ReachabilityTarget::isDefaultRoute() const {
    const in_addr* v4 = ipv4Address();
    return v4 && v4->s_addr == 0;
}

bool ReachabilityTarget::isIPv4LinkLocal() const {
    const in_addr* v4 = ipv4Address();
    return v4 && (ntohl(v4->s_addr) >> 16) == 0xA9FE;
}

bool ReachabilityTarget::isLoopback() const {
    if (const in_addr* v4 = ipv4Address()) {
        return (ntohl(v4->s_addr) >> 24) == 127;
    }
    if (const in6_addr* v6 = ipv6Address()) {
        return IN6_IS_ADDR_LOOPBACK(v6);
    }
    return false;
}

std::string ReachabilityTarget::text() const {
    if (const std::string* n = name()) {
        return *n;
    }
    char buffer[INET6_ADDRSTRLEN] = {};
    if (const in_addr* v4 = ipv4Address()) {
        inet_ntop(AF_INET, v4, buffer, sizeof buffer);
    } else if (const in6_addr* v6 = ipv6Address()) {
        inet_ntop(AF_INET6, v6, buffer, sizeof buffer);
    }
    return buffer;
}

} // namespace murmelo
