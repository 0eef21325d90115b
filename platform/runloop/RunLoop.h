// RunLoop: the event loop of one thread — named modes, timers, file-descriptor
// sources and calls posted from any thread.
//
// Threading: every thread gets its own loop on first use of current(); main()
// is the loop of the process main thread. A loop runs only on its own thread:
// runMode(), run(), runUntil(), and the creation, change and destruction of
// Timer and FdSource registrations happen there (REQUIRES, checked in debug
// builds). Other threads talk to a loop only through a RunLoopHandle — post(),
// stop() and wake() — which holds the loop weakly: posting to a loop whose
// thread has ended returns false and never touches freed memory.
//
// A loop runs one mode at a time. A source is active in a mode when it was
// registered in that mode, or in kCommonModes and the mode is one of the
// loop's common modes (kDefaultMode plus those added by addCommonMode()).
// Posted calls run, in posting order, in the modes they were posted for
// (common modes unless said otherwise). Posting never runs the call
// synchronously, not even from the loop's own thread.
//
//   Timer tick(0.5, Timer::Repeats::Yes, [&] { if (++n == 3) RunLoop::current().stop(); });
//   RunLoop::current().run();   // returns after the third tick
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/runloop/FdEvents.h"
#include "platform/runloop/RunLoopModes.h"
#include "platform/runloop/UniqueFunction.h"

namespace murmelo {

namespace internal {
struct TimerRecord;
struct FdRecord;
} // namespace internal

// Why runMode() returned.
enum class RunStatus {
    HandledSource, // a timer fired, an fd callback ran or a batch of posted calls ran
    TimedOut,      // the date passed first
    Stopped,       // stop() was called
    Finished,      // the mode has no source at all (nothing could ever happen)
};

const char* toString(RunStatus status);

class RunLoopHandle;

class RunLoop : public std::enable_shared_from_this<RunLoop> {
public:
    static constexpr std::string_view kDefaultMode = "kCFRunLoopDefaultMode";
    static constexpr std::string_view kCommonModes = "kCFRunLoopCommonModes";
    // A thread blocked in a wait of this platform (OperationQueue waits) keeps
    // serving calls that other threads post *and wait for* in this mode, so a
    // worker waiting on the main thread cannot deadlock with the main thread
    // waiting on that worker.
    static constexpr std::string_view kWaitedPerformMode = "murmelo.WaitedPerformMode";
    static constexpr double kDistantFuture = std::numeric_limits<double>::infinity();

    // The calling thread's loop, created on first use.
    static RunLoop& current();
    // The process main thread's loop (created on first use from any thread).
    static RunLoop& main();
    static bool isMainThread();
    // The calling thread's loop if it exists already (the main thread's
    // always does), else null. Never creates one.
    static RunLoop* currentIfAny();
    // Seconds from now as a run date: the `beforeDate` of runMode() and its
    // kin, always on the real monotonic clock (also under a ManualClock).
    static double dateAfter(double seconds);

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    RunLoopHandle handle();
    bool isMain() const { return m_isMain; }

    // Runs `mode` until one source was handled, `beforeDate` (monotonic
    // seconds) passed, stop() was called, or — at once — the mode has no
    // sources. May be called from inside a callback of this loop (nested).
    RunStatus runMode(std::string_view mode, double beforeDate);
    // Runs the default mode until stop(), even while it has no sources.
    void run();
    // Runs the default mode until the date, stop(), or it has no sources.
    RunStatus runUntil(double date);
    // Runs `mode` until `condition` holds (checked before waiting and after
    // every handled source) or the date passes; waits for posted calls even
    // while the mode has no other sources. Returns whether the condition held.
    bool runModeUntil(std::string_view mode, const std::function<bool()>& condition, double beforeDate);
    // The innermost mode being run, or none.
    std::optional<std::string> currentMode() const;

    // From any thread: makes the innermost runMode() (or the next one, when
    // none runs) return Stopped.
    void stop();
    // From any thread; false when the loop's thread has ended.
    bool post(Task task, const RunLoopModes& modes = RunLoopModes(kCommonModes));

    // Runs `task` once after `delay` seconds; the loop owns it (a timer
    // nobody needs to cancel).
    void scheduleAfter(double delay, Task task, const RunLoopModes& modes = RunLoopModes(kDefaultMode));

    // The fire date (Timer::now() seconds) of the next timer that `mode`
    // would fire, or nothing when it has none. Own thread only.
    std::optional<double> nextTimerFireDate(std::string_view mode = kDefaultMode) const;

