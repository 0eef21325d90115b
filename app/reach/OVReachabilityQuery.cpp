#include "app/reach/OVReachabilityQuery.h"

#include <algorithm>

#include "app/reach/OVReachability.h"
#include "platform/foundation/NotificationCenter.h"

namespace murmelo {

void ReachabilityCallback(Reachability& /*target*/, ReachabilityFlags /*flags*/) {
    // Observers ask for the status again; the flags are not passed on.
    NotificationCenter::defaultCenter().postNotificationName(kNetworkReachabilityChangedNotification,
                                                             nullptr);
}

void OVReachabilityQuery::scheduleOnRunLoop(const std::optional<RunLoopHandle>& runLoop) {
    if (!OVReachability::sharedReachability().networkStatusNotificationsEnabled() || !runLoop) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (std::find(m_runLoops.begin(), m_runLoops.end(), *runLoop) != m_runLoops.end()) {
        return;
    }
    if (auto scheduled = startListeningForReachabilityChanges(m_reachabilityRef, runLoop)) {
        m_runLoops.push_back(*scheduled);
    }
}

bool OVReachabilityQuery::isScheduledOnRunLoop(const RunLoopHandle& runLoop) const {
    std::lock_guard lock(m_mutex);
    return std::find(m_runLoops.begin(), m_runLoops.end(), runLoop) != m_runLoops.end();
}

std::optional<RunLoopHandle>
OVReachabilityQuery::startListeningForReachabilityChanges(const std::shared_ptr<Reachability>& reachability,
                                                          const std::optional<RunLoopHandle>& runLoop) {
    if (!reachability || !runLoop) {
        return std::nullopt;
    }
    reachability->setCallback(ReachabilityCallback);
    if (!reachability->scheduleWithRunLoop(*runLoop, RunLoop::kDefaultMode)) {
        return std::nullopt;
    }
    return runLoop;
}

void OVReachabilityQuery::stopListening() {
    std::lock_guard lock(m_mutex);
    for (const RunLoopHandle& loop : m_runLoops) {
        if (m_reachabilityRef) {
            (void)m_reachabilityRef->unscheduleFromRunLoop(loop, RunLoop::kDefaultMode);
        }
    }
    m_runLoops.clear();
}

std::string OVReachabilityQuery::hostNameOrAddress() const {
    std::lock_guard lock(m_mutex);
    return m_hostNameOrAddress;
}

void OVReachabilityQuery::setHostNameOrAddress(std::string hostNameOrAddress) {
    std::lock_guard lock(m_mutex);
    m_hostNameOrAddress = std::move(hostNameOrAddress);
}

std::shared_ptr<Reachability> OVReachabilityQuery::reachabilityRef() const {
    std::lock_guard lock(m_mutex);
    return m_reachabilityRef;
}

void OVReachabilityQuery::setReachabilityRef(std::shared_ptr<Reachability> reachabilityRef) {
    std::lock_guard lock(m_mutex);
    m_reachabilityRef = std::move(reachabilityRef);
}

std::vector<RunLoopHandle> OVReachabilityQuery::runLoops() const {
    std::lock_guard lock(m_mutex);
    return m_runLoops;
}

void OVReachabilityQuery::setRunLoops(std::vector<RunLoopHandle> runLoops) {
    std::lock_guard lock(m_mutex);
    m_runLoops = std::move(runLoops);
}

} // namespace murmelo
