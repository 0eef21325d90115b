// Run loop: timers, modes, posted calls, fd sources, perform-on-thread, Thread.
// Every wait runs a loop or a condition variable with a bound.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/core/WeakPtr.h"
#include "platform/runloop/FdSource.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/Perform.h"
#include "platform/runloop/PostTaskAndReply.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"
#include "platform/runloop/Timer.h"

using namespace murmelo;

namespace {

constexpr double kBound = 5.0; // no test waits longer for anything

bool runMainUntil(const std::function<bool()>& condition, double seconds = kBound) {
    return RunLoop::main().runModeUntil(RunLoop::kDefaultMode, condition, RunLoop::dateAfter(seconds));
}

// Handles what is due on the main loop now, waiting for nothing.
void runDueWork() {
    (void)RunLoop::main().runUntil(Clock::monotonic());
}

// Runs `body` on a fresh std::thread (a fresh run loop) and joins it.
void onFreshThread(const std::function<void()>& body) {
    std::thread thread(body);
    thread.join();
}

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    void closeRead() {
        if (read >= 0) {
            close(read);
            read = -1;
        }
    }
    void closeWrite() {
        if (write >= 0) {
            close(write);
            write = -1;
        }
    }
};

} // namespace

TEST(RunLoopTimer, FiresInDateOrderAndEqualDatesInSchedulingOrder) {
    ManualClock clock;
    std::vector<int> order;
    double base = clock.now();
    struct Planned {
        int id;
        double at;
    };
    const Planned plan[] = {{3, 0.03}, {1, 0.01}, {2, 0.02}, {4, 0.04}, {5, 0.04}};
    std::vector<Timer> timers;
    for (const auto& p : plan) {
        timers.emplace_back(10.0, Timer::Repeats::No, [&order, id = p.id] { order.push_back(id); });
        timers.back().setFireDate(base + p.at);
    }
    clock.advance(0.04);
    ASSERT_TRUE(runMainUntil([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5})) << "4 and 5 share a date: scheduling order";
}

