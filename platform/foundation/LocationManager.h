// LocationManager: the device's location service. Whether it is on and the
// last known fix come from the current device profile, so `--device` options
// and the driver's `location` command change what every manager reports.
//
//   if (LocationManager::locationServicesEnabled()) {
//       LocationManager manager;
//       if (auto fix = manager.location()) { ... }
//   }
//
// Thread-safe; nothing is cached.
#pragma once

#include <optional>

#include "platform/foundation/DeviceProfile.h"

namespace murmelo {

class LocationManager {
public:
    static bool locationServicesEnabled();
    // The last known fix; nothing while the service is off or has none.
    std::optional<DeviceLocation> location() const;
};

} // namespace murmelo
