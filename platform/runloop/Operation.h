// Operation: a unit of work for an OperationQueue — the platform's
// NSOperation. Subclasses override main(), which the queue runs on a worker
// thread that has its own, fresh run loop (timers and fd sources made in
// main() work; RunLoop::current() is that loop).
//
// States: ready → executing → finished. cancel() only sets a flag that main()
// should look at. An operation cancelled before it started is still started
// by the queue, promptly and even while the queue is suspended, so that its
// main() sees isCancelled() and can finish its own way; this is what lets a
// cancel-then-wait never hang on work that would never start.
//
// Threading: cancel(), the state queries and waitUntilFinished() from any
// thread. setQueuePriority() until the operation starts (later calls change
// nothing). An operation belongs to at most one queue, once. Held by
// shared_ptr; the queue keeps it alive until it finished.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/runloop/UniqueFunction.h"

namespace murmelo {

class OperationQueue;

enum class QueuePriority : int { VeryLow = -8, Low = -4, Normal = 0, High = 4, VeryHigh = 8 };

class Operation : public std::enable_shared_from_this<Operation> {
public:
    Operation() = default;
    virtual ~Operation() = default;
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    void cancel();
    bool isCancelled() const { return m_cancelled.load(); }
    bool isExecuting() const { return m_state.load() == State::Executing; }
    bool isFinished() const { return m_state.load() == State::Finished; }

    QueuePriority queuePriority() const { return static_cast<QueuePriority>(m_priority.load()); }
    // No effect once the operation started.
    void setQueuePriority(QueuePriority priority);

    // Runs on the worker thread after main() returned, before the operation
    // counts as finished.
    void setCompletionBlock(UniqueFunction<void()> block);

    // Blocks until finished or the time-out passed; true when finished.
    [[nodiscard]] bool waitUntilFinished(double timeoutSeconds) const;

protected:
    // The work. Runs once, on a worker thread.
    virtual void main() = 0;

private:
    friend class OperationQueue;
    enum class State { Ready, Executing, Finished };

    // Queue side: claims the operation for one queue; false when it was
    // enqueued before.
    bool markEnqueued();
    // The queue to tell about a cancellation, until the operation finished.
    void attachToQueue(OperationQueue* queue);
    // For the queue, which holds its own lock: the flag without telling it.
    void setCancelledFlag() { m_cancelled.store(true); }
    void run();

    std::atomic<State> m_state{State::Ready};
    std::atomic<bool> m_cancelled{false};
    std::atomic<int> m_priority{static_cast<int>(QueuePriority::Normal)};
    std::atomic<bool> m_enqueued{false};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_finished;
    UniqueFunction<void()> m_completion;
    OperationQueue* m_queue = nullptr; // guarded by m_mutex; alive while set (it waits for us)
};

// An operation that runs a closure — NSBlockOperation with one block.
class BlockOperation final : public Operation {
public:
    explicit BlockOperation(UniqueFunction<void()> block) : m_block(std::move(block)) {}
    static std::shared_ptr<BlockOperation> make(UniqueFunction<void()> block) {
        return std::make_shared<BlockOperation>(std::move(block));
    }

protected:
    void main() override {
        if (m_block) {
            m_block();
        }
    }

private:
    UniqueFunction<void()> m_block;
};

} // namespace murmelo
