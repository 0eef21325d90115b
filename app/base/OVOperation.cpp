#include "app/base/OVOperation.h"

#include "platform/core/Log.h"
#include "platform/runloop/Perform.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Timer.h"

namespace murmelo {

namespace {
// Below this a timed operation runs at once.
constexpr double kImmediateInterval = 0.0001;
} // namespace

void OVOperation::main() {
    if (isCancelled()) {
        m_awIsFinished.store(true);
        return;
    }
    if (m_timeInterval < kImmediateInterval) {
        doRealWork();
        return;
    }
    // Wait on this worker's own loop: the timer wakes it for each tick and
    // runMode() returns after each, so awIsFinished is seen within one period
    // without spinning.
    RunLoop& loop = RunLoop::current();
    Timer tick(m_timeInterval, m_repeats ? Timer::Repeats::Yes : Timer::Repeats::No,
               [this] { doRealWork(); });
    (void)loop.runUntil(RunLoop::dateAfter(m_timeInterval));
    while (!m_awIsFinished.load() &&
           loop.runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture) != RunStatus::Finished) {
    }
}

void OVOperation::doRealWork() {
    if (isCancelled()) {
        m_awIsFinished.store(true);
        return;
    }
    std::any result;
    if (m_invocation) {
        Result<std::any> outcome = m_invocation->invoke();
        if (outcome) {
            result = std::move(*outcome);
        } else {
            logLine("OVOperation: work not run: %s", outcome.error().localizedDescription().c_str());
        }
    }
    if (isCancelled()) {
        m_awIsFinished.store(true);
        return;
    }
    if (m_invocation && m_finishCall) {
        OVOperationTarget target = m_invocation->target();
        std::shared_ptr<void> alive = target.lock();
        if (alive && m_respondsToFinish(alive.get())) {
            // The delivery looks the target up again: the plain factory does
            // not keep it, and a weakly held one may be gone by then.
            auto deliver = [target = std::move(target), finish = m_finishCall,
                            result = std::move(result)]() mutable {
                if (auto receiver = target.lock()) {
                    finish(receiver.get(), std::move(result));
                }
            };
            alive.reset();
            if (m_doFinishSelectorOnMainThread) {
                auto wait = RunLoop::isMainThread() ? WaitUntilDone::Yes : WaitUntilDone::No;
                if (auto posted = performOnMainThread(std::move(deliver), wait); !posted) {
                    logLine("OVOperation: finish call lost: %s",
                            posted.error().localizedDescription().c_str());
                }
            } else {
                deliver();
            }
        }
    }
    if (!m_repeats) {
        m_awIsFinished.store(true);
    }
}

} // namespace murmelo
