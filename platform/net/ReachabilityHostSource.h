// ReachabilityHostSource: reachability flags of the Linux host, read from its
// routing tables over rtnetlink and from sysfs.
//
//   - the all-zero IPv4 address asks for the default route: the main
//     table's IPv4 default route with the lowest metric;
//   - any other address asks the kernel for its route (as `ip route get`);
//   - a host name is resolved first (see ReachabilityResolver: bounded,
//     RFC 6761 names answered locally, the connect-to map honoured) and the
//     first reachable address decides; a name that does not exist is 0.
// The route and its output link then give the flags (flagsForRoute):
// wireless and wired links read as plainly reachable, PPP, raw-IP and
// DEVTYPE=wwan links as Reachable + IsWWAN + TransientConnection, a default
// route over the loopback alone as not reachable, an address of this host
// as local and direct, an on-link address (169.254/16 on a link) as direct.
//
// Change events: each watch opens its own rtnetlink socket subscribed to
// link, address and route changes, watched as an FdSource on the caller's
// run loop; one burst of kernel messages gives one callback.
//
// Threading: flags() from any thread (each call uses its own socket);
// watchChanges() per the ReachabilitySource contract.
#pragma once

#include <string>

#include "platform/net/ReachabilitySource.h"

namespace murmelo {

class ReachabilityHostSource : public ReachabilitySource {
public:
    // `sysfsRoot` is where the class/net tree is read ("/sys" on a host).
    explicit ReachabilityHostSource(std::string sysfsRoot = "/sys");

    Result<ReachabilityFlags> flags(const ReachabilityTarget& target, double timeoutSeconds) override;
    Result<std::unique_ptr<ReachabilityWatch>> watchChanges(ChangeCallback changed,
                                                            const RunLoopModes& modes) override;

private:
    Result<ReachabilityFlags> addressFlags(const ReachabilityTarget& address, double deadline);
    std::string m_sysfsRoot;
};

} // namespace murmelo
