// NotificationCenter: named broadcasts inside the process.
//
// Observers register for a name (or any name) and a sender object (or any
// object; objects are identified only by their address, never touched). A
// post calls every matching observer synchronously on the posting thread, in
// registration order, and returns when all have run.
//
// Thread-safe: observers may be added, removed and notifications posted from
// any thread, and an observer may post or add/remove observers (itself too)
// from inside its callback. Removal guarantees: once removeObserver() (or
// the token's destruction) returns, the callback will not start again, and
// if it is running on another thread, removal waits for that call to end —
// so a callback may safely capture the object that owns its token. (Do not
// remove an observer while holding a lock its callback takes.) A call
// already running on the removing thread itself is not waited for.
//
// Ownership: the centre owns the callbacks; the caller owns the
// ObserverToken. A token may outlive its centre.
//
//   auto token = NotificationCenter::defaultCenter().addObserver(
//       "SwithToSecretTab", nullptr, [this](const Notification&) { switchTab(); });
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Value.h"

namespace murmelo {

struct Notification {
    std::string name;
    const void* object = nullptr; // the sender, by address only
    Dictionary userInfo;
};

namespace internal {
struct NotificationRegistry;
struct ObserverEntry;
} // namespace internal

// A registration. Destroying it (or calling remove()) unregisters. Move-only.
class ObserverToken {
public:
    ObserverToken() = default;
    ObserverToken(ObserverToken&&) noexcept = default;
    ObserverToken& operator=(ObserverToken&& other) noexcept;
    ~ObserverToken();

    void remove();
    bool isRegistered() const;

private:
    friend class NotificationCenter;
    ObserverToken(std::weak_ptr<internal::NotificationRegistry> registry,
                  std::shared_ptr<internal::ObserverEntry> entry);
    std::weak_ptr<internal::NotificationRegistry> m_registry;
    std::shared_ptr<internal::ObserverEntry> m_entry;
};

class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;

    // The process-wide centre; created on first use and never destroyed.
    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // `name` nullopt observes every name; `object` nullptr every sender.
    [[nodiscard]] ObserverToken addObserver(std::optional<std::string> name, const void* object,
                                            Callback callback);
    void removeObserver(ObserverToken& token) { token.remove(); }

    void postNotification(const Notification& notification);
    void postNotificationName(std::string_view name, const void* object = nullptr, Dictionary userInfo = {});

    size_t observerCount() const;

private:
    std::shared_ptr<internal::NotificationRegistry> m_registry;
};

} // namespace murmelo
