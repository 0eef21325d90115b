// OVReachabilityQuery: one entry of the reachability monitor's cache — a
// platform reachability handle for one host name or address, and the run
// loops on which that handle is registered for change callbacks.
//
// ReachabilityCallback is the handle's callback: it posts
// kNetworkReachabilityChangedNotification (no object, no flags) through the
// default notification centre, on the loop where the handle is registered.
//
// Threading: every member may be called from any thread (the entry is
// shared between the threads that use the monitor). Ownership: the monitor's
// cache owns its entries; an entry owns its handle; run loops are held as
// weak handles.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/net/Reachability.h"

namespace murmelo {

inline constexpr const char* kNetworkReachabilityChangedNotification =
    "kNetworkReachabilityChangedNotification";

void ReachabilityCallback(Reachability& target, ReachabilityFlags flags);

class OVReachabilityQuery {
public:
    OVReachabilityQuery() = default;
    OVReachabilityQuery(const OVReachabilityQuery&) = delete;
    OVReachabilityQuery& operator=(const OVReachabilityQuery&) = delete;

    // Registers the handle on `runLoop` only when the shared monitor's
    // networkStatusNotificationsEnabled is set, a loop is given and the entry
    // is not registered there yet; a registration is remembered in runLoops.
    void scheduleOnRunLoop(const std::optional<RunLoopHandle>& runLoop);
    bool isScheduledOnRunLoop(const RunLoopHandle& runLoop) const;
    // Installs ReachabilityCallback on the handle and registers it on the
    // loop in the default mode; the loop, or nothing when either is missing
    // (or the loop has ended).
    static std::optional<RunLoopHandle>
    startListeningForReachabilityChanges(const std::shared_ptr<Reachability>& reachability,
                                         const std::optional<RunLoopHandle>& runLoop);

    std::string hostNameOrAddress() const;
    void setHostNameOrAddress(std::string hostNameOrAddress);
    std::shared_ptr<Reachability> reachabilityRef() const;
    void setReachabilityRef(std::shared_ptr<Reachability> reachabilityRef);
    std::vector<RunLoopHandle> runLoops() const;
    void setRunLoops(std::vector<RunLoopHandle> runLoops);

    // Unregisters the handle from every loop in runLoops and empties it.
    void stopListening();

private:
    mutable std::mutex m_mutex;
    std::string m_hostNameOrAddress;
    std::shared_ptr<Reachability> m_reachabilityRef;
    std::vector<RunLoopHandle> m_runLoops;
};

} // namespace murmelo
