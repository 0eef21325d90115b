// ReachabilityFlags: the 32-bit flag word the device reports for a
// reachability target, with the bit values the phone's network-reachability
// service uses, so code written against those values reads them unchanged.
// Pure values; thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace murmelo {

using ReachabilityFlags = std::uint32_t;

namespace reachability {
inline constexpr ReachabilityFlags kTransientConnection = 1u
                                                          << 0; // a link brought up on demand (carrier data)
inline constexpr ReachabilityFlags kReachable = 1u << 1;
inline constexpr ReachabilityFlags kConnectionRequired = 1u << 2;
inline constexpr ReachabilityFlags kConnectionOnTraffic = 1u << 3;
inline constexpr ReachabilityFlags kInterventionRequired = 1u << 4;
inline constexpr ReachabilityFlags kConnectionOnDemand = 1u << 5;
inline constexpr ReachabilityFlags kIsLocalAddress = 1u << 16; // the target is one of this host's addresses
inline constexpr ReachabilityFlags kIsDirect = 1u << 17;       // on a directly attached link, no gateway
inline constexpr ReachabilityFlags kIsWWAN = 1u << 18;         // over the carrier's wide-area network
} // namespace reachability

// Nine letters, '-' where a bit is clear: t R c C i - l d W (transient,
// reachable, connection required, on traffic, intervention, a fixed '-',
// local address, direct, WWAN) — the form mediation diagnostics print.
std::string reachabilityFlagsDescription(ReachabilityFlags flags);

} // namespace murmelo
