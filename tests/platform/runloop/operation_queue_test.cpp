// OperationQueue: limits, order, cancellation, suspension, waits, and the
// fresh run loop each operation gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/runloop/Perform.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Timer.h"
#include "tests/support/concurrency.h"

using namespace murmelo;

namespace {

constexpr double kBound = test::kWaitBound;
using test::Gate;
using Events = test::EventLog;

size_t indexOf(const std::vector<std::string>& events, const std::string& event) {
    return static_cast<size_t>(std::find(events.begin(), events.end(), event) - events.begin());
}

class Recording : public Operation {
public:
    Recording(std::string name, Events& events, Gate* gate = nullptr)
        : m_name(std::move(name)), m_events(events), m_gate(gate) {}
    bool sawCancelled = false;

protected:
    void main() override {
        sawCancelled = isCancelled();
        m_events.add("start " + m_name);
        if (m_gate && !sawCancelled) {
            EXPECT_TRUE(m_gate->waitOpen());
        }
        m_events.add("end " + m_name);
    }

private:
    std::string m_name;
    Events& m_events;
    Gate* m_gate;
};

} // namespace

TEST(OperationQueue, AFourthOperationStartsOnlyWhenOneOfThreeEnds) {
    OperationQueue queue(3);
    Events events;
    Gate gates[4];
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    for (int i = 0; i < 4; ++i) {
        queue.addOperationWithBlock([&, i] {
            int now = ++running;
            int seen = mostAtOnce.load();
            while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
            }
            events.add("start " + std::to_string(i));
            EXPECT_TRUE(gates[i].waitOpen());
            --running;
            events.add("end " + std::to_string(i));
        });
    }
    ASSERT_TRUE(events.waitFor([](const auto& e) { return e.size() == 3; }));
    EXPECT_EQ(events.countPrefix("start 3"), 0u);
    EXPECT_EQ(queue.operationCount(), 4u);
    gates[1].open();
    ASSERT_TRUE(events.waitFor([](const auto& e) { return indexOf(e, "start 3") < e.size(); }));
    auto log = events.all();
    EXPECT_LT(indexOf(log, "end 1"), indexOf(log, "start 3"));
    gates[0].open();
    gates[2].open();
    gates[3].open();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    EXPECT_EQ(mostAtOnce.load(), 3);
    EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueue, ReadyOperationsStartByPriorityThenFifo) {
    OperationQueue queue(1);
    queue.setSuspended(true);
    Events events;
    const std::pair<const char*, QueuePriority> added[] = {
        {"normal-1", QueuePriority::Normal},    {"low", QueuePriority::Low},
        {"very-high", QueuePriority::VeryHigh}, {"high", QueuePriority::High},
        {"normal-2", QueuePriority::Normal},    {"very-low", QueuePriority::VeryLow},
    };
    std::vector<std::shared_ptr<Recording>> operations;
    for (const auto& [name, priority] : added) {
        auto op = std::make_shared<Recording>(name, events);
        op->setQueuePriority(priority);
        operations.push_back(op);
        ASSERT_TRUE(queue.addOperation(op).ok());
    }
    operations[1]->setQueuePriority(QueuePriority::High); // settable until it starts; FIFO among equals
    EXPECT_EQ(events.all().size(), 0u) << "a suspended queue starts nothing";
    queue.setSuspended(false);
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    std::vector<std::string> starts;
    for (const auto& e : events.all()) {
        if (e.rfind("start ", 0) == 0) {
            starts.push_back(e.substr(6));
        }
    }
    EXPECT_EQ(starts,
              (std::vector<std::string>{"very-high", "low", "high", "normal-1", "normal-2", "very-low"}));
    operations[0]->setQueuePriority(QueuePriority::VeryLow);
    EXPECT_EQ(operations[0]->queuePriority(), QueuePriority::Normal) << "fixed once started";
}

TEST(OperationQueue, CancelledBeforeStartStillRunsMainAndSeesTheFlag) {
    OperationQueue queue(2);
    queue.setSuspended(true);
    Events events;
    Gate gate;
    auto cancelled = std::make_shared<Recording>("cancelled", events, &gate);
    auto other = std::make_shared<Recording>("other", events);
    ASSERT_TRUE(queue.addOperation(cancelled).ok());
    ASSERT_TRUE(queue.addOperation(other).ok());
    cancelled->cancel();
    // Cancelled operations start even on a suspended queue; others wait.
    ASSERT_TRUE(cancelled->waitUntilFinished(kBound));
    EXPECT_TRUE(cancelled->sawCancelled);
    EXPECT_TRUE(cancelled->isFinished());
    EXPECT_FALSE(other->isFinished());
    EXPECT_FALSE(other->isExecuting());
    EXPECT_FALSE(queue.waitUntilAllOperationsAreFinished(0.05));
    queue.setSuspended(false);
    EXPECT_TRUE(queue.isSuspended() == false);
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    EXPECT_FALSE(other->sawCancelled);
}

TEST(OperationQueue, CancelAllAndWaitWithTimeOut) {
    OperationQueue queue(1);
    Events events;
    Gate gate;
    auto running = std::make_shared<Recording>("running", events, &gate);
    auto waiting = std::make_shared<Recording>("waiting", events);
    ASSERT_TRUE(queue.addOperation(running).ok());
    ASSERT_TRUE(queue.addOperation(waiting).ok());
    ASSERT_TRUE(events.waitFor([](const auto& e) { return !e.empty(); }));
    double start = Clock::monotonic();
    EXPECT_FALSE(queue.waitUntilAllOperationsAreFinished(0.05));
    EXPECT_GE(Clock::monotonic() - start, 0.05);
    EXPECT_EQ(queue.operations().size(), 2u);
    queue.cancelAllOperations();
    EXPECT_TRUE(running->isCancelled());
    EXPECT_TRUE(waiting->isCancelled());
    gate.open();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    EXPECT_TRUE(waiting->sawCancelled);
    EXPECT_TRUE(queue.operations().empty());
}

