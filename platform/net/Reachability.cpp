#include "platform/net/Reachability.h"

#include <atomic>
#include <netinet/in.h>

#include "platform/net/ReachabilityDeviceSource.h"

namespace murmelo {

struct Reachability::Registration {
    RunLoopHandle loop;
    std::string mode;
    std::atomic<bool> active{true};
    // Loop thread only (or any thread once the loop has ended).
    std::unique_ptr<ReachabilityWatch> watch;
    std::optional<ReachabilityFlags> lastFlags;
};

Reachability::Reachability(ReachabilityTarget target, ReachabilitySource& source)
    : m_target(std::move(target)), m_source(source) {}

Reachability::~Reachability() {
    std::vector<std::shared_ptr<Registration>> registrations;
    {
        std::lock_guard lock(m_mutex);
        registrations.swap(m_registrations);
    }
    for (const auto& registration : registrations) {
        stopWatching(registration);
    }
}

std::shared_ptr<Reachability> Reachability::createWithTarget(ReachabilityTarget target,
                                                             ReachabilitySource* source) {
    ReachabilitySource& chosen = source ? *source : ReachabilityDeviceSource::shared();
    return std::shared_ptr<Reachability>(new Reachability(std::move(target), chosen));
}

std::shared_ptr<Reachability> Reachability::createWithName(std::string name, ReachabilitySource* source) {
    if (name.empty()) {
        return nullptr;
    }
    return createWithTarget(ReachabilityTarget::hostName(std::move(name)), source);
}

std::shared_ptr<Reachability> Reachability::createWithAddress(const sockaddr* address, socklen_t length,
                                                              ReachabilitySource* source) {
    if (!address || length < static_cast<socklen_t>(sizeof(sa_family_t))) {
        return nullptr;
    }
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        return createWithTarget(
            ReachabilityTarget::ipv4(reinterpret_cast<const sockaddr_in*>(address)->sin_addr), source);
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        return createWithTarget(
            ReachabilityTarget::ipv6(reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr), source);
    }
    return nullptr;
}

Result<ReachabilityFlags> Reachability::getFlags(double timeoutSeconds) const {
    return m_source.flags(m_target, timeoutSeconds);
}

void Reachability::setCallback(Callback callback) {
    std::lock_guard lock(m_mutex);
    m_callback = std::move(callback);
}

Result<void> Reachability::scheduleWithRunLoop(const RunLoopHandle& loop, std::string_view mode) {
    if (!loop.isAlive()) {
        return Error::generic("the run loop has ended");
    }
    auto registration = std::make_shared<Registration>();
    registration->loop = loop;
    registration->mode = std::string(mode);
    {
        std::lock_guard lock(m_mutex);
        for (const auto& existing : m_registrations) {
            if (existing->loop == loop && existing->mode == mode) {
                return Result<void>::success();
            }
        }
        m_registrations.push_back(registration);
    }
    std::weak_ptr<Reachability> weakSelf = weak_from_this();
    if (loop.isCurrent()) {
        // Watching starts now, so no change after this call goes unheard.
        startWatching(weakSelf, registration);
        return Result<void>::success();
    }
    // The watch belongs to the loop's thread, so it is made there.
    bool posted = loop.post([weakSelf, registration] { startWatching(weakSelf, registration); },
                            RunLoopModes(RunLoop::kCommonModes).adding(registration->mode));
    if (!posted) {
        std::lock_guard lock(m_mutex);
        std::erase(m_registrations, registration);
        return Error::generic("the run loop has ended");
    }
    return Result<void>::success();
}

void Reachability::startWatching(const std::weak_ptr<Reachability>& weakSelf,
                                 const std::shared_ptr<Registration>& registration) {
    auto self = weakSelf.lock();
    if (!self || !registration->active.load()) {
        return;
    }
    std::weak_ptr<Registration> weakRegistration = registration;
    auto watch = self->m_source.watchChanges(
        [weakSelf, weakRegistration] {
            auto owner = weakSelf.lock();
            auto current = weakRegistration.lock();
            if (owner && current && current->active.load()) {
                owner->evaluate(current, false);
            }
        },
        registration->mode);
    if (watch) {
        registration->watch = std::move(*watch);
    }
    // Without a watch the handle still reports its first flags; it just never
    // hears of changes (the source logged why).
    if (!self->m_target.isHostName()) {
        self->evaluate(registration, false); // records the flags changes are measured from
        return;
    }
    // A name's first report comes from the loop, never from inside the
    // scheduling call, and the name is looked at there.
    registration->loop.post(
        [weakSelf, weakRegistration] {
            auto owner = weakSelf.lock();
            auto current = weakRegistration.lock();
            if (owner && current && current->active.load()) {
                owner->evaluate(current, true);
            }
        },
        RunLoopModes(registration->mode));
}

void Reachability::evaluate(const std::shared_ptr<Registration>& registration, bool initialCall) {
    auto flags = m_source.flags(m_target, kChangeReadTimeout);
    if (!flags) {
        return; // unreadable now; the next change reads again
    }
    bool changed = registration->lastFlags && *registration->lastFlags != *flags;
    registration->lastFlags = *flags;
    if (!changed && !initialCall) {
        return;
    }
    Callback callback;
    {
        std::lock_guard lock(m_mutex);
        callback = m_callback;
    }
    if (callback && registration->active.load()) {
        callback(*this, *flags);
    }
}

void Reachability::stopWatching(const std::shared_ptr<Registration>& registration) {
    registration->active.store(false);
    if (registration->loop.isCurrent()) {
        // Also safe from inside this handle's own callback: every callback on
        // the way calls a copy of its function and touches nothing after.
        registration->watch.reset();
        return;
    }
    // The watch ends on its own loop; a loop that has ended takes no calls,
    // and then nothing else can touch the watch.
    bool posted = registration->loop.post([registration] { registration->watch.reset(); },
                                          RunLoopModes(RunLoop::kCommonModes).adding(registration->mode));
    if (!posted) {
        registration->watch.reset();
    }
}

Result<void> Reachability::unscheduleFromRunLoop(const RunLoopHandle& loop, std::string_view mode) {
    std::shared_ptr<Registration> found;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_registrations.begin(); it != m_registrations.end(); ++it) {
            if ((*it)->loop == loop && (*it)->mode == mode) {
                found = *it;
                m_registrations.erase(it);
                break;
            }
        }
    }
    if (!found) {
        return Error::generic("not scheduled on that run loop and mode");
    }
    stopWatching(found);
    return Result<void>::success();
}

bool Reachability::isScheduledOnRunLoop(const RunLoopHandle& loop, std::string_view mode) const {
    std::lock_guard lock(m_mutex);
    for (const auto& registration : m_registrations) {
        if (registration->loop == loop && registration->mode == mode) {
            return true;
        }
    }
    return false;
}

size_t Reachability::registrationCount() const {
    std::lock_guard lock(m_mutex);
    return m_registrations.size();
}

} // namespace murmelo
