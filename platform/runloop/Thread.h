// Thread: a thread that runs its own run loop until stopped — the place for
// work that wants timers and fd sources off the main thread.
//
// Threading: start(), post(), stopAndJoin() from any thread other than the
// thread itself. The object owns the thread; destruction stops and joins it.
// Posted calls run in posting order; calls posted after the thread ended are
// refused (post() returns false).
//
//   Thread worker("fetch");
//   if (worker.start()) worker.post([] { fetchAll(); });
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/core/Result.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/internal/NativeThread.h"

namespace murmelo {

class Thread {
public:
    explicit Thread(std::string name = "murmelo.thread");
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the thread and returns once its run loop exists. Error when it
    // was started before or the system refused a thread.
    Result<void> start();
    // The thread's loop; a dead handle before start() and after the end.
    RunLoopHandle runLoop() const;
    bool post(Task task, const RunLoopModes& modes = RunLoopModes(RunLoop::kCommonModes));
    // Asks the loop to stop (calls already posted before it run first only
    // if the loop reaches them) and joins, waiting at most `timeoutSeconds`.
    Result<void> stopAndJoin(double timeoutSeconds);
    bool isRunning() const;
    const std::string& name() const { return m_name; }

private:
    void body();

    std::string m_name;
    internal::NativeThread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    RunLoopHandle m_loop;
    bool m_started = false;
    bool m_loopReady = false;
    bool m_ended = false;
};

} // namespace murmelo
