// OVOperation and OVOperationManager: the background-operation behaviour the
// app relies on. Tests run the main run loop (bounded) to receive finish calls.
#include <gtest/gtest.h>

#include <any>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/base/OVOperation.h"
#include "app/base/OVOperationManager.h"
#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/Perform.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Timer.h"
#include "tests/support/concurrency.h"

using namespace murmelo;

namespace {

constexpr double kBound = test::kWaitBound;
using test::Gate;
using test::Reaper;
using Probe = test::EventLog;

// The finish "protocol": a target responds when it is one of these.
class FinishReceiver {
public:
    virtual ~FinishReceiver() = default;
    virtual void didFinish(std::any result) = 0;
};

class Worker : public FinishReceiver {
public:
    explicit Worker(Probe& probe, Gate* gate = nullptr) : m_probe(probe), m_gate(gate) {}

    std::string work() {
        m_probe.add("work");
        if (m_gate) {
            EXPECT_TRUE(m_gate->waitOpen());
        }
        return "result";
    }
    void nothing() { m_probe.add("work"); }
    // Notes the timer clock's time of each run.
    void stamped() {
        {
            std::lock_guard lock(m_stampsMutex);
            m_stamps.push_back(Timer::now());
        }
        m_probe.add("work");
    }
    std::vector<double> stamps() const {
        std::lock_guard lock(m_stampsMutex);
        return m_stamps;
    }
    std::string three(std::string first, int second, std::shared_ptr<int> third) {
        m_probe.add("three " + first + " " + std::to_string(second) + " " +
                    std::to_string(third ? *third : -1));
        return first;
    }
    void waitsOnMain() {
        m_probe.add("work");
        auto waited = performOnMainThread([this] { m_probe.add("served on main"); }, WaitUntilDone::Yes,
                                          RunLoop::kCommonModes, kBound);
        EXPECT_TRUE(waited.ok());
    }
    void didFinish(std::any result) override {
        auto* text = std::any_cast<std::string>(&result);
        finishOnMain = RunLoop::isMainThread();
        m_probe.add("finish " + (text ? *text : std::string(result.has_value() ? "?" : "none")));
    }
    void finishOptional(std::optional<std::string> result) {
        m_probe.add("optional " + result.value_or("none"));
    }
    void finishPointer(std::shared_ptr<int> result) { m_probe.add(result ? "pointer set" : "pointer null"); }

    std::atomic<bool> finishOnMain{false};

private:
    Probe& m_probe;
    Gate* m_gate;
    mutable std::mutex m_stampsMutex;
    std::vector<double> m_stamps;
};

// Polymorphic but not a FinishReceiver: it does not respond to didFinish.
class Bystander {
public:
    explicit Bystander(Probe& probe) : m_probe(probe) {}
    virtual ~Bystander() = default;
    int work() {
        m_probe.add("work");
        return 7;
    }

private:
    Probe& m_probe;
};

OVOperationManager& manager() {
    return OVOperationManager::sharedOperationManager();
}

// Timer-clock seconds are large numbers, so `(start + interval) - start` can
// come out an ulp short of `interval`; comparisons of elapsed time allow that.
constexpr double kRounding = 1e-9;

bool runMainUntil(const std::function<bool()>& condition, double seconds = kBound) {
    return RunLoop::main().runModeUntil(RunLoop::kDefaultMode, condition, RunLoop::dateAfter(seconds));
}

// Moves `clock` in steps of `step` until the probe holds `runs` runs; false
// when the bound passed first. A worker arms its timer at some moment after
// the operation was added, so time moves in steps rather than in one jump.
bool advanceUntilRuns(ManualClock& clock, double step, Probe& probe, size_t runs) {
    const double deadline = Clock::monotonic() + kBound;
    while (probe.count("work") < runs) {
        if (Clock::monotonic() > deadline) {
            return false;
        }
        clock.advance(step);
        (void)probe.waitFor([&](const auto& e) { return e.size() >= runs; }, 0.001);
    }
    return true;
}

// Each test gets a fresh queue of three on the one manager.
class OVOperationTest : public ::testing::Test {
protected:
    void SetUp() override { manager().setOperationQueue(std::make_shared<OperationQueue>(3, "test")); }
    void TearDown() override {
        Reaper reaper(20);
        manager().cancelAllOperations();
        manager().setOperationQueue(std::make_shared<OperationQueue>(3, "test"));
    }
};

} // namespace

