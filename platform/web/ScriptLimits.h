// ScriptLimits: what one page's scripts may use. A run is one entry into the
// interpreter (an inline script, a timer callback, an evaluation); the heap
// and the timers are the page's, for as long as it is shown.
#pragma once

#include <cstddef>

namespace murmelo::web {

struct ScriptLimits {
    // Seconds one run may take, built-in calls included; then it is abandoned.
    double timeBudgetSeconds = 1.0;
    // Bytes the page's interpreter heap may hold, plus what its scripts handed
    // to the document and the host (values, attributes, titles, addresses).
    std::size_t heapBytes = std::size_t{64} << 20;
    // Runs over the time budget after which the page's timers are stopped.
    int overrunsBeforeTimersStop = 3;
    // Timers a page may have pending at once; setTimeout past it returns 0.
    std::size_t maxPendingTimers = 256;
};

} // namespace murmelo::web
