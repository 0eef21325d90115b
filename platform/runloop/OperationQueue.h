// OperationQueue: runs Operations on worker threads, at most
// maxConcurrentOperationCount at a time — the platform's NSOperationQueue.
//
// Order: among operations ready to start, cancelled ones first (they only
// finish), then higher queuePriority, then the order they were added.
// Suspension stops new starts (except of cancelled operations, see
// Operation.h); running ones go on.
//
// Workers are pooled (never more threads than the largest limit set); each
// operation gets a fresh run loop on its worker, so nothing posted to or
// scheduled on one operation's loop leaks into the next. All methods are
// thread-safe. The queue holds its operations by shared_ptr until they
// finished. Destruction cancels what is left, waits for it to end and joins
// every worker (REQUIRES: running operations honour cancellation).
//
// A thread that blocks in waitUntilAllOperationsAreFinished() keeps serving
// calls other threads post to it and wait for (RunLoop::kWaitedPerformMode),
// so an operation that waits on the main thread cannot deadlock with a main
// thread that waits for the queue.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "platform/runloop/Operation.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/internal/NativeThread.h"

namespace murmelo {

class OperationQueue {
public:
    // "The system decides": the number of processors, at least 2.
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;

    explicit OperationQueue(int maxConcurrentOperationCount = kDefaultMaxConcurrentOperationCount,
                            std::string name = "murmelo.queue");
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    // Error for a null operation, or one that was added to a queue before.
    Result<void> addOperation(std::shared_ptr<Operation> operation);
    void addOperationWithBlock(UniqueFunction<void()> block);

    // Unfinished operations (waiting and running), in the order added.
    std::vector<std::shared_ptr<Operation>> operations() const;
    size_t operationCount() const;

    void cancelAllOperations();
    // Blocks until no operation is left (forever by default); true when none is.
    [[nodiscard]] bool waitUntilAllOperationsAreFinished(double timeoutSeconds);
    void waitUntilAllOperationsAreFinished();

    void setSuspended(bool suspended);
    bool isSuspended() const;
    // Negative: kDefaultMaxConcurrentOperationCount. 0 starts nothing (but
    // cancelled operations, which still get one slot).
    void setMaxConcurrentOperationCount(int count);
    int maxConcurrentOperationCount() const;

    const std::string& name() const { return m_name; }

    // Operations queued or running in every queue of the process (any
    // thread); for the driver's "settle". When it drops to zero the main
    // loop gets an empty posted call, so a main thread running until the
    // process is quiet (runModeUntil) checks again at once.
    static std::size_t unfinishedOperationsInAllQueues();

private:
    friend class Operation;
    struct Entry {
        std::shared_ptr<Operation> operation;
        bool started = false;
    };

    void workerBody();
    void operationCancelled();
    int effectiveLimitLocked() const;
    // Index into m_entries of the operation to start next, or -1.
    int pickNextLocked() const;
    size_t startableCountLocked() const;
    void spawnWorkersLocked();
    void notifyLoopWaitersLocked();

    const std::string m_name;
    mutable std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_changed; // an operation finished
    std::vector<Entry> m_entries;      // unfinished, in the order added
    std::vector<internal::NativeThread> m_workers;
    std::vector<RunLoopHandle> m_loopWaiters;
    int m_maxConcurrent;
    int m_running = 0;
    int m_idleWorkers = 0;
    bool m_suspended = false;
    bool m_shuttingDown = false;
};

} // namespace murmelo
