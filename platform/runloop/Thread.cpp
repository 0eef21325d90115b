#include "platform/runloop/Thread.h"

#include <chrono>

namespace murmelo {

namespace {
const char* kDomain = "MurmeloThreadErrorDomain";
}

Thread::Thread(std::string name) : m_name(std::move(name)) {}

Thread::~Thread() {
    runLoop().stop();
    m_thread.join();
}

Result<void> Thread::start() {
    std::unique_lock lock(m_mutex);
    if (m_started) {
        return Error(kDomain, 1, "The thread was started before");
    }
    MURMELO_TRY_VALUE(auto spawned, internal::NativeThread::spawn(m_name, [this] { body(); }));
    m_started = true;
    m_thread = std::move(spawned);
    m_changed.wait(lock, [&] { return m_loopReady; });
    return Result<void>::success();
}

void Thread::body() {
    RunLoop& loop = RunLoop::current();
    {
        std::lock_guard lock(m_mutex);
        m_loop = loop.handle();
        m_loopReady = true;
    }
    m_changed.notify_all();
    loop.run();
    // End the loop before saying so: from then on posts are refused.
    RunLoop::endCurrentThreadLoop();
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
    }
    m_changed.notify_all();
}

RunLoopHandle Thread::runLoop() const {
    std::lock_guard lock(m_mutex);
    return m_loop;
}

bool Thread::post(Task task, const RunLoopModes& modes) {
    return runLoop().post(std::move(task), modes);
}

bool Thread::isRunning() const {
    std::lock_guard lock(m_mutex);
    return m_loopReady && !m_ended;
}

Result<void> Thread::stopAndJoin(double timeoutSeconds) {
    {
        std::unique_lock lock(m_mutex);
        if (!m_started) {
            return Result<void>::success();
        }
        m_loop.stop();
        auto ended = [&] { return m_ended; };
        if (!(timeoutSeconds < 1e9)) { // forever, and no overflow of the clock
            m_changed.wait(lock, ended);
        } else if (!m_changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), ended)) {
            return Error(kDomain, 2, "Timed out waiting for the thread to end");
        }
    }
    m_thread.join(); // the body has returned; this does not block for long
    return Result<void>::success();
}

} // namespace murmelo
