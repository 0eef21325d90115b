// OVOperationManager: the single process-wide queue for OVOperations — at
// most three at a time unless changed — with a table of operations by key.
//
// The manager is a documented single instance, made on the first call of
// sharedOperationManager() under a lock on the class (concurrent first calls
// get the one instance) and never destroyed; it cannot be constructed or
// copied otherwise.
//
// Threading: every method from any thread (the app calls them from the main
// thread). cancelAllOperations() blocks until every operation has ended; a
// finish call a worker posts to the main thread is never waited for, so the
// main thread blocking here does not stall the workers, and a worker that
// *waits* on the main thread is served while the main thread blocks (see
// OperationQueue.h). Keyed entries hold their operation until it finished;
// finished ones are dropped from the table on the next keyed call.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "app/base/OVOperation.h"
#include "platform/runloop/OperationQueue.h"

namespace murmelo {

class OVOperationManager {
public:
    static constexpr int kDefaultMaxConcurrentOperationCount = 3;

    static OVOperationManager& sharedOperationManager();

    OVOperationManager(const OVOperationManager&) = delete;
    OVOperationManager& operator=(const OVOperationManager&) = delete;

    // Null is ignored. A key records the operation under it (replacing an
    // earlier one), then the operation goes to the queue.
    void addOperation(const std::shared_ptr<OVOperation>& operation);
    // The operation under the key, or null when there is none or it has
    // finished or was cancelled.
    std::shared_ptr<OVOperation> operationWithKey(const std::string& key);
    void cancelOperationWithKey(const std::string& key);
    // Priority High (4) / Low (-4) for operationWithKey(key); nothing without one.
    void increasePriorityForOperationWithKey(const std::string& key);
    void decreasePriorityForOperationWithKey(const std::string& key);
    // Cancels every queued and running operation, then blocks until all ended.
    void cancelAllOperations();
    void setSuspended(bool suspended);
    bool isSuspended() const;
    void setMaxConcurrentOperationCount(int count);

    std::shared_ptr<OperationQueue> operationQueue() const;
    // Replacing the queue lets the old one finish its operations on its own
    // (it is destroyed, after they end, when its last holder lets go).
    void setOperationQueue(std::shared_ptr<OperationQueue> queue);

private:
    OVOperationManager();
    void dropFinishedLocked();

    mutable std::mutex m_mutex;
    std::shared_ptr<OperationQueue> m_operationQueue;
    std::unordered_map<std::string, std::shared_ptr<OVOperation>> m_currentOperations;
};

} // namespace murmelo
