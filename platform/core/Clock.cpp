#include "platform/core/Clock.h"

#include <atomic>
#include <chrono>

namespace murmelo {

namespace {
// The one test seam of the clock; atomic so any thread can read it.
std::atomic<double> g_wallShift{0.0};
} // namespace

double Clock::now() {
    using namespace std::chrono;
    auto since = duration_cast<duration<double>>(system_clock::now().time_since_epoch());
    return since.count() + g_wallShift.load(std::memory_order_relaxed);
}

double Clock::sinceReferenceDate() { return now() - kReferenceDateOffset; }

double Clock::monotonic() {
    using namespace std::chrono;
    return duration_cast<duration<double>>(steady_clock::now().time_since_epoch()).count();
}

void Clock::shiftWallClock(double seconds) {
    double current = g_wallShift.load();
    while (!g_wallShift.compare_exchange_weak(current, current + seconds)) {
    }
}

void Clock::resetWallClockShift() { g_wallShift.store(0.0); }

} // namespace murmelo
