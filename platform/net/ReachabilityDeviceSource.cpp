#include "platform/net/ReachabilityDeviceSource.h"

#include <algorithm>
#include <atomic>

#include "platform/core/Log.h"
#include "platform/net/ReachabilityHostSource.h"
#include "platform/net/internal/ReachabilityResolver.h"

namespace murmelo {

struct ReachabilityDeviceSource::Listener {
    RunLoopHandle loop;
    RunLoopModes modes = RunLoopModes(RunLoop::kDefaultMode);
    ChangeCallback changed;
    bool alive = true; // read and written on the listener's loop thread only
};

class DeviceWatch final : public ReachabilityWatch {
public:
    DeviceWatch(ReachabilityDeviceSource& source,
                std::shared_ptr<ReachabilityDeviceSource::Listener> listener,
                std::unique_ptr<ReachabilityWatch> hostWatch)
        : m_source(source), m_listener(std::move(listener)), m_hostWatch(std::move(hostWatch)) {}
    ~DeviceWatch() override {
        m_hostWatch.reset();
        m_listener->alive = false;
        m_source.removeListener(m_listener.get());
    }

private:
    ReachabilityDeviceSource& m_source;
    std::shared_ptr<ReachabilityDeviceSource::Listener> m_listener;
    std::unique_ptr<ReachabilityWatch> m_hostWatch;
};

ReachabilityDeviceSource::ReachabilityDeviceSource(std::optional<NetworkState> state,
                                                   std::shared_ptr<ReachabilitySource> host)
    : m_state(state), m_host(std::move(host)) {}

ReachabilityDeviceSource::~ReachabilityDeviceSource() = default;

ReachabilityDeviceSource& ReachabilityDeviceSource::shared() {
    // Never destroyed: watches on any thread may outlive static destruction.
    static auto* instance = new ReachabilityDeviceSource();
    return *instance;
}

NetworkState ReachabilityDeviceSource::networkState() {
    {
        std::lock_guard lock(m_mutex);
        if (m_state) {
            return *m_state;
        }
    }
    // Read outside the lock: loading the profile may take a while.
    NetworkState fromProfile = DeviceProfile::current()->networkState();
    std::lock_guard lock(m_mutex);
    if (!m_state) {
        m_state = fromProfile;
    }
    return *m_state;
}

std::optional<NetworkState> ReachabilityDeviceSource::networkStateIfKnown() {
    std::lock_guard lock(m_mutex);
    return m_state;
}

void ReachabilityDeviceSource::setNetworkState(NetworkState state) {
    std::vector<std::shared_ptr<Listener>> listeners;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == state) {
            return;
        }
        m_state = state;
        listeners = m_listeners;
    }
    for (const auto& listener : listeners) {
        listener->loop.post(
            [listener] {
                if (listener->alive) {
                    ChangeCallback changed = listener->changed;
                    changed();
                }
            },
            listener->modes);
    }
}

std::shared_ptr<ReachabilitySource> ReachabilityDeviceSource::hostSource() {
    std::lock_guard lock(m_mutex);
    if (!m_host) {
        m_host = std::make_shared<ReachabilityHostSource>();
    }
    return m_host;
}

void ReachabilityDeviceSource::setHostSource(std::shared_ptr<ReachabilitySource> host) {
    std::lock_guard lock(m_mutex);
    m_host = std::move(host);
}

void ReachabilityDeviceSource::removeListener(const Listener* listener) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_listeners, [listener](const auto& entry) { return entry.get() == listener; });
}

ReachabilityFlags ReachabilityDeviceSource::simulatedFlags(NetworkState state,
                                                           const ReachabilityTarget& target) {
    using namespace reachability;
    if (target.isLoopback()) {
        return kReachable | kIsLocalAddress | kIsDirect;
    }
    if (const std::string* name = target.name()) {
        if (name->empty() || internal::isReservedInvalidName(*name)) {
            return 0;
        }
        if (internal::isLocalhostName(*name)) {
            return kReachable | kIsLocalAddress | kIsDirect;
        }
    }
    switch (state) {
    case NetworkState::Wifi:
        return target.isIPv4LinkLocal() ? (kReachable | kIsDirect) : kReachable;
    case NetworkState::Carrier:
        return target.isIPv4LinkLocal() ? 0 : (kReachable | kIsWWAN | kTransientConnection);
    case NetworkState::None:
    case NetworkState::Host:
        break;
    }
    return 0;
}

Result<ReachabilityFlags> ReachabilityDeviceSource::flags(const ReachabilityTarget& target,
                                                          double timeoutSeconds) {
    NetworkState state = networkState();
    if (state == NetworkState::Host) {
        return hostSource()->flags(target, timeoutSeconds);
    }
    return simulatedFlags(state, target);
}

Result<std::unique_ptr<ReachabilityWatch>> ReachabilityDeviceSource::watchChanges(ChangeCallback changed,
                                                                                  const RunLoopModes& modes) {
    auto listener = std::make_shared<Listener>();
    listener->loop = RunLoop::current().handle();
    listener->modes = modes;
    listener->changed = changed;

    // The host's events count only while the device shows the host's network.
    auto hostWatch = hostSource()->watchChanges(
        [this, changed] {
            if (networkState() == NetworkState::Host) {
                ChangeCallback call = changed;
                call();
            }
        },
        modes);
    std::unique_ptr<ReachabilityWatch> hostRegistration;
    if (hostWatch) {
        hostRegistration = std::move(*hostWatch);
    } else if (networkState() == NetworkState::Host) {
        logLine("Reachability: host network changes will not be seen: %s",
                hostWatch.error().localizedDescription().c_str());
    }
    {
        std::lock_guard lock(m_mutex);
        m_listeners.push_back(listener);
    }
    return std::unique_ptr<ReachabilityWatch>(
        std::make_unique<DeviceWatch>(*this, std::move(listener), std::move(hostRegistration)));
}

void setDeviceNetworkState(NetworkState state) {
    ReachabilityDeviceSource::shared().setNetworkState(state);
}

} // namespace murmelo
