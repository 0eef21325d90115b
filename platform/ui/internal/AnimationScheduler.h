// AnimationScheduler: the ends of running view animations and screen
// transitions (push, pop, modal presentation, alert dismissal) as one-shot
// timers on the main run loop, in common modes. The screen is settled when
// none is pending. Durations are multiplied by a scale (1 by default) that
// tests and the driver may lower.
//
// One documented instance; main thread only. The scheduler owns the pending
// completions until they run or are finished early.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "platform/runloop/Timer.h"

namespace murmelo::internal {

class AnimationScheduler {
public:
    using Id = std::uint64_t;

    static AnimationScheduler& shared();

    // Runs `completion` after `seconds` times the duration scale.
    Id schedule(double seconds, std::function<void()> completion);
    // Runs a pending completion now; false when it already ran.
    bool finishNow(Id id);
    // Runs every pending completion now (oldest first), including any
    // scheduled while doing so.
    void finishAll();
    size_t pendingCount() const { return m_pending.size(); }
    bool isPending(Id id) const { return m_pending.count(id) != 0; }

    double durationScale() const { return m_scale; }
    void setDurationScale(double scale);

private:
    struct Entry {
        Timer timer;
        std::function<void()> completion;
    };
    void fire(Id id);

    std::map<Id, Entry> m_pending;
    Id m_nextId = 1;
    double m_scale = 1.0;
};

} // namespace murmelo::internal
