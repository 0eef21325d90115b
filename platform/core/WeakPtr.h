// WeakPtr / WeakFactory: a reference to an object that may be gone by the time
// a posted call, a reply or a callback runs. The owner holds a WeakFactory as
// its *last* member; destroying the factory (or calling invalidate()) turns
// every WeakPtr it handed out into a null one.
//
// Threading: hand out WeakPtrs on any thread, but check and dereference them
// only on the owner's thread (the thread that destroys the owner), so the
// object cannot go away between the check and the use.
//
//   class Loader {
//       void start() { queue.post(bindWeak(m_weak.weakPtr(), [](Loader& self) { self.done(); })); }
//       WeakFactory<Loader> m_weak{this};   // last member: invalidated first
//   };
#pragma once

#include <atomic>
#include <memory>
#include <utility>

namespace murmelo {

namespace internal {
struct WeakFlag {
    std::atomic<bool> alive{true};
};
} // namespace internal

template <class T>
class WeakPtr {
public:
    WeakPtr() = default;

    // The object, or nullptr once its factory is gone or invalidated.
    T* get() const {
        return m_flag && m_flag->alive.load(std::memory_order_acquire) ? m_target : nullptr;
    }
    explicit operator bool() const { return get() != nullptr; }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }

private:
    template <class>
    friend class WeakFactory;
    WeakPtr(T* target, std::shared_ptr<const internal::WeakFlag> flag)
        : m_target(target), m_flag(std::move(flag)) {}

    T* m_target = nullptr;
    std::shared_ptr<const internal::WeakFlag> m_flag;
};

template <class T>
class WeakFactory {
public:
    explicit WeakFactory(T* owner) : m_owner(owner), m_flag(std::make_shared<internal::WeakFlag>()) {}
    ~WeakFactory() { m_flag->alive.store(false, std::memory_order_release); }
    WeakFactory(const WeakFactory&) = delete;
    WeakFactory& operator=(const WeakFactory&) = delete;

    WeakPtr<T> weakPtr() const { return WeakPtr<T>(m_owner, m_flag); }

    // Every WeakPtr handed out so far becomes null; later ones are valid again.
    void invalidate() {
        m_flag->alive.store(false, std::memory_order_release);
        m_flag = std::make_shared<internal::WeakFlag>();
    }

private:
    T* m_owner;
    std::shared_ptr<internal::WeakFlag> m_flag;
};

// A callable that runs `function(target, args...)` while the target lives and
// does nothing once it is gone.
template <class T, class Function>
auto bindWeak(WeakPtr<T> target, Function function) {
    return [target = std::move(target), function = std::move(function)](auto&&... args) mutable {
        if (T* object = target.get()) {
            function(*object, std::forward<decltype(args)>(args)...);
        }
    };
}

} // namespace murmelo
