#include "platform/runloop/Operation.h"

#include <chrono>

#include "platform/runloop/OperationQueue.h"

namespace murmelo {

void Operation::cancel() {
    // Lock order: operation, then queue. The queue never takes an
    // operation's lock while holding its own.
    std::lock_guard lock(m_mutex);
    if (m_cancelled.exchange(true)) {
        return;
    }
    if (m_queue && m_state.load() == State::Ready) {
        m_queue->operationCancelled(); // it may start now, even on a suspended queue
    }
}

void Operation::attachToQueue(OperationQueue* queue) {
    std::lock_guard lock(m_mutex);
    m_queue = queue;
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
        m_queue = nullptr;
    }
    m_finished.notify_all();
}

} // namespace murmelo
