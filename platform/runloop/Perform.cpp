#include "platform/runloop/Perform.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace murmelo {

namespace {

const char* kDomain = "MurmeloRunLoopErrorDomain";

// What a waiting caller and the posted call share; outlives either side.
struct WaitState {
    enum class Outcome { Pending, Ran, Dropped };
    std::mutex mutex;
    std::condition_variable changed;
    Outcome outcome = Outcome::Pending;

    void settle(Outcome result) {
        {
            std::lock_guard lock(mutex);
            if (outcome == Outcome::Pending) {
                outcome = result;
            }
        }
        changed.notify_all();
    }
};

// The posted form of a waited call: tells the waiter it ran, or — when
// destroyed unrun because its loop ended — that it never will.
class WaitedCall {
public:
    WaitedCall(Task task, std::shared_ptr<WaitState> state)
        : m_task(std::move(task)), m_state(std::move(state)) {}
    WaitedCall(WaitedCall&&) noexcept = default;
    WaitedCall& operator=(WaitedCall&&) = delete;
    ~WaitedCall() {
        if (m_state) {
            m_state->settle(WaitState::Outcome::Dropped);
        }
    }
    void operator()() {
        m_task();
        auto state = std::move(m_state);
        state->settle(WaitState::Outcome::Ran);
    }

private:
    Task m_task;
    std::shared_ptr<WaitState> m_state;
};

} // namespace

Result<void> performOnThread(const RunLoopHandle& loop, Task task, WaitUntilDone wait,
                             const RunLoopModes& modes, double timeoutSeconds) {
    if (wait == WaitUntilDone::No) {
        if (!loop.post(std::move(task), modes)) {
            return Error(kDomain, 1, "The target run loop has ended");
        }
        return Result<void>::success();
    }
    if (loop.isCurrent()) {
        task();
        return Result<void>::success();
    }
    auto state = std::make_shared<WaitState>();
    if (!loop.post(WaitedCall(std::move(task), state), modes.adding(RunLoop::kWaitedPerformMode))) {
        return Error(kDomain, 1, "The target run loop has ended");
    }
    std::unique_lock lock(state->mutex);
    auto pending = [&] { return state->outcome != WaitState::Outcome::Pending; };
    if (!(timeoutSeconds < 1e9)) { // forever, and no overflow of the clock
        state->changed.wait(lock, pending);
    } else if (!state->changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), pending)) {
        return Error(kDomain, 2, "Timed out waiting for the performed call");
    }
    if (state->outcome == WaitState::Outcome::Dropped) {
        return Error(kDomain, 1, "The target run loop ended before the call ran");
    }
    return Result<void>::success();
}

Result<void> performOnMainThread(Task task, WaitUntilDone wait, const RunLoopModes& modes,
                                 double timeoutSeconds) {
    return performOnThread(RunLoop::main().handle(), std::move(task), wait, modes, timeoutSeconds);
}

} // namespace murmelo