TEST(RunLoopTimer, OneShotAndRepeatingLifecycles) {
    struct Case {
        const char* name;
        Timer::Repeats repeats;
        int awaitFires;
        bool validAfter;
    };
    const Case cases[] = {
        {"one-shot", Timer::Repeats::No, 1, false},
        {"repeating", Timer::Repeats::Yes, 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int fires = 0;
        double start = Clock::monotonic();
        Timer timer(0.01, c.repeats, [&] { ++fires; });
        EXPECT_TRUE(timer.isValid());
        ASSERT_TRUE(runMainUntil([&] { return fires >= c.awaitFires; }));
        EXPECT_GE(Clock::monotonic() - start, 0.01 * c.awaitFires - 0.001);
        EXPECT_EQ(timer.isValid(), c.validAfter);
        int seen = fires;
        (void)RunLoop::main().runUntil(RunLoop::dateAfter(0.05));
        if (c.repeats == Timer::Repeats::No) {
            EXPECT_EQ(fires, seen); // never again
        } else {
            EXPECT_GT(fires, seen);
        }
    }
}

TEST(RunLoopTimer, InvalidationInEveryForm) {
    ManualClock clock;
    int neverFired = 0;
    {
        Timer invalidated(0.01, Timer::Repeats::No, [&] { ++neverFired; });
        invalidated.invalidate();
        EXPECT_FALSE(invalidated.isValid());
        invalidated.invalidate(); // twice is harmless
    }
    {
        Timer dropped(0.01, Timer::Repeats::Yes, [&] { ++neverFired; });
    } // destruction unregisters

    int selfStopped = 0;
    Timer stopsItself;
    stopsItself = Timer(0.005, Timer::Repeats::Yes, [&] {
        if (++selfStopped == 2) {
            stopsItself.invalidate();
        }
    });

    auto destroyedInCallback = std::make_unique<Timer>();
    bool destroyedRan = false;
    *destroyedInCallback = Timer(0.005, Timer::Repeats::Yes, [&] {
        destroyedRan = true;
        destroyedInCallback.reset(); // the record must outlive its own callback
    });

    for (int step = 0; step < 4; ++step) {
        clock.advance(0.005);
        runDueWork();
    }
    EXPECT_EQ(neverFired, 0);
    EXPECT_EQ(selfStopped, 2);
    EXPECT_FALSE(stopsItself.isValid());
    EXPECT_TRUE(destroyedRan);
    EXPECT_EQ(destroyedInCallback, nullptr);
}

TEST(RunLoopTimer, ALateRepeatingTimerFiresOnceAndReschedulesFromNow) {
    ManualClock clock;
    int fires = 0;
    Timer timer(30.0, Timer::Repeats::Yes, [&] { ++fires; });
    timer.setFireDate(clock.now() - 300.0); // ten periods behind
    EXPECT_EQ(RunLoop::main().runMode(RunLoop::kDefaultMode, RunLoop::dateAfter(kBound)),
              RunStatus::HandledSource);
    EXPECT_EQ(fires, 1);
    EXPECT_EQ(timer.fireDate(), clock.now() + 30.0) << "continues one interval from now";
    EXPECT_EQ(RunLoop::main().runMode(RunLoop::kDefaultMode, Clock::monotonic()), RunStatus::TimedOut)
        << "no burst of missed ticks";
    EXPECT_EQ(fires, 1);
}

TEST(RunLoopModes, SourcesFireOnlyInTheirModes) {
    struct Case {
        const char* name;
        const char* timerMode;
        const char* runMode;
        bool markCommon;
        bool fires;
    };
    const std::string privateMode = "murmelo.test.private";
    ManualClock clock;
    const Case cases[] = {
        {"default in default", "kCFRunLoopDefaultMode", "kCFRunLoopDefaultMode", false, true},
        {"private in default", "murmelo.test.private", "kCFRunLoopDefaultMode", false, false},
        {"private in private", "murmelo.test.private", "murmelo.test.private", false, true},
        {"default in private", "kCFRunLoopDefaultMode", "murmelo.test.private", false, false},
        {"common in default", "kCFRunLoopCommonModes", "kCFRunLoopDefaultMode", false, true},
        {"common in non-common private", "kCFRunLoopCommonModes", "murmelo.test.private", false, false},
        {"common in private made common", "kCFRunLoopCommonModes", "murmelo.test.private", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        onFreshThread([&] {
            RunLoop& loop = RunLoop::current();
            if (c.markCommon) {
                loop.addCommonMode(privateMode);
            }
            bool fired = false;
            Timer timer(
                0.01, Timer::Repeats::No, [&] { fired = true; }, c.timerMode);
            // Keeps every mode non-empty so runMode waits out its date.
            Timer keepAlive(
                10, Timer::Repeats::No, [] {}, RunLoopModes{std::string(RunLoop::kDefaultMode), privateMode});
            clock.advance(0.01);
            // A timer of another mode is never due in this one: no need to wait for it.
            (void)loop.runModeUntil(
                c.runMode, [&] { return fired; }, c.fires ? RunLoop::dateAfter(kBound) : Clock::monotonic());
            EXPECT_EQ(fired, c.fires);
        });
    }
}

TEST(RunLoopStatus, RunModeReportsWhyItReturned) {
    onFreshThread([] {
        RunLoop& loop = RunLoop::current();
        EXPECT_EQ(loop.runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture), RunStatus::Finished);

        int fires = 0;
        Timer a(0.0, Timer::Repeats::No, [&] { ++fires; });
        Timer b(0.0, Timer::Repeats::No, [&] { ++fires; });
        EXPECT_EQ(loop.runMode(RunLoop::kDefaultMode, RunLoop::dateAfter(kBound)), RunStatus::HandledSource);
        EXPECT_EQ(fires, 1); // one source per call
        EXPECT_EQ(loop.runMode(RunLoop::kDefaultMode, RunLoop::dateAfter(kBound)), RunStatus::HandledSource);
        EXPECT_EQ(fires, 2);

        Timer far(100, Timer::Repeats::No, [] {});
        double start = Clock::monotonic();
        EXPECT_EQ(loop.runMode(RunLoop::kDefaultMode, RunLoop::dateAfter(0.03)), RunStatus::TimedOut);
        EXPECT_GE(Clock::monotonic() - start, 0.03);

        loop.stop(); // a stop before the run ends the next run
        EXPECT_EQ(loop.runMode(RunLoop::kDefaultMode, RunLoop::dateAfter(kBound)), RunStatus::Stopped);

        EXPECT_TRUE(loop.post([] {}));
        EXPECT_EQ(loop.runMode("murmelo.test.other", RunLoop::kDistantFuture), RunStatus::Finished)
            << "a call posted for common modes is no source of a private mode";
        EXPECT_EQ(loop.runMode(RunLoop::kDefaultMode, RunLoop::dateAfter(kBound)), RunStatus::HandledSource);
    });
}

TEST(RunLoopStatus, StopFromAnotherThreadEndsRun) {
    RunLoopHandle handle;
    std::atomic<bool> returned{false};
    std::mutex m;
    std::condition_variable ready;
    std::thread runner([&] {
        {
            std::lock_guard lock(m);
            handle = RunLoop::current().handle();
        }
        ready.notify_all();
        RunLoop::current().run(); // no sources at all: still waits for stop()
        returned = true;
    });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(ready.wait_for(lock, std::chrono::seconds(5), [&] { return handle.isAlive(); }));
    }
    EXPECT_TRUE(handle.stop());
    runner.join();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(handle.isAlive());
    EXPECT_FALSE(handle.stop());
}

