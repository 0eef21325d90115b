// Helpers for tests that wait on other threads: every wait is bounded, so a
// broken test fails instead of hanging. Thread-safe.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace murmelo::test {

constexpr double kWaitBound = 5.0;

// A gate work blocks on until the test opens it.
class Gate {
public:
    void open() {
        // Notified under the lock: the waiter may destroy this as soon as it sees the change.
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    // False when the gate stayed shut for the whole bound.
    bool waitOpen(double seconds = kWaitBound) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

// Events noted on any thread, in the order they happened.
class EventLog {
public:
    void add(std::string event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
        m_changed.notify_all();
    }
    bool waitFor(const std::function<bool(const std::vector<std::string>&)>& condition,
                 double seconds = kWaitBound) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::duration<double>(seconds),
                                  [&] { return condition(m_events); });
    }
    std::vector<std::string> all() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    size_t count(const std::string& event) const {
        std::lock_guard lock(m_mutex);
        return static_cast<size_t>(std::count(m_events.begin(), m_events.end(), event));
    }
    size_t countPrefix(const std::string& prefix) const {
        std::lock_guard lock(m_mutex);
        return static_cast<size_t>(std::count_if(
            m_events.begin(), m_events.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

// Aborts the process when a blocking call does not return within the bound.
class Reaper {
public:
    explicit Reaper(double seconds)
        : m_thread([this, seconds] {
              std::unique_lock lock(m_mutex);
              if (!m_changed.wait_for(lock, std::chrono::duration<double>(seconds),
                                      [&] { return m_disarmed; })) {
                  std::fprintf(stderr, "Reaper: a blocking call did not return within %.0f s\n", seconds);
                  std::abort();
              }
          }) {}
    ~Reaper() {
        {
            std::lock_guard lock(m_mutex);
            m_disarmed = true;
            m_changed.notify_all();
        }
        m_thread.join();
    }
    Reaper(const Reaper&) = delete;
    Reaper& operator=(const Reaper&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_disarmed = false;
    std::thread m_thread;
};

} // namespace murmelo::test
