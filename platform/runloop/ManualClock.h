// ManualClock: takes over the time that run-loop timers follow, so a test
// moves time instead of waiting for it. While one is installed, Timer fire
// dates, RunLoop::scheduleAfter() and the timer waits of every run loop of the
// process follow it; its time moves only when advance() is called.
//
// Contract:
// - Constructing one installs it process-wide, starting at the real monotonic
//   time of that moment, so timers already scheduled keep their places.
//   Destroying it puts back whatever was installed before (normally the real
//   clock); nested clocks are destroyed in reverse order.
// - advance() may be called from any thread: every timer whose fire date it
//   reaches fires on its loop's next turn, and loops blocked in a wait are
//   woken to see it. A loop never sleeps in real time for a timer while a
//   manual clock is installed; it waits only for descriptors, posted calls,
//   stop() and its run date.
// - Run dates stay real: RunLoop::dateAfter() and the `beforeDate` of
//   runMode(), runUntil() and runModeUntil() are on Clock::monotonic(), so the
//   bound on a test's wait still holds. Time-outs measured with
//   Clock::monotonic() (operation queue waits, synchronous sends, the
//   driver's settle) keep real time. Wall time is not moved; shift it with
//   Clock::shiftWallClock().
// - Timers scheduled under a manual clock keep their dates when it goes;
//   destroy them first.
//
// Threading: install and destroy on one thread, while no other thread is
// reading Timer::now() for a decision it cannot take again (tests install it
// first thing and drop it last). advance() and now() are thread-safe.
//
//   ManualClock clock;
//   Timer refresh(30.0, Timer::Repeats::No, [&] { refreshed = true; });
//   clock.advance(30.0);
//   RunLoop::current().runUntil(RunLoop::dateAfter(5.0));   // fires at once
#pragma once

#include <optional>

namespace murmelo {

class ManualClock {
public:
    ManualClock();
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    // Seconds on the timer clock, like Timer::now().
    double now() const;
    // Moves time forward by `seconds` (ignored when not positive) and wakes
    // every run loop.
    void advance(double seconds);

private:
    std::optional<double> m_previous; // the clock installed before, if manual
};

namespace internal {
// The installed manual clock's time, or nothing while the real clock runs.
std::optional<double> manualClockTime();
} // namespace internal

} // namespace murmelo
