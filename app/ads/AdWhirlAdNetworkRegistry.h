// AdWhirlAdNetworkRegistry: network type number → the adapter class that
// serves it. A network whose type has no class here is dropped while a
// configuration is parsed.
//
// One process-wide instance (sharedRegistry). Adapter classes register before
// any configuration is parsed; registration and look-up are guarded so tests
// may register their own classes at any time.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "app/ads/AdWhirlAdNetworkAdapter.h"

namespace murmelo {

using AdWhirlAdapterClassPtr = std::shared_ptr<const AdWhirlAdapterClass>;

class AdWhirlAdNetworkRegistry {
public:
    static AdWhirlAdNetworkRegistry& sharedRegistry();

    // Maps the class's networkType to it, replacing an earlier class.
    void registerClass(AdWhirlAdapterClassPtr adapterClass);
    // Drops the class of `networkType` (tests undo their registrations).
    void unregisterClassFor(int networkType);
    AdWhirlAdapterClassPtr adapterClassFor(int networkType) const;

private:
    mutable std::mutex m_mutex;
    std::map<int, AdWhirlAdapterClassPtr> m_adapterDict;
};

} // namespace murmelo