TEST(RunLoopPost, CallsFromManyThreadsAllRunInOrderPerPoster) {
    constexpr int kThreads = 4;
    constexpr int kCalls = 250;
    std::map<int, std::vector<int>> seen; // touched on the main thread only
    int total = 0;
    std::vector<std::thread> posters;
    RunLoopHandle main = RunLoop::main().handle();
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                EXPECT_TRUE(main.post([&, t, i] {
                    EXPECT_TRUE(RunLoop::isMainThread());
                    seen[t].push_back(i);
                    ++total;
                }));
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    ASSERT_TRUE(runMainUntil([&] { return total == kThreads * kCalls; }));
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(kCalls));
        for (int i = 0; i < kCalls; ++i) {
            ASSERT_EQ(seen[t][i], i) << "poster " << t;
        }
    }
}

TEST(RunLoopPost, NestedRunKeepsPostingOrderAndModes) {
    std::vector<std::string> order;
    RunLoop& main = RunLoop::main();
    const std::string privateMode = "murmelo.test.nested";
    ASSERT_TRUE(main.post([&] {
        order.push_back("A");
        (void)main.post([&] { order.push_back("C"); });
        // B and D were posted before C: the nested run must not let C overtake them.
        (void)main.runModeUntil(
            RunLoop::kDefaultMode, [&] { return order.back() == "C"; }, RunLoop::dateAfter(kBound));
        // A private-mode run sees only calls posted for that mode.
        (void)main.runModeUntil(
            privateMode, [&] { return order.back() == "P"; }, RunLoop::dateAfter(kBound));
    }));
    ASSERT_TRUE(main.post([&] { order.push_back("B"); }));
    ASSERT_TRUE(main.post([&] { order.push_back("D"); }));
    ASSERT_TRUE(main.post([&] { order.push_back("P"); }, privateMode));
    ASSERT_TRUE(runMainUntil([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B", "D", "C", "P"}));
}

TEST(RunLoopPost, ScheduleAfterRunsOnceAfterTheDelay) {
    ManualClock clock;
    int runs = 0;
    RunLoop::main().scheduleAfter(0.05, [&] { ++runs; });
    clock.advance(0.049);
    runDueWork();
    EXPECT_EQ(runs, 0) << "ran early";
    clock.advance(0.001);
    ASSERT_TRUE(runMainUntil([&] { return runs == 1; }));
    clock.advance(1.0);
    runDueWork();
    EXPECT_EQ(runs, 1);
}

TEST(RunLoopManualClock, ATimerFiresWhenStepsAddUpToItsDelayAtAnyUptime) {
    ManualClock clock;
    // Seconds since boot of 9 to 18 hours round at 7e-12 s: there the sum of
    // 0.049 and 0.001 falls a hair short of 0.05 after the addition.
    if (Timer::now() < 40000) {
        clock.advance(40000 - Timer::now());
    }
    for (int step = 0; step < 20; ++step) {
        SCOPED_TRACE(step);
        clock.advance(0.37);
        int runs = 0;
        Timer timer(0.05, Timer::Repeats::No, [&] { ++runs; });
        clock.advance(0.049);
        clock.advance(0.001);
        runDueWork();
        ASSERT_EQ(runs, 1);
    }
}

TEST(RunLoopPost, DeadLoopsRefuseCallsAndDropPendingOnes) {
    RunLoopHandle handle;
    auto witness = std::make_shared<int>(0);
    std::weak_ptr<int> watch = witness;
    onFreshThread([&] {
        handle = RunLoop::current().handle();
        EXPECT_TRUE(handle.isAlive());
        EXPECT_TRUE(handle.isCurrent());
        // Posted, never run: ending the thread must release it.
        EXPECT_TRUE(handle.post([w = std::move(witness)] { ++*w; }));
    });
    EXPECT_FALSE(handle.isAlive());
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(handle.post([] { ADD_FAILURE() << "ran on a dead loop"; }));
    auto performed = performOnThread(
        handle, [] {}, WaitUntilDone::Yes, RunLoop::kCommonModes, 1.0);
    ASSERT_FALSE(performed.ok());
    EXPECT_FALSE(RunLoopHandle().post([] {}));
}

TEST(RunLoopFdSource, PipeReadWriteHangupAndInterest) {
    Pipe p;
    ASSERT_GE(p.read, 0);
    std::vector<FdEvents> readerEvents;
    std::string received;
    FdSource reader(p.read, FdEvents::Readable, [&](FdEvents events) {
        readerEvents.push_back(events);
        char buffer[64];
        ssize_t n = read(p.read, buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, static_cast<size_t>(n));
        }
    });
    int writable = 0;
    FdSource writer(p.write, FdEvents::Writable, [&](FdEvents events) {
        EXPECT_TRUE(any(events & FdEvents::Writable));
        ++writable;
        (void)!::write(p.write, "hi", 2);
        writer.setInterest(FdEvents::None); // one write is enough
    });
    ASSERT_TRUE(runMainUntil([&] { return received == "hi"; }));
    EXPECT_EQ(writable, 1);
    EXPECT_EQ(writer.interest(), FdEvents::None);
    ASSERT_FALSE(readerEvents.empty());
    EXPECT_EQ(readerEvents.back(), FdEvents::Readable);

    reader.setInterest(FdEvents::None);
    (void)!::write(p.write, "x", 1);
    size_t before = readerEvents.size();
    (void)RunLoop::main().runUntil(RunLoop::dateAfter(0.03));
    EXPECT_EQ(readerEvents.size(), before) << "no interest, no callbacks";

    reader.setInterest(FdEvents::Readable);
    writer.invalidate();
    p.closeWrite(); // the reader now sees the last byte, then the hangup
    ASSERT_TRUE(runMainUntil([&] { return any(readerEvents.back() & FdEvents::Hangup); }));
    EXPECT_EQ(received, "hix");
}

TEST(RunLoopFdSource, CallbackIsNotReenteredByANestedRun) {
    Pipe p;
    ASSERT_TRUE(::write(p.write, "z", 1) == 1);
    int calls = 0;
    RunStatus nested = RunStatus::Finished;
    double nestedTook = 0;
    FdSource source(p.read, FdEvents::Readable, [&](FdEvents) {
        ++calls;
        double start = Clock::monotonic();
        // Still readable, but this source is busy: the nested run must wait
        // out its date rather than spin or call us again.
        nested = RunLoop::current().runMode(RunLoop::kDefaultMode, RunLoop::dateAfter(0.03));
        nestedTook = Clock::monotonic() - start;
        char c;
        (void)!read(p.read, &c, 1);
    });
    ASSERT_TRUE(runMainUntil([&] { return calls == 1 && nestedTook > 0; }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(nested, RunStatus::TimedOut);
    EXPECT_GE(nestedTook, 0.03);
}

TEST(RunLoopFdSource, UnwatchableDescriptorsAreReportedNotSpun) {
    // A regular file cannot be watched by epoll; it is always ready.
    char path[] = "/tmp/murmelo-runloop-XXXXXX";
    int file = mkstemp(path);
    ASSERT_GE(file, 0);
    unlink(path);
    int fileEvents = 0;
    FdSource fileSource(file, FdEvents::Readable, [&](FdEvents e) {
        EXPECT_EQ(e, FdEvents::Readable);
        ++fileEvents;
    });
    ASSERT_TRUE(runMainUntil([&] { return fileEvents >= 2; }));
    fileSource.invalidate();
    close(file);

    // A closed descriptor is reported once as an error, then dropped.
    LogCapture log;
    Pipe p;
    int closedFd = p.read;
    p.closeRead();
    std::vector<FdEvents> events;
    FdSource broken(closedFd, FdEvents::Readable, [&](FdEvents e) { events.push_back(e); });
    ASSERT_TRUE(runMainUntil([&] { return !events.empty(); }));
    (void)RunLoop::main().runUntil(RunLoop::dateAfter(0.02));
    EXPECT_EQ(events, std::vector<FdEvents>{FdEvents::Error});
    EXPECT_FALSE(broken.isValid());
    EXPECT_TRUE(log.contains("cannot watch descriptor"));
}

TEST(RunLoopPerform, MainThreadInlineAndPosted) {
    bool ran = false;
    ASSERT_TRUE(performOnMainThread([&] { ran = true; }, WaitUntilDone::Yes).ok());
    EXPECT_TRUE(ran) << "waiting on the main thread from the main thread runs inline";

    ran = false;
    ASSERT_TRUE(performOnMainThread([&] { ran = true; }, WaitUntilDone::No).ok());
    EXPECT_FALSE(ran) << "posting never runs synchronously";
    ASSERT_TRUE(runMainUntil([&] { return ran; }));
}

TEST(RunLoopPerform, WorkerWaitsUntilTheMainThreadRanTheCall) {
    std::atomic<bool> onMain{false};
    std::atomic<int> step{0};
    bool workerDone = false;
    std::mutex m;
    std::thread worker([&] {
        auto done = performOnMainThread(
            [&] {
                onMain = RunLoop::isMainThread();
                step = 1;
            },
            WaitUntilDone::Yes, RunLoop::kCommonModes, kBound);
        EXPECT_TRUE(done.ok());
        EXPECT_EQ(step.load(), 1) << "returned before the call ran";
        {
            std::lock_guard lock(m);
            workerDone = true;
        }
        (void)RunLoop::main().handle().post([] {}); // wake the main loop to look again
    });
    bool finished = runMainUntil([&] {
        std::lock_guard lock(m);
        return workerDone;
    });
    worker.join();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(onMain);
}

TEST(RunLoopPerform, WaitingOnALoopThatNeverRunsTimesOut) {
    Thread idle("idle");
    ASSERT_TRUE(idle.start().ok());
    // Keep the thread busy so its loop cannot serve the call.
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    ASSERT_TRUE(idle.post([&] {
        std::unique_lock lock(m);
        cv.wait_for(lock, std::chrono::seconds(5), [&] { return release; });
    }));
    double start = Clock::monotonic();
    auto result = performOnThread(
        idle.runLoop(), [] {}, WaitUntilDone::Yes, RunLoop::kCommonModes, 0.05);
    EXPECT_FALSE(result.ok());
    EXPECT_GE(Clock::monotonic() - start, 0.05);
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    EXPECT_TRUE(idle.stopAndJoin(kBound).ok());
}

TEST(RunLoopThread, RunsPostedWorkOnItsOwnLoopUntilStopped) {
    ManualClock clock;
    Thread thread("worker");
    EXPECT_FALSE(thread.runLoop().isAlive());
    ASSERT_TRUE(thread.start().ok());
    EXPECT_FALSE(thread.start().ok()) << "a second start is refused";
    EXPECT_TRUE(thread.isRunning());

    std::atomic<int> timerFires{0};
    std::atomic<bool> offMain{false};
    std::atomic<bool> sameLoop{false};
    RunLoopHandle loop = thread.runLoop();
    auto timer = std::make_shared<Timer>();
    auto done = performOnThread(
        loop,
        [&, timer] {
            offMain = !RunLoop::isMainThread();
            sameLoop = loop.isCurrent();
            *timer = Timer(0.005, Timer::Repeats::Yes, [&] {
                ++timerFires;
                (void)RunLoop::main().handle().post([] {}); // let the main loop look
            });
        },
        WaitUntilDone::Yes, RunLoop::kCommonModes, kBound);
    ASSERT_TRUE(done.ok());
    EXPECT_TRUE(offMain);
    EXPECT_TRUE(sameLoop);
    // Timers on the thread's loop tick while it runs; advancing wakes it.
    clock.advance(0.005);
    ASSERT_TRUE(runMainUntil([&] { return timerFires >= 1; }));
    clock.advance(0.005);
    ASSERT_TRUE(runMainUntil([&] { return timerFires >= 2; }));
    ASSERT_TRUE(performOnThread(
                    loop, [timer] { timer->invalidate(); }, WaitUntilDone::Yes)
                    .ok());

    ASSERT_TRUE(thread.stopAndJoin(kBound).ok());
    EXPECT_FALSE(thread.isRunning());
    EXPECT_FALSE(thread.post([] {}));
}

namespace {
double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
} // namespace

TEST(RunLoopModes, AReadyDescriptorOfAnotherModeNeitherFiresNorSpins) {
    Pipe p;
    ASSERT_EQ(::write(p.write, "q", 1), 1);
    const std::string privateMode = "ASIHTTPRequest";
    int calls = 0;
    std::optional<std::string> modeSeen;
    FdSource source(
        p.read, FdEvents::Readable,
        [&](FdEvents) {
            ++calls;
            modeSeen = RunLoop::current().currentMode();
            char c;
            (void)!read(p.read, &c, 1);
        },
        privateMode);
    // Running the default mode for a while: the readable pipe belongs to
    // another mode, so this must sleep, not busy-wait.
    double cpuBefore = threadCpuSeconds();
    double wallBefore = Clock::monotonic();
    EXPECT_FALSE(RunLoop::main().runModeUntil(
        RunLoop::kDefaultMode, [&] { return calls > 0; }, RunLoop::dateAfter(0.1)));
    EXPECT_GE(Clock::monotonic() - wallBefore, 0.1);
    EXPECT_LT(threadCpuSeconds() - cpuBefore, 0.02) << "the loop spun while waiting";
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(RunLoop::main().runMode(privateMode, RunLoop::dateAfter(kBound)), RunStatus::HandledSource);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(modeSeen, privateMode);
    EXPECT_FALSE(RunLoop::main().currentMode().has_value());
}

TEST(RunLoopModes, AWaitingTimedLoopDoesNotSpin) {
    // A far timer and nothing else: the wait is one long sleep.
    onFreshThread([] {
        Timer far(10, Timer::Repeats::No, [] {});
        double cpuBefore = threadCpuSeconds();
        EXPECT_EQ(RunLoop::current().runMode(RunLoop::kDefaultMode, RunLoop::dateAfter(0.1)),
                  RunStatus::TimedOut);
        EXPECT_LT(threadCpuSeconds() - cpuBefore, 0.02);
    });
}

TEST(RunLoopManualClock, TimersFireExactlyWhenTheClockReachesThem) {
    struct Case {
        const char* name;
        Timer::Repeats repeats;
        std::vector<double> advances; // seconds, one runDueWork() after each
        std::vector<int> firesAfter;  // total fires after each advance
    };
    const Case cases[] = {
        {"one-shot", Timer::Repeats::No, {0.999, 0.001, 100.0}, {0, 1, 1}},
        {"repeating", Timer::Repeats::Yes, {1.0, 0.5, 0.5, 1.0}, {1, 1, 2, 3}},
        {"repeating, far behind: once, no burst", Timer::Repeats::Yes, {5.5, 0.999, 0.001}, {1, 1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        int fires = 0;
        Timer timer(1.0, c.repeats, [&] { ++fires; });
        for (size_t i = 0; i < c.advances.size(); ++i) {
            clock.advance(c.advances[i]);
            runDueWork();
            EXPECT_EQ(fires, c.firesAfter[i]) << "after advance " << i;
        }
    }
}

TEST(RunLoopManualClock, ALoopNeverSleepsForAManualTimerAndAdvanceWakesIt) {
    ManualClock clock;
    std::atomic<bool> fired{false};
    std::atomic<double> waitedFor{0};
    RunLoopHandle worker;
    std::mutex m;
    std::condition_variable ready;
    std::thread thread([&] {
        Timer hourly(3600.0, Timer::Repeats::No, [&] { fired = true; });
        {
            std::lock_guard lock(m);
            worker = RunLoop::current().handle();
        }
        ready.notify_all();
        double start = Clock::monotonic();
        (void)RunLoop::current().runModeUntil(
            RunLoop::kDefaultMode, [&] { return fired.load(); }, RunLoop::dateAfter(kBound));
        waitedFor = Clock::monotonic() - start;
    });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(ready.wait_for(lock, std::chrono::seconds(5), [&] { return worker.isAlive(); }));
    }
    clock.advance(3600.0);
    thread.join();
    EXPECT_TRUE(fired);
    EXPECT_LT(waitedFor.load(), kBound / 2) << "the blocked loop was not woken by advance()";

    // With no advance, a manual timer that is due in real time stays silent.
    bool early = false;
    Timer soon(0.01, Timer::Repeats::No, [&] { early = true; });
    EXPECT_EQ(RunLoop::main().runUntil(RunLoop::dateAfter(0.05)), RunStatus::TimedOut);
    EXPECT_FALSE(early);
}

TEST(RunLoopManualClock, RunDatesStayRealAndDestroyingTheClockRestoresTheOneBefore) {
    {
        ManualClock outer;
        outer.advance(1000.0);
        double outerTime = Timer::now();
        EXPECT_GE(outerTime - Clock::monotonic(), 999.0);
        {
            ManualClock inner;
            inner.advance(5.0);
            EXPECT_EQ(Timer::now(), inner.now());
        }
        EXPECT_EQ(Timer::now(), outerTime);

        Timer far(10.0, Timer::Repeats::No, [] {});
        double start = Clock::monotonic();
        EXPECT_EQ(RunLoop::main().runUntil(RunLoop::dateAfter(0.03)), RunStatus::TimedOut);
        EXPECT_GE(Clock::monotonic() - start, 0.03) << "the run date is on the real clock";
    }
    EXPECT_LT(std::abs(Timer::now() - Clock::monotonic()), 1.0);
}

namespace {
class Receiver {
public:
    std::vector<int> replies;
    std::thread::id replyThread;
    WeakPtr<Receiver> weakPtr() { return m_weak.weakPtr(); }

private:
    WeakFactory<Receiver> m_weak{this};
};
} // namespace

TEST(RunLoopPostTaskAndReply, TheReplyComesBackToTheCallerWhileItsReceiverLives) {
    struct Case {
        const char* name;
        bool receiverSurvives;
        int expectedReplies;
    };
    const Case cases[] = {
        {"receiver alive", true, 1},
        {"receiver destroyed before the reply", false, 0},
    };
    Thread worker("worker");
    ASSERT_TRUE(worker.start().ok());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto receiver = std::make_unique<Receiver>();
        int replies = 0;
        std::atomic<bool> taskOnWorker{false};
        ASSERT_TRUE(postTaskAndReply(
            worker.runLoop(),
            [&] {
                taskOnWorker = worker.runLoop().isCurrent();
                return 42;
            },
            receiver->weakPtr(),
            [&replies](Receiver& self, int value) {
                ++replies;
                self.replies.push_back(value);
                self.replyThread = std::this_thread::get_id();
            }));
        EXPECT_EQ(replies, 0) << "never synchronous";
        if (!c.receiverSurvives) {
            receiver.reset();
        }
        // Replies come back in posting order: once this one is in, the first was handled.
        Receiver sentinel;
        ASSERT_TRUE(postTaskAndReply(
            worker.runLoop(), [] {}, sentinel.weakPtr(), [](Receiver& self) { self.replies.push_back(0); }));
        ASSERT_TRUE(runMainUntil([&] { return !sentinel.replies.empty(); }));
        EXPECT_TRUE(taskOnWorker);
        EXPECT_EQ(replies, c.expectedReplies);
        if (receiver) {
            EXPECT_EQ(receiver->replies, std::vector<int>{42});
            EXPECT_EQ(receiver->replyThread, std::this_thread::get_id());
        }
    }
    ASSERT_TRUE(worker.stopAndJoin(kBound).ok());

    Receiver orphan;
    EXPECT_FALSE(postTaskAndReply(
        worker.runLoop(), [] {}, orphan.weakPtr(),
        [](Receiver&) { ADD_FAILURE() << "ran for an ended loop"; }))
        << "an ended target refuses the task";
}

TEST(RunLoopPostTaskAndReply, VoidTasksReplyInPostingOrderEvenOnTheCallersOwnLoop) {
    Receiver receiver;
    std::vector<std::string> order;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(postTaskAndReply(
            RunLoop::main().handle(), [&order, i] { order.push_back("task" + std::to_string(i)); },
            receiver.weakPtr(), [i](Receiver& self) { self.replies.push_back(i); }));
    }
    EXPECT_TRUE(order.empty()) << "never synchronous, not even on the caller's loop";
    ASSERT_TRUE(runMainUntil([&] { return receiver.replies.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"task0", "task1", "task2"}));
    EXPECT_EQ(receiver.replies, (std::vector<int>{0, 1, 2}));
}

TEST(RunLoopModesValue, OneNameSeveralOrNone) {
    struct Case {
        const char* label;
        RunLoopModes modes;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"one short name", RunLoopModes("Mode"), {"Mode"}},
        {"one long name", RunLoopModes(std::string(40, 'm')), {std::string(40, 'm')}},
        {"a list of one", RunLoopModes({"A"}), {"A"}},
        {"a list of three", RunLoopModes({"A", "B", "C"}), {"A", "B", "C"}},
        {"none", RunLoopModes(std::vector<std::string>{}), {}},
        {"one added to one", RunLoopModes("A").adding("B"), {"A", "B"}},
        {"one added to none", RunLoopModes(std::vector<std::string>{}).adding("B"), {"B"}},
        {"a name already there", RunLoopModes({"A", "B"}).adding("A"), {"A", "B"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const RunLoopModes copy = c.modes; // copies keep the names
        for (const RunLoopModes* modes : {&c.modes, &copy}) {
            EXPECT_EQ(std::vector<std::string>(modes->names().begin(), modes->names().end()), c.expected);
            EXPECT_EQ(modes->empty(), c.expected.empty());
            for (const auto& name : c.expected) {
                EXPECT_TRUE(modes->contains(name));
            }
            EXPECT_FALSE(modes->contains("Z"));
        }
    }
}

TEST(UniqueFunctionStorage, SmallAndLargeClosuresAreCalledMovedAndDestroyedOnce) {
    int calls = 0;
    auto destroyed = std::make_shared<int>(0);
    struct Counted { // not trivially copyable: kept on the heap
        std::shared_ptr<int> destroyed;
        ~Counted() {
            if (destroyed) {
                ++*destroyed;
            }
        }
        Counted(std::shared_ptr<int> d) : destroyed(std::move(d)) {}
        Counted(Counted&& other) noexcept : destroyed(std::move(other.destroyed)) {}
    };
    std::vector<UniqueFunction<int(int)>> functions;
    functions.emplace_back([&calls](int x) { return ++calls, x + 1; }); // inline
    functions.emplace_back(
        [&calls, big = std::array<int, 16>{}](int x) { return ++calls, x + 2 + big[0]; }); // heap
    functions.emplace_back([&calls, owned = std::make_unique<int>(3)](int x) { return ++calls, x + *owned; });
    functions.emplace_back([&calls, counted = Counted(destroyed)](int x) { return ++calls, x + 4; });
    functions.reserve(64); // every closure is moved
    for (std::size_t i = 0; i < functions.size(); ++i) {
        UniqueFunction<int(int)> moved = std::move(functions[i]);
        EXPECT_FALSE(functions[i]);
        ASSERT_TRUE(moved);
        EXPECT_EQ(moved(10), 10 + static_cast<int>(i) + 1) << i;
        functions[i] = std::move(moved);
    }
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(*destroyed, 0);
    functions[3] = nullptr;
    EXPECT_EQ(*destroyed, 1);
    functions.clear();
    EXPECT_EQ(*destroyed, 1);
}
