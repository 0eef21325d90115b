#include "app/base/OVOperationManager.h"

#include "platform/core/Log.h"

namespace murmelo {

OVOperationManager::OVOperationManager()
    : m_operationQueue(
          std::make_shared<OperationQueue>(kDefaultMaxConcurrentOperationCount, "OVOperationManager")) {}

OVOperationManager& OVOperationManager::sharedOperationManager() {
    // The class lock and the single instance: made once, never destroyed.
    static std::mutex classLock;
    static OVOperationManager* instance = nullptr;
    std::lock_guard lock(classLock);
    if (!instance) {
        instance = new OVOperationManager();
    }
    return *instance;
}

void OVOperationManager::addOperation(const std::shared_ptr<OVOperation>& operation) {
    if (!operation) {
        return;
    }
    std::shared_ptr<OperationQueue> queue;
    {
        std::lock_guard lock(m_mutex);
        dropFinishedLocked();
        if (operation->key()) {
            m_currentOperations[*operation->key()] = operation;
        }
        queue = m_operationQueue;
    }
    if (!queue) {
        return; // like a message to nil
    }
    if (auto added = queue->addOperation(operation); !added) {
        logLine("OVOperationManager: %s", added.error().localizedDescription().c_str());
    }
}

std::shared_ptr<OVOperation> OVOperationManager::operationWithKey(const std::string& key) {
    std::lock_guard lock(m_mutex);
    dropFinishedLocked();
    auto it = m_currentOperations.find(key);
    if (it == m_currentOperations.end() || it->second->isFinished() || it->second->isCancelled()) {
        return nullptr;
    }
    return it->second;
}

void OVOperationManager::cancelOperationWithKey(const std::string& key) {
    std::lock_guard lock(m_mutex);
    auto it = m_currentOperations.find(key);
    if (it != m_currentOperations.end()) {
        it->second->cancel();
    }
}

void OVOperationManager::increasePriorityForOperationWithKey(const std::string& key) {
    if (auto operation = operationWithKey(key)) {
        operation->setQueuePriority(QueuePriority::High);
    }
}

void OVOperationManager::decreasePriorityForOperationWithKey(const std::string& key) {
    if (auto operation = operationWithKey(key)) {
        operation->setQueuePriority(QueuePriority::Low);
    }
}

void OVOperationManager::cancelAllOperations() {
    std::shared_ptr<OperationQueue> queue = operationQueue();
    if (!queue) {
        return;
    }
    queue->cancelAllOperations();
    queue->waitUntilAllOperationsAreFinished();
}

void OVOperationManager::setSuspended(bool suspended) {
    if (auto queue = operationQueue()) {
        queue->setSuspended(suspended);
    }
}

bool OVOperationManager::isSuspended() const {
    auto queue = operationQueue();
    return queue && queue->isSuspended();
}

void OVOperationManager::setMaxConcurrentOperationCount(int count) {
    if (auto queue = operationQueue()) {
        queue->setMaxConcurrentOperationCount(count);
    }
}

std::shared_ptr<OperationQueue> OVOperationManager::operationQueue() const {
    std::lock_guard lock(m_mutex);
    return m_operationQueue;
}

void OVOperationManager::setOperationQueue(std::shared_ptr<OperationQueue> queue) {
    std::shared_ptr<OperationQueue> previous;
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_operationQueue, std::move(queue));
    }
    // `previous` may be the last reference: its destruction waits for its
    // operations, outside our lock.
}

void OVOperationManager::dropFinishedLocked() {
    // A finished operation can never be returned again; holding it would keep
    // its target and arguments alive for the life of the process.
    std::erase_if(m_currentOperations, [](const auto& entry) { return entry.second->isFinished(); });
}

} // namespace murmelo