TEST_F(OVOperationTest, CancelledBeforeStartNeverRunsTheWorkAndEndsFinished) {
    struct Case {
        const char* name;
        double timeInterval;
        bool repeats;
    };
    const Case cases[] = {{"immediate", 0, false}, {"delayed", 0.2, false}, {"repeating", 0.05, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Probe probe;
        Worker worker(probe);
        auto op =
            OVOperation::operationWithTarget(&worker, nullptr, &Worker::work, c.timeInterval, c.repeats);
        manager().setSuspended(true);
        manager().addOperation(op);
        op->cancel();
        ASSERT_TRUE(op->waitUntilFinished(kBound));
        EXPECT_TRUE(op->awIsFinished());
        EXPECT_EQ(probe.count("work"), 0u);
        manager().setSuspended(false);
    }
}

TEST_F(OVOperationTest, TimingOfImmediateDelayedAndRepeatingWork) {
    enum class Time { Real, Manual };
    struct Case {
        const char* name;
        double timeInterval;
        Time time;
        double atLeast; // after adding, on the clock the case runs on
        double below;   // real seconds; unchecked under a manual clock
    };
    const Case cases[] = {
        {"interval 0 runs once at once", 0, Time::Real, 0, 1.0},
        {"below 0.0001 counts as 0", 0.00005, Time::Real, 0, 1.0},
        {"interval 0.05 runs once after it in real time", 0.05, Time::Real, 0.05, 2.0},
        {"interval 0.2 runs once when the timer clock reached it", 0.2, Time::Manual, 0.2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<ManualClock> clock;
        if (c.time == Time::Manual) {
            clock.emplace();
        }
        Probe probe;
        Worker worker(probe);
        auto op = OVOperation::operationWithTarget(&worker, nullptr, &Worker::stamped, c.timeInterval, false);
        const double start = Timer::now();
        manager().addOperation(op);
        if (clock) {
            ASSERT_TRUE(advanceUntilRuns(*clock, 0.01, probe, 1));
        } else {
            ASSERT_TRUE(probe.waitFor([](const auto& e) { return !e.empty(); }));
            EXPECT_LT(Timer::now() - start, c.below);
        }
        ASSERT_TRUE(op->waitUntilFinished(kBound));
        ASSERT_EQ(worker.stamps().size(), 1u);
        EXPECT_GE(worker.stamps()[0] - start, c.atLeast - kRounding);
        if (clock) {
            clock->advance(10 * c.timeInterval);
        }
        (void)RunLoop::main().runUntil(Clock::monotonic());
        EXPECT_EQ(probe.count("work"), 1u);
        EXPECT_TRUE(op->awIsFinished());
    }
}

TEST_F(OVOperationTest, RepeatingWorkRunsUntilCancelledAndEndsAtItsNextTick) {
    // Short period: the worker first waits one period in real time.
    constexpr double kPeriod = 0.02;
    ManualClock clock;
    Probe probe;
    Worker worker(probe);
    auto op = OVOperation::operationWithTarget(&worker, nullptr, &Worker::stamped, kPeriod, true);
    const double start = clock.now();
    manager().addOperation(op);
    ASSERT_TRUE(advanceUntilRuns(clock, kPeriod / 4, probe, 3));
    EXPECT_FALSE(op->awIsFinished());
    EXPECT_TRUE(op->isExecuting());
    const std::vector<double> stamps = worker.stamps();
    ASSERT_GE(stamps.size(), 3u);
    EXPECT_GE(stamps[0] - start, kPeriod - kRounding);
    EXPECT_LE(static_cast<double>(stamps.size()), (clock.now() - start) / kPeriod + 1e-9)
        << "at most one run per period";
    op->cancel();
    clock.advance(kPeriod); // reaches the next tick, wherever the last one fell
    ASSERT_TRUE(op->waitUntilFinished(kBound)) << "ends at the next tick";
    EXPECT_TRUE(op->awIsFinished());
    size_t runs = probe.count("work");
    clock.advance(10 * kPeriod);
    (void)RunLoop::main().runUntil(Clock::monotonic());
    EXPECT_EQ(probe.count("work"), runs);
}

TEST_F(OVOperationTest, FinishCallGoesToTheMainThreadOrStaysOnTheWorker) {
    for (bool onMain : {true, false}) {
        SCOPED_TRACE(onMain ? "main thread" : "worker thread");
        Probe probe;
        auto worker = std::make_shared<Worker>(probe);
        auto op = OVOperation::operationWithTarget(worker, &FinishReceiver::didFinish, &Worker::work);
        EXPECT_TRUE(op->hasOperationDidFinishSelector());
        EXPECT_EQ(op->delegate(), worker.get());
        op->setDoFinishSelectorOnMainThread(onMain);
        manager().addOperation(op);
        if (onMain) {
            ASSERT_TRUE(op->waitUntilFinished(kBound));
            EXPECT_EQ(probe.count("finish result"), 0u) << "posted, not yet delivered";
            ASSERT_TRUE(runMainUntil([&] { return probe.count("finish result") == 1; }));
        } else {
            ASSERT_TRUE(probe.waitFor([](const auto& e) { return e.size() == 2; }));
        }
        EXPECT_EQ(probe.all(), (std::vector<std::string>{"work", "finish result"}));
        EXPECT_EQ(worker->finishOnMain.load(), onMain);
    }
}

TEST_F(OVOperationTest, FinishArgumentIsMadeFromTheWorkResult) {
    Probe probe;
    auto worker = std::make_shared<Worker>(probe);
    auto text = OVOperation::operationWithTarget(worker, &Worker::finishOptional, &Worker::work);
    auto none = OVOperation::operationWithTarget(worker, &Worker::finishPointer, &Worker::nothing);
    auto empty = OVOperation::operationWithTarget(worker, &FinishReceiver::didFinish, &Worker::nothing);
    for (auto& op : {text, none, empty}) {
        op->setDoFinishSelectorOnMainThread(false);
        manager().addOperation(op);
        ASSERT_TRUE(op->waitUntilFinished(kBound));
    }
    EXPECT_EQ(probe.count("optional result"), 1u);
    EXPECT_EQ(probe.count("pointer null"), 1u);
    EXPECT_EQ(probe.count("finish none"), 1u);
}

TEST_F(OVOperationTest, AFinishMethodTheTargetDoesNotImplementIsSkipped) {
    Probe probe;
    Bystander bystander(probe);
    LogCapture log;
    auto op = OVOperation::operationWithTarget(&bystander, &FinishReceiver::didFinish, &Bystander::work);
    EXPECT_TRUE(op->hasOperationDidFinishSelector());
    auto none = OVOperation::operationWithTarget(&bystander, nullptr, &Bystander::work);
    EXPECT_FALSE(none->hasOperationDidFinishSelector());
    manager().addOperation(op);
    ASSERT_TRUE(op->waitUntilFinished(kBound));
    // A finish call would have been posted before the operation finished.
    (void)RunLoop::main().runUntil(Clock::monotonic());
    EXPECT_EQ(probe.all(), std::vector<std::string>{"work"});
    EXPECT_TRUE(log.messages().empty()) << "silently";
}

TEST_F(OVOperationTest, CancellingDuringTheWorkSuppressesTheFinishCall) {
    Probe probe;
    Gate gate;
    auto worker = std::make_shared<Worker>(probe, &gate);
    auto op = OVOperation::operationWithTarget(worker, &FinishReceiver::didFinish, &Worker::work);
    op->setDoFinishSelectorOnMainThread(false);
    manager().addOperation(op);
    ASSERT_TRUE(probe.waitFor([](const auto& e) { return e.size() == 1; }));
    op->cancel();
    gate.open();
    ASSERT_TRUE(op->waitUntilFinished(kBound));
    EXPECT_TRUE(op->awIsFinished());
    EXPECT_EQ(probe.all(), std::vector<std::string>{"work"});
}

TEST_F(OVOperationTest, FourAtOnceRunThreeAndTheFourthWhenOneEnds) {
    Probe probe;
    Gate gates[4];
    std::vector<std::unique_ptr<Worker>> workers;
    std::vector<std::shared_ptr<OVOperation>> ops;
    for (auto& gate : gates) {
        workers.push_back(std::make_unique<Worker>(probe, &gate));
        ops.push_back(OVOperation::operationWithTarget(workers.back().get(), nullptr, &Worker::work));
        manager().addOperation(ops.back());
    }
    ASSERT_TRUE(probe.waitFor([](const auto& e) { return e.size() == 3; }));
    EXPECT_FALSE(probe.waitFor([](const auto& e) { return e.size() > 3; }, 0.05));
    EXPECT_FALSE(ops[3]->isExecuting());
    gates[0].open();
    ASSERT_TRUE(probe.waitFor([](const auto& e) { return e.size() == 4; }));
    EXPECT_TRUE(ops[0]->waitUntilFinished(kBound));
    EXPECT_TRUE(ops[3]->isExecuting() || ops[3]->isFinished());
    for (auto& gate : gates) {
        gate.open();
    }
    for (auto& op : ops) {
        ASSERT_TRUE(op->waitUntilFinished(kBound));
    }
}

TEST_F(OVOperationTest, WhatKeepsTargetAndArgumentsAlive) {
    struct Case {
        const char* name;
        std::function<std::shared_ptr<OVOperation>(const std::shared_ptr<Worker>&,
                                                   const std::shared_ptr<int>&)>
            make;
        bool keptAlive;
        const char* expectedWork;
    };
    const Case cases[] = {
        {"withObjects",
         [](const auto& w, const auto& n) {
             return OVOperation::operationWithTarget_withObjects(w, nullptr, &Worker::three, std::string("a"),
                                                                 2, n);
         },
         true, "three a 2 3"},
        {"timed",
         [](const auto& w, const auto&) {
             return OVOperation::operationWithTarget(w, nullptr, &Worker::nothing, 0.01, false);
         },
         true, "work"},
        {"plain",
         [](const auto& w, const auto&) {
             return OVOperation::operationWithTarget(w, nullptr, &Worker::nothing);
         },
         false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Probe probe;
        auto worker = std::make_shared<Worker>(probe);
        auto number = std::make_shared<int>(3);
        std::weak_ptr<Worker> watchWorker = worker;
        std::weak_ptr<int> watchNumber = number;
        auto op = c.make(worker, number);
        manager().setSuspended(true);
        manager().addOperation(op);
        worker.reset();
        number.reset();
        EXPECT_EQ(!watchWorker.expired(), c.keptAlive);
        LogCapture log;
        manager().setSuspended(false);
        ASSERT_TRUE(op->waitUntilFinished(kBound));
        if (c.expectedWork) {
            EXPECT_EQ(probe.all(), std::vector<std::string>{c.expectedWork});
        } else {
            EXPECT_TRUE(probe.all().empty()) << "a target that is gone is not called";
            EXPECT_TRUE(log.contains("target is gone"));
        }
        ASSERT_TRUE(manager().operationQueue()->waitUntilAllOperationsAreFinished(kBound));
        op.reset(); // the last holder: target and arguments go with it
        EXPECT_TRUE(watchWorker.expired());
        EXPECT_TRUE(watchNumber.expired());
    }
}

TEST_F(OVOperationTest, InvocationChecksItsArgumentsAndTarget) {
    Probe probe;
    auto worker = std::make_shared<Worker>(probe);
    auto call = OVOperation::invocationWithTarget(worker, &Worker::three);
    ASSERT_EQ(call->numberOfArguments(), 3u);
    EXPECT_FALSE(call->setArgument(3, std::any(1)).ok()) << "past the last argument";
    EXPECT_FALSE(call->setArgument(1, std::any(std::string("2"))).ok()) << "wrong type";
    ASSERT_TRUE(call->setArgument(0, std::any(std::string("x"))).ok());
    ASSERT_TRUE(call->setArgument(1, std::any(5)).ok());
    EXPECT_FALSE(call->invoke().ok()) << "third argument missing";
    ASSERT_TRUE(call->setArgument(2, std::any(std::shared_ptr<int>())).ok());
    auto result = call->invoke();
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(std::any_cast<std::string>(*result), "x");
    EXPECT_EQ(probe.all(), std::vector<std::string>{"three x 5 -1"});
    EXPECT_FALSE(call->argumentsRetained());
    worker.reset();
    EXPECT_FALSE(call->invoke().ok()) << "target gone";
    auto nil = OVOperation::invocationWithTarget(static_cast<Worker*>(nullptr), &Worker::nothing);
    EXPECT_FALSE(nil->invoke().ok());
}

TEST_F(OVOperationTest, KeyedOperationsLiveOnlyWhileUnfinished) {
    Probe probe;
    Worker worker(probe);
    manager().setSuspended(true);
    auto first = OVOperation::operationWithTarget(&worker, nullptr, &Worker::nothing);
    first->setKey("status");
    manager().addOperation(first);
    EXPECT_EQ(manager().operationWithKey("status"), first);
    EXPECT_EQ(manager().operationWithKey("other"), nullptr);

    auto replacement = OVOperation::operationWithTarget(&worker, nullptr, &Worker::nothing);
    replacement->setKey("status");
    manager().addOperation(replacement);
    EXPECT_EQ(manager().operationWithKey("status"), replacement);

    manager().cancelOperationWithKey("status");
    EXPECT_EQ(manager().operationWithKey("status"), nullptr) << "cancelled";
    manager().cancelOperationWithKey("nobody"); // nothing happens

    auto done = OVOperation::operationWithTarget(&worker, nullptr, &Worker::nothing);
    done->setKey("done");
    manager().addOperation(done);
    manager().setSuspended(false);
    ASSERT_TRUE(done->waitUntilFinished(kBound));
    EXPECT_EQ(manager().operationWithKey("done"), nullptr) << "finished";
    manager().addOperation(nullptr); // ignored
    // `first` still runs; it must end before the worker and probe go.
    ASSERT_TRUE(manager().operationQueue()->waitUntilAllOperationsAreFinished(kBound));
    EXPECT_EQ(probe.count("work"), 2u);
}

TEST_F(OVOperationTest, KeyedPriorityChangesDecideTheStartOrder) {
    Probe probe;
    Worker worker(probe);
    manager().setMaxConcurrentOperationCount(1);
    manager().setSuspended(true);
    EXPECT_TRUE(manager().isSuspended());
    const char* names[] = {"a", "b", "c"};
    std::vector<std::shared_ptr<OVOperation>> ops;
    for (const char* name : names) {
        auto op = OVOperation::operationWithTarget_withObjects(&worker, nullptr, &Worker::three,
                                                               std::string(name), 0, std::shared_ptr<int>());
        op->setKey(name);
        manager().addOperation(op);
        ops.push_back(op);
    }
    manager().decreasePriorityForOperationWithKey("a");
    manager().increasePriorityForOperationWithKey("c");
    manager().increasePriorityForOperationWithKey("missing"); // nothing
    EXPECT_EQ(ops[0]->queuePriority(), QueuePriority::Low);
    EXPECT_EQ(ops[2]->queuePriority(), QueuePriority::High);
    manager().setSuspended(false);
    EXPECT_FALSE(manager().isSuspended());
    for (auto& op : ops) {
        ASSERT_TRUE(op->waitUntilFinished(kBound));
    }
    EXPECT_EQ(probe.all(), (std::vector<std::string>{"three c 0 -1", "three b 0 -1", "three a 0 -1"}));
}

TEST_F(OVOperationTest, CancelAllBlocksUntilEveryOperationEndedWithoutDeadlock) {
    Probe probe;
    auto worker = std::make_shared<Worker>(probe);
    std::vector<std::shared_ptr<OVOperation>> ops;
    // Repeating, with finish calls posted to the (blocked) main thread.
    ops.push_back(
        OVOperation::operationWithTarget(worker, &FinishReceiver::didFinish, &Worker::work, 0.01, true));
    // Delayed, still waiting for its first tick.
    ops.push_back(OVOperation::operationWithTarget(worker, nullptr, &Worker::nothing, 0.3, false));
    // Repeating work that *waits* on the main thread each tick.
    ops.push_back(OVOperation::operationWithTarget(worker, nullptr, &Worker::waitsOnMain, 0.01, true));
    // Queued behind the limit of three.
    ops.push_back(OVOperation::operationWithTarget(worker, nullptr, &Worker::nothing, 0.01, true));
    for (auto& op : ops) {
        manager().addOperation(op);
    }
    ASSERT_TRUE(runMainUntil(
        [&] { return probe.count("finish result") >= 2 && probe.count("served on main") >= 2; }));
    {
        Reaper reaper(20);
        manager().cancelAllOperations();
    }
    for (auto& op : ops) {
        EXPECT_TRUE(op->isFinished());
        EXPECT_TRUE(op->awIsFinished());
    }
    EXPECT_EQ(manager().operationQueue()->operationCount(), 0u);
}

TEST(OVOperationManagerSingleton, ConcurrentFirstCallsGetOneInstance) {
    constexpr int kThreads = 8;
    std::vector<OVOperationManager*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    std::atomic<bool> go{false};
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            seen[i] = &OVOperationManager::sharedOperationManager();
        });
    }
    go = true;
    for (auto& thread : threads) {
        thread.join();
    }
    for (auto* instance : seen) {
        EXPECT_EQ(instance, seen[0]);
    }
    ASSERT_NE(seen[0]->operationQueue(), nullptr);
    EXPECT_EQ(seen[0]->operationQueue()->maxConcurrentOperationCount(), 3);
}
