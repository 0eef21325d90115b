// NativeThread: a joinable OS thread started without exceptions (std::thread
// reports a refused thread only by throwing). Owned by one object, which
// joins it; the body owns its closure.
#pragma once

#include <string>

#include <pthread.h>

#include "platform/core/Result.h"
#include "platform/runloop/UniqueFunction.h"

namespace murmelo::internal {

class NativeThread {
public:
    NativeThread() = default;
    ~NativeThread(); // joins when still joinable
    NativeThread(NativeThread&& other) noexcept;
    NativeThread& operator=(NativeThread&& other) noexcept;
    NativeThread(const NativeThread&) = delete;
    NativeThread& operator=(const NativeThread&) = delete;

    // `name` is cut to the 15 characters Linux keeps.
    static Result<NativeThread> spawn(const std::string& name, UniqueFunction<void()> body);
    bool joinable() const { return m_joinable; }
    void join();

private:
    pthread_t m_handle{};
    bool m_joinable = false;
};

} // namespace murmelo::internal
