// Perform-on-thread: hands a call to another thread's run loop, optionally
// waiting until it ran — the platform's performSelectorOnMainThread: and
// performSelector:onThread:.
//
// Threading: callable from any thread. With WaitUntilDone::Yes on the target
// loop's own thread the call runs inline at once (no deadlock); from another
// thread the caller blocks until the call ran, the target loop ended (the
// call is dropped, Error), or the time-out passed (Error; the call may still
// run later, so it must own what it uses). With WaitUntilDone::No the call is
// always posted, never run synchronously. Calls run in `modes` (common modes
// by default); a waited call is also served by the target thread while it
// blocks in an OperationQueue wait (RunLoop::kWaitedPerformMode).
#pragma once

#include <limits>

#include "platform/core/Result.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

enum class WaitUntilDone { No, Yes };

inline constexpr double kWaitForever = std::numeric_limits<double>::infinity();

Result<void> performOnThread(const RunLoopHandle& loop, Task task, WaitUntilDone wait,
                             const RunLoopModes& modes = RunLoopModes(RunLoop::kCommonModes),
                             double timeoutSeconds = kWaitForever);

Result<void> performOnMainThread(Task task, WaitUntilDone wait,
                                 const RunLoopModes& modes = RunLoopModes(RunLoop::kCommonModes),
                                 double timeoutSeconds = kWaitForever);

} // namespace murmelo
