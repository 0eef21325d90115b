// Reachability: one reachability handle — the platform's network-reachability
// reference for a host name or an address, whose flags can be read and whose
// changes are reported on the run loops it is scheduled on.
//
//   auto handle = Reachability::createWithName("ads.example");
//   handle->setCallback([](Reachability&, ReachabilityFlags flags) { ... });
//   (void)handle->scheduleWithRunLoop(RunLoop::current().handle(), RunLoop::kDefaultMode);
//
// Callbacks: a handle scheduled on a loop calls its callback there, in the
// mode it was scheduled in, each time its flags differ from the last ones it
// saw on that loop. A handle made from a host name also calls once soon after
// scheduling, when its name has been looked at (the moment a name handle's
// flags become known); an address handle does not. After
// unscheduleFromRunLoop() returns, that registration never calls again.
//
// Threading: every member may be called from any thread; reading flags
// blocks at most the time-out given. Ownership: shared (callbacks hold the
// handle weakly; a handle that is gone ends its registrations). The source
// (ReachabilityDeviceSource::shared() by default) must outlive the handle and,
// for a registration ended from another thread, the moment its loop ran the
// posted end (unscheduling on the loop's own thread ends it at once).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <vector>

#include "platform/net/ReachabilitySource.h"

namespace murmelo {

class Reachability : public std::enable_shared_from_this<Reachability> {
public:
    using Callback = std::function<void(Reachability&, ReachabilityFlags)>;
    // How long a flag read may wait for name resolution by default.
    static constexpr double kDefaultTimeout = 5.0;
    // The bound for the re-reads a change event triggers on a run loop.
    static constexpr double kChangeReadTimeout = 2.0;

    // A handle for a host name; null for an empty name.
    static std::shared_ptr<Reachability> createWithName(std::string name,
                                                        ReachabilitySource* source = nullptr);
    // A handle for an IPv4 or IPv6 socket address; null for another family,
    // a null address or a length too short for its family.
    static std::shared_ptr<Reachability> createWithAddress(const sockaddr* address, socklen_t length,
                                                           ReachabilitySource* source = nullptr);
    static std::shared_ptr<Reachability> createWithTarget(ReachabilityTarget target,
                                                          ReachabilitySource* source = nullptr);
    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    const ReachabilityTarget& target() const { return m_target; }

    // The flags now; an error when they cannot be read in time.
    Result<ReachabilityFlags> getFlags(double timeoutSeconds = kDefaultTimeout) const;

    // Replaces the callback (empty: none). Registrations stay.
    void setCallback(Callback callback);

    // Registers for change callbacks on `loop` in `mode`. Scheduling twice on
    // the same loop and mode is one registration. An error when the loop has
    // ended.
    Result<void> scheduleWithRunLoop(const RunLoopHandle& loop, std::string_view mode);
    // An error when the handle is not scheduled there.
    Result<void> unscheduleFromRunLoop(const RunLoopHandle& loop, std::string_view mode);
    bool isScheduledOnRunLoop(const RunLoopHandle& loop, std::string_view mode) const;
    size_t registrationCount() const;

private:
    struct Registration;
    Reachability(ReachabilityTarget target, ReachabilitySource& source);
    static void startWatching(const std::weak_ptr<Reachability>& weakSelf,
                              const std::shared_ptr<Registration>& registration);
    void evaluate(const std::shared_ptr<Registration>& registration, bool initialCall);
    static void stopWatching(const std::shared_ptr<Registration>& registration);

    const ReachabilityTarget m_target;
    ReachabilitySource& m_source;
    mutable std::mutex m_mutex;
    Callback m_callback;
    std::vector<std::shared_ptr<Registration>> m_registrations;
};

} // namespace murmelo
