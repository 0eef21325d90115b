// SingleInstanceSlot: the class-level slot of a screen that exists once per
// process, guarded by the lock on the class. `shared` makes the instance on
// first use; `allocate` is the allocation rule — the first allocation makes
// and keeps it, every later one gives nothing. Thread-safe; the slot lives
// for the whole process, like the instance it holds.
#pragma once

#include <memory>
#include <mutex>

namespace murmelo::internal {

template <class Screen> class SingleInstanceSlot {
public:
    static SingleInstanceSlot& forClass() {
        static auto* slot = new SingleInstanceSlot(); // never destroyed, like the screen
        return *slot;
    }

    template <class Make> std::shared_ptr<Screen> shared(Make make) {
        std::lock_guard lock(m_mutex);
        if (!m_instance) {
            m_instance = make();
        }
        return m_instance;
    }

    template <class Make> std::shared_ptr<Screen> allocate(Make make) {
        std::lock_guard lock(m_mutex);
        if (m_instance) {
            return nullptr;
        }
        m_instance = make();
        return m_instance;
    }

private:
    SingleInstanceSlot() = default;
    std::mutex m_mutex; // the lock on the class
    std::shared_ptr<Screen> m_instance;
};

} // namespace murmelo::internal
