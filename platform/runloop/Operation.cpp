#include "platform/runloop/Operation.h"

#include <chrono>

namespace murmelo {

void Operation::cancel() {
    m_cancelled.store(true);
}

void Operation::setQueuePriority(QueuePriority priority) {
    std::lock_guard lock(m_mutex);
    if (m_state.load() == State::Ready) {
        m_priority.store(static_cast<int>(priority));
    }
}

void Operation::setCompletionBlock(UniqueFunction<void()> block) {
    std::lock_guard lock(m_mutex);
    m_completion = std::move(block);
}

bool Operation::waitUntilFinished(double timeoutSeconds) const {
    std::unique_lock lock(m_mutex);
    auto finished = [&] { return m_state.load() == State::Finished; };
    if (!(timeoutSeconds < 1e9)) { // forever, and no overflow of the clock
        m_finished.wait(lock, finished);
        return true;
    }
    return m_finished.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), finished);
}

bool Operation::markEnqueued() {
    return !m_enqueued.exchange(true);
}

void Operation::run() {
    {
        std::lock_guard lock(m_mutex);
        m_state.store(State::Executing);
    }
    main();
    UniqueFunction<void()> completion;
    {
        std::lock_guard lock(m_mutex);
        completion = std::move(m_completion);
    }
    if (completion) {
        completion();
    }
    {
        std::lock_guard lock(m_mutex);
        m_state.store(State::Finished);
    }
    m_finished.notify_all();
}

} // namespace murmelo
