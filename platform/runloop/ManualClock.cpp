#include "platform/runloop/ManualClock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/core/Clock.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

namespace {
// The time is the start (NaN while the real clock runs) plus whole
// nanoseconds advanced: sums of decimal steps (0.049 + 0.001) then land
// exactly where a timer scheduled at the start for their total (0.05) fires,
// which adding doubles to a start of thousands of seconds does not promise.
// Values rather than a pointer to the clock, so a loop thread reading them
// can never see a destroyed object.
std::atomic<double> g_start{std::numeric_limits<double>::quiet_NaN()};
std::atomic<std::int64_t> g_advancedNanoseconds{0};

// Further than any test moves time; keeps the nanoseconds within range.
constexpr double kMaxAdvance = 1e9;
} // namespace

std::optional<double> internal::manualClockTime() {
    double start = g_start.load(std::memory_order_acquire);
    if (std::isnan(start)) {
        return std::nullopt;
    }
    return start + double(g_advancedNanoseconds.load(std::memory_order_acquire)) / 1e9;
}

ManualClock::ManualClock() : m_previous(internal::manualClockTime()) {
    g_advancedNanoseconds.store(0);
    g_start.store(Clock::monotonic(), std::memory_order_release);
    // A loop waiting in real time for a timer now waits on this clock instead.
    RunLoop::wakeAll();
}

ManualClock::~ManualClock() {
    g_advancedNanoseconds.store(0);
    g_start.store(m_previous.value_or(std::numeric_limits<double>::quiet_NaN()), std::memory_order_release);
    // Loops that stopped waiting for timers must start again.
    RunLoop::wakeAll();
}

double ManualClock::now() const {
    return internal::manualClockTime().value_or(Clock::monotonic());
}

void ManualClock::advance(double seconds) {
    if (!(seconds > 0) || std::isnan(g_start.load())) {
        return;
    }
    g_advancedNanoseconds.fetch_add(std::llround(std::min(seconds, kMaxAdvance) * 1e9),
                                    std::memory_order_acq_rel);
    RunLoop::wakeAll();
}

} // namespace murmelo
