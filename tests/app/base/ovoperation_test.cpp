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
#include "platform/runloop/Perform.h"
#include "platform/runloop/RunLoop.h"
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

bool runMainUntil(const std::function<bool()>& condition, double seconds = kBound) {
    return RunLoop::main().runModeUntil(RunLoop::kDefaultMode, condition, RunLoop::dateAfter(seconds));
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
    struct Case {
        const char* name;
        double timeInterval;
        size_t runs;
        double atLeast;
        double below;
    };
    const Case cases[] = {
        {"interval 0 runs once at once", 0, 1, 0, 1.0},
        {"below 0.0001 counts as 0", 0.00005, 1, 0, 1.0},
        {"interval 0.2 runs once after it", 0.2, 1, 0.2, 2.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Probe probe;
        Worker worker(probe);
        auto op = OVOperation::operationWithTarget(&worker, nullptr, &Worker::nothing, c.timeInterval, false);
        double start = Clock::monotonic();
        manager().addOperation(op);
        ASSERT_TRUE(probe.waitFor([](const auto& e) { return !e.empty(); }));
        double took = Clock::monotonic() - start;
        ASSERT_TRUE(op->waitUntilFinished(kBound));
        EXPECT_GE(took, c.atLeast);
        EXPECT_LT(took, c.below);
        EXPECT_EQ(probe.count("work"), c.runs);
        EXPECT_TRUE(op->awIsFinished());
    }
}

TEST_F(OVOperationTest, RepeatingWorkRunsUntilCancelledAndEndsAtItsNextTick) {
    Probe probe;
    Worker worker(probe);
    auto op = OVOperation::operationWithTarget(&worker, nullptr, &Worker::nothing, 0.02, true);
    manager().addOperation(op);
    ASSERT_TRUE(probe.waitFor([](const auto& e) { return e.size() >= 3; }));
    EXPECT_FALSE(op->awIsFinished());
    EXPECT_TRUE(op->isExecuting());
    double cancelledAt = Clock::monotonic();
    op->cancel();
    ASSERT_TRUE(op->waitUntilFinished(kBound));
    EXPECT_LT(Clock::monotonic() - cancelledAt, 1.0) << "ends at the next tick";
    EXPECT_TRUE(op->awIsFinished());
    size_t runs = probe.count("work");
    (void)RunLoop::main().runUntil(RunLoop::dateAfter(0.05));
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
    // A posted finish call would be delivered by now.
    (void)RunLoop::main().runUntil(RunLoop::dateAfter(0.05));
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
