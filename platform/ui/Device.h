// Device: what the phone says about itself — name, model, system name and
// version, unique identifier, idiom (from the device profile) and its
// physical orientation, which the driver may turn (posting
// "UIDeviceOrientationDidChangeNotification" with the device as sender).
//
// currentDevice() is the one device: a view of the current device profile
// plus the orientation. Main thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/foundation/DeviceProfile.h"

namespace murmelo {

enum class DeviceOrientation {
    Unknown = 0,
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeLeft = 3,
    LandscapeRight = 4,
    FaceUp = 5,
    FaceDown = 6,
};
const char* deviceOrientationName(DeviceOrientation orientation);

class Device {
public:
    static constexpr std::string_view kOrientationDidChangeNotification =
        "UIDeviceOrientationDidChangeNotification";

    static Device& currentDevice();

    std::string name() const;
    std::string model() const;
    std::string localizedModel() const { return model(); }
    std::string systemName() const;
    std::string systemVersion() const;
    std::string uniqueIdentifier() const;
    UserInterfaceIdiom userInterfaceIdiom() const;

    // Portrait until turned.
    DeviceOrientation orientation() const { return m_orientation; }
    void setOrientation(DeviceOrientation orientation);

private:
    Device() = default;
    DeviceOrientation m_orientation = DeviceOrientation::Portrait;
};

} // namespace murmelo