TEST(OperationQueue, AddingRefusesNullAndReuse) {
    OperationQueue queue(1);
    OperationQueue other(1);
    EXPECT_FALSE(queue.addOperation(nullptr).ok());
    auto op = BlockOperation::make([] {});
    ASSERT_TRUE(queue.addOperation(op).ok());
    EXPECT_FALSE(queue.addOperation(op).ok());
    EXPECT_FALSE(other.addOperation(op).ok());
    ASSERT_TRUE(op->waitUntilFinished(kBound));
}

TEST(OperationQueue, EachOperationRunsOnAWorkerWithAFreshRunLoop) {
    ManualClock clock;
    OperationQueue queue(1);
    RunLoopHandle firstLoop;
    std::atomic<int> ticks{0};
    std::atomic<bool> offMain{true};
    auto first = BlockOperation::make([&] {
        offMain = offMain && !RunLoop::isMainThread();
        firstLoop = RunLoop::current().handle();
        // Timers work on the worker's own loop.
        Timer timer(0.005, Timer::Repeats::Yes, [&] { ++ticks; });
        for (int tick = 1; tick <= 3; ++tick) {
            clock.advance(0.005);
            RunLoop::current().runModeUntil(
                RunLoop::kDefaultMode, [&] { return ticks >= tick; }, RunLoop::dateAfter(kBound));
        }
        // Left behind: must never run in the next operation.
        (void)RunLoop::current().post([] { ADD_FAILURE() << "leaked into the next operation"; });
    });
    bool secondSawFreshLoop = false;
    auto second = BlockOperation::make([&] {
        offMain = offMain && !RunLoop::isMainThread();
        secondSawFreshLoop = !(RunLoop::current().handle() == firstLoop);
        // A past date still runs a call that was already posted.
        (void)RunLoop::current().runMode(RunLoop::kDefaultMode, Clock::monotonic());
    });
    ASSERT_TRUE(queue.addOperation(first).ok());
    ASSERT_TRUE(queue.addOperation(second).ok());
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    EXPECT_EQ(ticks.load(), 3);
    EXPECT_TRUE(offMain);
    EXPECT_TRUE(secondSawFreshLoop);
    EXPECT_FALSE(firstLoop.isAlive());
}

TEST(OperationQueue, MainThreadWaitingForTheQueueServesWaitedCallsFromWorkers) {
    // An operation that waits on the main thread while the main thread waits
    // for the queue: without serving, neither could go on.
    OperationQueue queue(2);
    std::atomic<int> servedOnMain{0};
    for (int i = 0; i < 2; ++i) {
        queue.addOperationWithBlock([&] {
            auto r = performOnMainThread([&] { servedOnMain += RunLoop::isMainThread() ? 1 : 0; },
                                         WaitUntilDone::Yes, RunLoop::kCommonModes, kBound);
            EXPECT_TRUE(r.ok());
        });
    }
    bool unrelatedRan = false;
    (void)RunLoop::main().post([&] { unrelatedRan = true; }); // not waited for: stays queued
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    EXPECT_EQ(servedOnMain.load(), 2);
    EXPECT_FALSE(unrelatedRan) << "only waited-for calls run inside the wait";
    ASSERT_TRUE(RunLoop::main().runModeUntil(
        RunLoop::kDefaultMode, [&] { return unrelatedRan; }, RunLoop::dateAfter(kBound)));
}

TEST(OperationQueue, RaisingTheLimitStartsWaitingOperations) {
    OperationQueue queue(1);
    EXPECT_EQ(queue.maxConcurrentOperationCount(), 1);
    Events events;
    Gate gate;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(queue.addOperation(std::make_shared<Recording>(std::to_string(i), events, &gate)).ok());
    }
    ASSERT_TRUE(events.waitFor([](const auto& e) { return e.size() == 1; }));
    queue.setMaxConcurrentOperationCount(3);
    ASSERT_TRUE(events.waitFor([](const auto& e) { return e.size() == 3; }));
    EXPECT_EQ(events.countPrefix("start"), 3u);
    gate.open();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    queue.setMaxConcurrentOperationCount(-5);
    EXPECT_EQ(queue.maxConcurrentOperationCount(), OperationQueue::kDefaultMaxConcurrentOperationCount);
}

TEST(OperationQueue, DestructionCancelsWaitingWorkAndJoins) {
    Events events;
    std::shared_ptr<Recording> left;
    {
        OperationQueue queue(1);
        queue.setSuspended(true);
        left = std::make_shared<Recording>("left", events);
        ASSERT_TRUE(queue.addOperation(left).ok());
    }
    EXPECT_TRUE(left->isFinished());
    EXPECT_TRUE(left->sawCancelled);
}

TEST(OperationQueue, CompletionBlockRunsBeforeFinishedIsReported) {
    OperationQueue queue(1);
    std::atomic<bool> completionRan{false};
    auto op = BlockOperation::make([] {});
    std::weak_ptr<BlockOperation> weak = op;
    op->setCompletionBlock([&completionRan, weak] {
        auto self = weak.lock();
        EXPECT_TRUE(self && !self->isFinished());
        completionRan = true;
    });
    ASSERT_TRUE(queue.addOperation(op).ok());
    ASSERT_TRUE(op->waitUntilFinished(kBound));
    EXPECT_TRUE(completionRan);
}
