// Internal records behind Timer and FdSource. The run loop holds them by
// shared_ptr; the RAII registration objects hold another reference so a
// record outlives a callback that destroys its own registration.
// Touched only on the owning loop's thread.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/runloop/FdEvents.h"
#include "platform/runloop/RunLoopModes.h"
#include "platform/runloop/UniqueFunction.h"

namespace murmelo::internal {

struct TimerRecord {
    double fireDate = 0; // Timer::now() seconds
    double interval = 0; // period of a repeating timer
    bool repeats = false;
    bool valid = true;
    bool firing = false;                            // a nested run of the loop must not fire it again
    std::uint64_t sequence = 0;                     // equal fire dates fire in scheduling order
    RunLoopModes modes{std::vector<std::string>{}}; // set by the owner: no default to allocate
    UniqueFunction<void()> callback;
};

struct FdRecord {
    int fd = -1;
    FdEvents interest = FdEvents::None;
    bool valid = true;
    bool dispatching = false; // not watched while its own callback runs
    bool alwaysReady = false; // epoll refuses regular files; they are always ready, as with poll
    bool failed = false;      // could not be watched: reported once as Error, then dropped
    RunLoopModes modes{std::vector<std::string>{}}; // set by the owner
    UniqueFunction<void(FdEvents)> callback;
};

} // namespace murmelo::internal
