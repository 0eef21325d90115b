// Screen: the device's display — its bounds in points (320 by 480 on a phone,
// 768 by 1024 on a tablet), the application frame below the status bar, and
// the scale factor, which only a screen that answers the scale query gives
// (scale() is nothing otherwise). All from the current device profile.
//
// mainScreen() is the one screen; a thin view of the profile and the status
// bar, so it follows a profile replaced by tests. Main thread (it reads the
// application's status bar); the profile itself is thread-safe.
#pragma once

#include <optional>

#include "platform/graphics/Geometry.h"

namespace murmelo {

class Screen {
public:
    static Screen& mainScreen();

    Rect bounds() const;
    // The bounds less the status bar (20 points at the top) while it shows.
    Rect applicationFrame() const;
    // Whether the screen answers the scale query at all.
    bool respondsToScale() const;
    // The scale factor, or nothing when the screen does not answer.
    std::optional<double> scale() const;

    static constexpr double kStatusBarHeight = 20;

private:
    Screen() = default;
};

} // namespace murmelo
