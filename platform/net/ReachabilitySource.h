// ReachabilitySource: where reachability flags and change events come from —
// the one seam between reachability handles and the network they describe.
// ReachabilityHostSource reads Linux routes; ReachabilityDeviceSource is the
// device's own (simulated or host, switchable at run time).
//
// Threading: flags() may be called from any thread and blocks at most the
// given time-out (name resolution). watchChanges() is called on the thread of
// the run loop that is to hear the events; the callback runs there, in the
// given modes, until the returned watch is destroyed (on that same thread).
// The caller owns the watch; the source must outlive it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include <netinet/in.h>

#include "platform/core/Result.h"
#include "platform/net/ReachabilityFlags.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

// What a reachability handle asks about: a host name, or an IPv4 or IPv6
// address (a network number such as 169.254.0.0 counts as an address).
class ReachabilityTarget {
public:
    static ReachabilityTarget hostName(std::string name);
    static ReachabilityTarget ipv4(in_addr address);
    static ReachabilityTarget ipv6(in6_addr address);
    // Dotted IPv4 or IPv6 text; nothing when it is neither.
    static std::optional<ReachabilityTarget> numericAddress(const std::string& text);

    bool isHostName() const { return std::holds_alternative<std::string>(m_value); }
    const std::string* name() const { return std::get_if<std::string>(&m_value); }
    const in_addr* ipv4Address() const { return std::get_if<in_addr>(&m_value); }
    const in6_addr* ipv6Address() const { return std::get_if<in6_addr>(&m_value); }
    // The all-zero IPv4 address: "is there a default route".
    bool isDefaultRoute() const;
    // An IPv4 address in 169.254.0.0/16.
    bool isIPv4LinkLocal() const;
    // 127.0.0.0/8 or ::1.
    bool isLoopback() const;
    // The name, or the address as text.
    std::string text() const;

private:
    using Storage = std::variant<std::string, in_addr, in6_addr>;
    explicit ReachabilityTarget(Storage value) : m_value(std::move(value)) {}
    Storage m_value;
};

// A registration for change events; destroying it ends the registration.
class ReachabilityWatch {
public:
    virtual ~ReachabilityWatch() = default;
};

class ReachabilitySource {
public:
    using ChangeCallback = std::function<void()>;

    virtual ~ReachabilitySource() = default;

    // The flag word for `target` now. An error when the flags cannot be read
    // (for a name: resolution did not finish within `timeoutSeconds`); a
    // name that does not exist reads as 0 (not reachable).
    virtual Result<ReachabilityFlags> flags(const ReachabilityTarget& target, double timeoutSeconds) = 0;

    // Calls `changed` on the calling thread's run loop, in `modes`, whenever
    // the network may have changed (the handle reads its flags again and
    // decides whether they did). Several changes in one burst may give one call.
    virtual Result<std::unique_ptr<ReachabilityWatch>> watchChanges(ChangeCallback changed,
                                                                    const RunLoopModes& modes) = 0;
};

} // namespace murmelo
