#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace murmelo {

namespace internal {

struct ObserverEntry {
    std::optional<std::string> name;
    const void* object = nullptr;
    NotificationCenter::Callback callback;

    // Guards `removed` and `runningOn`; never held while the callback runs.
    std::mutex mutex;
    std::condition_variable idle;
    bool removed = false;
    std::vector<std::thread::id> runningOn; // one entry per call in progress

    bool matches(const Notification& n) const {
        return (!name || *name == n.name) && (!object || object == n.object);
    }
};

struct NotificationRegistry {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<ObserverEntry>> entries; // registration order

    void remove(const std::shared_ptr<ObserverEntry>& entry) {
        {
            std::lock_guard lock(mutex);
            entries.erase(std::remove(entries.begin(), entries.end(), entry), entries.end());
        }
        std::unique_lock lock(entry->mutex);
        entry->removed = true;
        const auto self = std::this_thread::get_id();
        entry->idle.wait(lock, [&] {
            return std::all_of(entry->runningOn.begin(), entry->runningOn.end(),
                               [&](std::thread::id id) { return id == self; });
        });
    }
};

} // namespace internal

namespace {

void unregister(std::weak_ptr<internal::NotificationRegistry>& registry,
                std::shared_ptr<internal::ObserverEntry>& entry) {
    if (!entry) {
        return;
    }
    if (auto strong = registry.lock()) {
        strong->remove(entry);
    } else {
        // The centre is gone, so no post can reach the entry any more.
        std::lock_guard lock(entry->mutex);
        entry->removed = true;
    }
    entry.reset();
    registry.reset();
}

} // namespace

ObserverToken::ObserverToken(std::weak_ptr<internal::NotificationRegistry> registry,
                             std::shared_ptr<internal::ObserverEntry> entry)
    : m_registry(std::move(registry)), m_entry(std::move(entry)) {}

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept {
    if (this != &other) {
        remove();
        m_registry = std::move(other.m_registry);
        m_entry = std::move(other.m_entry);
    }
    return *this;
}

ObserverToken::~ObserverToken() {
    remove();
}

void ObserverToken::remove() {
    unregister(m_registry, m_entry);
}

bool ObserverToken::isRegistered() const {
    if (!m_entry || m_registry.expired()) {
        return false;
    }
    std::lock_guard lock(m_entry->mutex);
    return !m_entry->removed;
}

NotificationCenter& NotificationCenter::defaultCenter() {
    // Deliberately never destroyed: observers may post during static destruction.
    static NotificationCenter* center = new NotificationCenter();
    return *center;
}

NotificationCenter::NotificationCenter() : m_registry(std::make_shared<internal::NotificationRegistry>()) {}

NotificationCenter::~NotificationCenter() = default;

ObserverToken NotificationCenter::addObserver(std::optional<std::string> name, const void* object,
                                              Callback callback) {
    auto entry = std::make_shared<internal::ObserverEntry>();
    entry->name = std::move(name);
    entry->object = object;
    entry->callback = std::move(callback);
    {
        std::lock_guard lock(m_registry->mutex);
        m_registry->entries.push_back(entry);
    }
    return ObserverToken(m_registry, std::move(entry));
}

void NotificationCenter::postNotification(const Notification& notification) {
    std::vector<std::shared_ptr<internal::ObserverEntry>> targets;
    {
        std::lock_guard lock(m_registry->mutex);
        for (const auto& entry : m_registry->entries) {
            if (entry->matches(notification)) {
                targets.push_back(entry);
            }
        }
    }
    const auto self = std::this_thread::get_id();
    for (const auto& entry : targets) {
        {
            std::lock_guard lock(entry->mutex);
            if (entry->removed) {
                continue; // removed by an earlier observer of this same post
            }
            entry->runningOn.push_back(self);
        }
        entry->callback(notification);
        {
            std::lock_guard lock(entry->mutex);
            entry->runningOn.erase(std::find(entry->runningOn.begin(), entry->runningOn.end(), self));
        }
        entry->idle.notify_all();
    }
}

void NotificationCenter::postNotificationName(std::string_view name, const void* object,
                                              Dictionary userInfo) {
    postNotification(Notification{std::string(name), object, std::move(userInfo)});
}

size_t NotificationCenter::observerCount() const {
    std::lock_guard lock(m_registry->mutex);
    return m_registry->entries.size();
}

} // namespace murmelo
