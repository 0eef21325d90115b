// Settle: runs the main run loop until the app is quiet — no page loading,
// no operation queued or running in any queue, no URL connection in flight,
// no animation, transition or layout pending, and no main-loop or page timer
// due within the next half second — or until a time-out.
//
// Work that finishing operations hand to the main thread is run before the
// app counts as quiet, so a result posted by the last operation shows.
//
// Main thread only (it runs the main loop); stateless.
#pragma once

#include <string>

namespace murmelo::driver {

class Settle {
public:
    static constexpr double kDefaultTimeout = 10.0;
    static constexpr double kTimerHorizon = 0.5;

    // True when quiet before the time-out.
    static bool run(double timeoutSeconds = kDefaultTimeout);
    static bool isQuiet();
    // What keeps the app busy now ("2 operations, 1 connection"), "" when quiet.
    static std::string busyDescription();
};

} // namespace murmelo::driver
