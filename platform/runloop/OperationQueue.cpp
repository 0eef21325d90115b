#include "platform/runloop/OperationQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"

namespace murmelo {

namespace {
const char* kDomain = "MurmeloOperationQueueErrorDomain";
// Operations added to any queue and not yet finished (documented single counter).
std::atomic<std::size_t> g_unfinishedOperations{0};
} // namespace

std::size_t OperationQueue::unfinishedOperationsInAllQueues() {
    return g_unfinishedOperations.load(std::memory_order_relaxed);
}

OperationQueue::OperationQueue(int maxConcurrentOperationCount, std::string name)
    : m_name(std::move(name)), m_maxConcurrent(maxConcurrentOperationCount) {}

OperationQueue::~OperationQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_shuttingDown = true;
        for (auto& entry : m_entries) {
            entry.operation->setCancelledFlag();
        }
        spawnWorkersLocked();
    }
    m_workAvailable.notify_all();
    waitUntilAllOperationsAreFinished();
    std::vector<internal::NativeThread> workers;
    {
        std::lock_guard lock(m_mutex);
        workers = std::move(m_workers);
    }
    m_workAvailable.notify_all();
    for (auto& worker : workers) {
        worker.join();
    }
}

Result<void> OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
    if (!operation) {
        return Error(kDomain, 1, "No operation to add");
    }
    if (!operation->markEnqueued()) {
        return Error(kDomain, 2, "The operation was added to a queue before");
    }
    operation->attachToQueue(this);
    {
        std::lock_guard lock(m_mutex);
        if (m_shuttingDown) {
            operation->attachToQueue(nullptr);
            return Error(kDomain, 3, "The queue is being destroyed");
        }
        m_entries.push_back(Entry{std::move(operation), false});
        g_unfinishedOperations.fetch_add(1, std::memory_order_relaxed);
        spawnWorkersLocked();
    }
    m_workAvailable.notify_all();
    return Result<void>::success();
}

void OperationQueue::addOperationWithBlock(UniqueFunction<void()> block) {
    auto added = addOperation(BlockOperation::make(std::move(block)));
    if (!added) {
        logLine("OperationQueue %s: %s", m_name.c_str(), added.error().localizedDescription().c_str());
    }
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::shared_ptr<Operation>> result;
    result.reserve(m_entries.size());
    for (const auto& entry : m_entries) {
        result.push_back(entry.operation);
    }
    return result;
}

size_t OperationQueue::operationCount() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

void OperationQueue::cancelAllOperations() {
    {
        std::lock_guard lock(m_mutex);
        for (auto& entry : m_entries) {
            entry.operation->setCancelledFlag();
        }
        spawnWorkersLocked(); // cancelled operations start even on a suspended queue
    }
    m_workAvailable.notify_all();
}

void OperationQueue::operationCancelled() {
    {
        std::lock_guard lock(m_mutex);
        spawnWorkersLocked();
    }
    m_workAvailable.notify_all();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    [[maybe_unused]] bool done = waitUntilAllOperationsAreFinished(RunLoop::kDistantFuture);
}

bool OperationQueue::waitUntilAllOperationsAreFinished(double timeoutSeconds) {
    RunLoop* loop = RunLoop::currentIfAny();
    if (!loop) {
        std::unique_lock lock(m_mutex);
        auto done = [&] { return m_entries.empty() && m_running == 0; };
        if (!(timeoutSeconds < 1e9)) { // forever, and no overflow of the clock
            m_changed.wait(lock, done);
            return true;
        }
        return m_changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), done);
    }
    // Serve waited-for calls while blocking; each finished operation posts a
    // no-op in that mode so the condition is looked at again.
    RunLoopHandle self = loop->handle();
    {
        std::lock_guard lock(m_mutex);
        m_loopWaiters.push_back(self);
    }
    double deadline = timeoutSeconds < 1e9 ? Clock::monotonic() + timeoutSeconds : RunLoop::kDistantFuture;
    bool done = loop->runModeUntil(
        RunLoop::kWaitedPerformMode,
        [&] {
            std::lock_guard lock(m_mutex);
            return m_entries.empty() && m_running == 0;
        },
        deadline);
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find(m_loopWaiters.begin(), m_loopWaiters.end(), self);
        if (it != m_loopWaiters.end()) {
            m_loopWaiters.erase(it);
        }
    }
    return done;
}

