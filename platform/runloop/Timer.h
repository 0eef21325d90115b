// Timer: a one-shot or repeating timer on the run loop of the thread that
// makes it. The object *is* the registration: destroying it invalidates the
// timer. Fire dates are on the timer clock, now(): the monotonic clock, or
// the installed ManualClock in tests.
//
// Threading: made, changed and destroyed on its loop's thread; the callback
// runs there, inside runMode() of one of the timer's modes. A repeating timer
// that fell behind fires once and continues one interval from then (no
// burst). A repeating interval of 0 or less becomes 0.1 ms.
//
//   Timer refresh(30.0, Timer::Repeats::No, [this] { requestFreshAd(); });
//   refresh.invalidate();   // or just let it go out of scope
#pragma once

#include <memory>

#include "platform/runloop/RunLoop.h"

namespace murmelo {

namespace internal {
struct TimerRecord;
}

class Timer {
public:
    enum class Repeats { No, Yes };

    // Seconds on the timer clock: Clock::monotonic(), or the installed
    // ManualClock's time. Any thread.
    static double now();

    // An invalid timer (nothing scheduled).
    Timer() = default;
    // Schedules on RunLoop::current(); the first fire is `interval` seconds from now.
    Timer(double interval, Repeats repeats, UniqueFunction<void()> callback,
          const RunLoopModes& modes = RunLoopModes(RunLoop::kDefaultMode));
    ~Timer();
    Timer(Timer&& other) noexcept;
    Timer& operator=(Timer&& other) noexcept;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Stops it for good; safe to call from its own callback and more than once.
    void invalidate();
    // False after invalidate(), after a one-shot timer fired, and once its loop ended.
    bool isValid() const;
    // REQUIRES: was scheduled. The next fire, in now() seconds.
    double fireDate() const;
    // Moves the next fire (now() seconds); no effect on an invalid timer.
    void setFireDate(double date);
    double timeInterval() const;
    bool repeats() const;

private:
    void release();
    std::shared_ptr<internal::TimerRecord> m_record;
    std::weak_ptr<RunLoop> m_loop;
};

} // namespace murmelo
