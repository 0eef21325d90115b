#include "platform/ui/Screen.h"

#include "platform/foundation/DeviceProfile.h"
#include "platform/ui/Application.h"

namespace murmelo {

Screen& Screen::mainScreen() {
    static Screen screen;
    return screen;
}

Rect Screen::bounds() const {
    auto profile = DeviceProfile::current();
    if (profile && profile->userInterfaceIdiom() == UserInterfaceIdiom::Pad) {
        return {0, 0, 768, 1024};
    }
    return {0, 0, 320, 480};
}

Rect Screen::applicationFrame() const {
    Rect b = bounds();
    if (Application::sharedApplication().isStatusBarHidden()) {
        return b;
    }
    return {0, kStatusBarHeight, b.size.width, b.size.height - kStatusBarHeight};
}

bool Screen::respondsToScale() const {
    auto profile = DeviceProfile::current();
    return profile && profile->screenReportsScale();
}

std::optional<double> Screen::scale() const {
    auto profile = DeviceProfile::current();
    if (!profile || !profile->screenReportsScale()) {
        return std::nullopt;
    }
    return profile->screenScale();
}

} // namespace murmelo
