#include "platform/runloop/ManualClock.h"

#include <atomic>
#include <cmath>
#include <limits>

#include "platform/core/Clock.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

namespace {
// NaN while the real clock runs. A value rather than a pointer to the clock,
// so a loop thread reading it can never see a destroyed object.
std::atomic<double> g_manualTime{std::numeric_limits<double>::quiet_NaN()};

std::optional<double> asOptional(double time) {
    return std::isnan(time) ? std::nullopt : std::optional<double>(time);
}
} // namespace

std::optional<double> internal::manualClockTime() {
    return asOptional(g_manualTime.load(std::memory_order_acquire));
}

ManualClock::ManualClock() : m_previous(asOptional(g_manualTime.exchange(Clock::monotonic()))) {
    // A loop waiting in real time for a timer now waits on this clock instead.
    RunLoop::wakeAll();
}

ManualClock::~ManualClock() {
    g_manualTime.store(m_previous.value_or(std::numeric_limits<double>::quiet_NaN()));
    // Loops that stopped waiting for timers must start again.
    RunLoop::wakeAll();
}

double ManualClock::now() const {
    return internal::manualClockTime().value_or(Clock::monotonic());
}

void ManualClock::advance(double seconds) {
    if (!(seconds > 0)) {
        return;
    }
    double current = g_manualTime.load();
    while (!std::isnan(current) && !g_manualTime.compare_exchange_weak(current, current + seconds)) {
    }
    RunLoop::wakeAll();
}

} // namespace murmelo
