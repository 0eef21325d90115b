// ReachabilityDeviceSource: the device's reachability — simulated or the
// host's, chosen by the network state and switchable at run time.
//
//   NetworkState::None     nothing but loopback addresses is reachable
//   NetworkState::Wifi     everything reachable over Wi-Fi; the link-local
//                          network (169.254/16) reachable and direct
//   NetworkState::Carrier  everything reachable + IsWWAN + TransientConnection;
//                          no link-local network
//   NetworkState::Host     the Linux host's routes (ReachabilityHostSource)
// In every simulated state a loopback address is Reachable + IsLocalAddress +
// IsDirect and a name under ".invalid" is not reachable; no name is resolved.
//
// shared() is the process-wide source (a documented single instance, never
// destroyed). Its state comes from DeviceProfile::current() when it is first
// needed, unless setNetworkState() was called before; setNetworkState() (the
// murmelo driver's switch, tests) changes it at any time and every watch hears
// one change call on its own run loop when the state really changed (handles
// then report only when their flags differ). In the
// host state, the host's change events reach the watches too.
//
// Threading: every member may be called from any thread; watchChanges() per
// the ReachabilitySource contract. The source must outlive its watches.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/foundation/DeviceProfile.h"
#include "platform/net/ReachabilitySource.h"

namespace murmelo {

class ReachabilityDeviceSource : public ReachabilitySource {
public:
    // `host` answers in the Host state (default: a ReachabilityHostSource made
    // when first needed). Without a state, the device profile's is used.
    explicit ReachabilityDeviceSource(std::optional<NetworkState> state = std::nullopt,
                                      std::shared_ptr<ReachabilitySource> host = nullptr);
    ~ReachabilityDeviceSource() override;

    static ReachabilityDeviceSource& shared();

    NetworkState networkState();
    // The state if it was set or read already; never loads the profile.
    std::optional<NetworkState> networkStateIfKnown();
    void setNetworkState(NetworkState state);
    // Replaces what answers in the Host state (tests inject a fake here).
    // Watches made before keep the source they were made with.
    void setHostSource(std::shared_ptr<ReachabilitySource> host);

    Result<ReachabilityFlags> flags(const ReachabilityTarget& target, double timeoutSeconds) override;
    Result<std::unique_ptr<ReachabilityWatch>> watchChanges(ChangeCallback changed,
                                                            const RunLoopModes& modes) override;

    // The flags of a simulated state (not Host) for a target.
    static ReachabilityFlags simulatedFlags(NetworkState state, const ReachabilityTarget& target);

    struct Listener;

private:
    friend class DeviceWatch;
    std::shared_ptr<ReachabilitySource> hostSource();
    void removeListener(const Listener* listener);

    std::mutex m_mutex;
    std::optional<NetworkState> m_state;
    std::shared_ptr<ReachabilitySource> m_host;
    std::vector<std::shared_ptr<Listener>> m_listeners;
};

// The driver's switch for the process-wide source.
void setDeviceNetworkState(NetworkState state);

} // namespace murmelo
