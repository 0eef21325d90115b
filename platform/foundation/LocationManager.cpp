#include "platform/foundation/LocationManager.h"

namespace murmelo {

bool LocationManager::locationServicesEnabled() {
    return DeviceProfile::current()->locationServicesEnabled();
}

std::optional<DeviceLocation> LocationManager::location() const {
    auto profile = DeviceProfile::current();
    if (!profile->locationServicesEnabled()) {
        return std::nullopt;
    }
    return profile->lastLocation();
}

} // namespace murmelo