void OperationQueue::setSuspended(bool suspended) {
    {
        std::lock_guard lock(m_mutex);
        m_suspended = suspended;
        spawnWorkersLocked();
    }
    m_workAvailable.notify_all();
}

bool OperationQueue::isSuspended() const {
    std::lock_guard lock(m_mutex);
    return m_suspended;
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
    {
        std::lock_guard lock(m_mutex);
        m_maxConcurrent = count < 0 ? kDefaultMaxConcurrentOperationCount : count;
        spawnWorkersLocked();
    }
    m_workAvailable.notify_all();
}

int OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(m_mutex);
    return m_maxConcurrent;
}

int OperationQueue::effectiveLimitLocked() const {
    if (m_maxConcurrent >= 0) {
        return m_maxConcurrent;
    }
    return std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
}

int OperationQueue::pickNextLocked() const {
    int limit = effectiveLimitLocked();
    int best = -1;
    bool bestCancelled = false;
    int bestPriority = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const auto& entry = m_entries[i];
        if (entry.started) {
            continue;
        }
        bool cancelled = entry.operation->isCancelled();
        if (cancelled ? m_running >= std::max(limit, 1) : (m_suspended || m_running >= limit)) {
            continue;
        }
        int priority = static_cast<int>(entry.operation->queuePriority());
        // Earlier entries win ties: FIFO within a priority.
        if (best < 0 || (cancelled && !bestCancelled) ||
            (cancelled == bestCancelled && priority > bestPriority)) {
            best = static_cast<int>(i);
            bestCancelled = cancelled;
            bestPriority = priority;
        }
    }
    return best;
}

size_t OperationQueue::startableCountLocked() const {
    size_t count = 0;
    for (const auto& entry : m_entries) {
        if (!entry.started && (!m_suspended || entry.operation->isCancelled())) {
            ++count;
        }
    }
    return count;
}

void OperationQueue::spawnWorkersLocked() {
    int limit = std::max(effectiveLimitLocked(), 1);
    size_t slots = limit > m_running ? static_cast<size_t>(limit - m_running) : 0;
    size_t wanted = std::min(startableCountLocked(), slots);
    while (m_workers.size() - static_cast<size_t>(m_running) < wanted &&
           m_workers.size() < static_cast<size_t>(limit)) {
        auto worker = internal::NativeThread::spawn(m_name, [this] { workerBody(); });
        if (!worker) {
            logLine("OperationQueue %s: cannot start a worker: %s", m_name.c_str(),
                    worker.error().localizedDescription().c_str());
            return;
        }
        m_workers.push_back(std::move(*worker));
    }
}

void OperationQueue::notifyLoopWaitersLocked() {
    for (const auto& waiter : m_loopWaiters) {
        waiter.post([] {}, RunLoop::kWaitedPerformMode);
    }
}

void OperationQueue::workerBody() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        int index = pickNextLocked();
        if (index < 0) {
            bool unstarted =
                std::any_of(m_entries.begin(), m_entries.end(), [](const Entry& e) { return !e.started; });
            if (m_shuttingDown && !unstarted) {
                return;
            }
            ++m_idleWorkers;
            m_workAvailable.wait(lock);
            --m_idleWorkers;
            continue;
        }
        m_entries[static_cast<size_t>(index)].started = true;
        std::shared_ptr<Operation> operation = m_entries[static_cast<size_t>(index)].operation;
        ++m_running;
        lock.unlock();

        operation->run();
        RunLoop::endCurrentThreadLoop(); // the next operation gets a fresh loop

        lock.lock();
        auto it = std::find_if(m_entries.begin(), m_entries.end(),
                               [&](const Entry& e) { return e.operation == operation; });
        bool lastInProcess = false;
        if (it != m_entries.end()) {
            m_entries.erase(it);
            lastInProcess = g_unfinishedOperations.fetch_sub(1, std::memory_order_relaxed) == 1;
        }
        // Let go of our reference before telling anyone the operation is
        // done: its destructor must not run under our lock, and a waiter
        // that sees the queue empty may rely on the queue holding nothing.
        lock.unlock();
        operation.reset();
        lock.lock();
        --m_running;
        if (lastInProcess) {
            // Wakes a main thread waiting for the process to fall quiet even
            // when the operation handed it nothing.
            RunLoop::main().post([] {});
        }
        notifyLoopWaitersLocked();
        m_changed.notify_all();
        // Another operation may have been held back by the limit only.
        m_workAvailable.notify_all();
    }
}

} // namespace murmelo
