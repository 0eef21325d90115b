#include "platform/ui/Device.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/MainThread.h"

namespace murmelo {

namespace {
std::shared_ptr<const DeviceProfile> profile() {
    auto current = DeviceProfile::current();
    if (!current) {
        static const auto fallback = std::make_shared<const DeviceProfile>();
        return fallback;
    }
    return current;
}
} // namespace

const char* deviceOrientationName(DeviceOrientation orientation) {
    switch (orientation) {
    case DeviceOrientation::Portrait:
        return "portrait";
    case DeviceOrientation::PortraitUpsideDown:
        return "portrait-upside-down";
    case DeviceOrientation::LandscapeLeft:
        return "landscape-left";
    case DeviceOrientation::LandscapeRight:
        return "landscape-right";
    case DeviceOrientation::FaceUp:
        return "face-up";
    case DeviceOrientation::FaceDown:
        return "face-down";
    case DeviceOrientation::Unknown:
        break;
    }
    return "unknown";
}

Device& Device::currentDevice() {
    static Device device;
    return device;
}

std::string Device::name() const {
    return profile()->name();
}
std::string Device::model() const {
    return profile()->model();
}
std::string Device::systemName() const {
    return profile()->systemName();
}
std::string Device::systemVersion() const {
    return profile()->systemVersion();
}
std::string Device::uniqueIdentifier() const {
    return profile()->uniqueIdentifier();
}
UserInterfaceIdiom Device::userInterfaceIdiom() const {
    return profile()->userInterfaceIdiom();
}

void Device::setOrientation(DeviceOrientation orientation) {
    assertMainThread();
    if (orientation == m_orientation) {
        return;
    }
    m_orientation = orientation;
    NotificationCenter::defaultCenter().postNotificationName(kOrientationDidChangeNotification, this);
}

} // namespace murmelo
