// Clock: the device's time sources.
// - Wall time (seconds since 1970, and since 2001-01-01 UTC, the platform's
//   reference date), which tests may shift without sleeping.
// - Monotonic time for time-outs; never shifted. Run-loop timers follow
//   Timer::now(), which a test may hand to a ManualClock (platform/runloop).
// Thread-safe.
#pragma once

namespace murmelo {

class Clock {
public:
    // Seconds between 1970-01-01 and 2001-01-01 (UTC).
    static constexpr double kReferenceDateOffset = 978307200.0;

    static double now();                // wall seconds since 1970, shifted
    static double sinceReferenceDate(); // wall seconds since 2001, shifted
    static double monotonic();          // seconds since an arbitrary start

    // Moves the wall clock by `seconds` (tests: "a day later"); additive.
    static void shiftWallClock(double seconds);
    static void resetWallClockShift();
};

} // namespace murmelo