    void addCommonMode(std::string_view mode);
    bool isCommonMode(std::string_view mode) const;

private:
    friend class Timer;
    friend class FdSource;
    friend class RunLoopHandle;
    friend struct CurrentLoopSlot;
    friend class OperationQueue;
    friend class Thread;
    friend class ManualClock;

    struct PostedCall {
        Task task;
        RunLoopModes modes;
        std::uint64_t sequence = 0;
    };
    enum class WhenEmpty { Return, Wait };
    // What a mode has, seen at the start of one pass of runModeInternal().
    struct Readiness {
        std::shared_ptr<internal::TimerRecord> timer; // the earliest of the mode
        bool hasFdSource = false;
        bool fdReadyWithoutWaiting = false; // unwatchable or failed descriptors
        bool posted = false;
        bool isEmpty() const { return !timer && !hasFdSource && !posted; }
    };

    explicit RunLoop(bool isMain);
    static std::shared_ptr<RunLoop> makeLoop(bool isMain);
    // The worker of an OperationQueue gives each operation a fresh loop:
    // this ends the calling thread's loop; the next current() makes a new one.
    static void endCurrentThreadLoop();

    // Wakes every loop of the process (the timer clock moved).
    static void wakeAll();

    RunStatus runModeInternal(std::string_view mode, double beforeDate, WhenEmpty whenEmpty);
    Readiness readiness(std::string_view mode);
    std::optional<int> waitMilliseconds(const Readiness& ready, double beforeDate) const;
    void waitForEvents(int timeoutMs);
    bool handleOneSource(std::string_view mode);
    bool fireDueTimer(std::string_view mode, double now);
    bool dispatchReadyFd(std::string_view mode);
    std::pair<std::shared_ptr<internal::FdRecord>, FdEvents> chooseReadyFd(std::string_view mode) const;
    bool runPostedBatch(std::string_view mode);
    bool isActive(const RunLoopModes& modes, std::string_view mode) const;
    bool hasPostedCallsFor(std::string_view mode);
    Task takeNextPostedCall(std::string_view mode, std::uint64_t upToSequence);
    std::uint64_t lastPostedSequence() const;
    std::shared_ptr<internal::TimerRecord> earliestTimer(std::string_view mode) const;
    void syncFdWatches(std::string_view mode);
    void applyWatch(int fd, std::uint32_t events);
    void fireTimer(const std::shared_ptr<internal::TimerRecord>& timer, double now);
    void dispatchFd(const std::shared_ptr<internal::FdRecord>& source, std::uint8_t events);
    void wakeUp();
    void drainWakeUp();
    void end();
    bool hasEnded() const { return m_ended.load(std::memory_order_acquire); }
    void assertOnOwnThread() const;

    void addTimer(std::shared_ptr<internal::TimerRecord> timer);
    void removeTimer(const internal::TimerRecord* timer);
    void addFdSource(std::shared_ptr<internal::FdRecord> source);
    void removeFdSource(const internal::FdRecord* source);
    void fdSourceChanged(int fd);

    const bool m_isMain;
    int m_ownerTid = 0; // set when the owning thread adopts the loop
    int m_epoll = -1;
    int m_wakeFd = -1;

    // Own thread only.
    std::vector<std::shared_ptr<internal::TimerRecord>> m_timers;
    std::vector<std::shared_ptr<internal::FdRecord>> m_fdSources;
    std::unordered_map<int, std::uint32_t> m_watched; // what epoll has now
    std::vector<std::string> m_commonModes;
    std::vector<std::string> m_modeStack;
    std::uint64_t m_timerSequence = 0;
    unsigned m_nextKind = 0;                            // rotates timers / fds / posted calls for fairness
    std::vector<std::pair<int, std::uint32_t>> m_ready; // events of the last wait

    // Any thread.
    mutable std::mutex m_inboxMutex;
    std::deque<PostedCall> m_inbox;
    std::uint64_t m_postSequence = 0;
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_wakePending{false};
    std::atomic<bool> m_stopRequested{false};
};

// A weak reference to a loop, safe to keep and use on any thread.
class RunLoopHandle {
public:
    RunLoopHandle() = default;

    // False when the loop's thread has ended (the call is dropped).
    bool post(Task task, const RunLoopModes& modes = RunLoopModes(RunLoop::kCommonModes)) const;
    // False when the loop has ended.
    bool stop() const;
    bool isAlive() const;
    // Whether this names the calling thread's loop.
    bool isCurrent() const;
    bool operator==(const RunLoopHandle& other) const;

private:
    friend class RunLoop;
    explicit RunLoopHandle(std::weak_ptr<RunLoop> loop) : m_loop(std::move(loop)) {}
    std::weak_ptr<RunLoop> m_loop;
};

} // namespace murmelo
