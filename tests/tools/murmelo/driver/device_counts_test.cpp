// The process-wide counts settling reads: unfinished operations over every
// queue, and the next timer a loop mode would fire.
#include <gtest/gtest.h>

#include <future>

#include "platform/core/Clock.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Timer.h"

using namespace murmelo;

namespace {

TEST(DeviceCounts, UnfinishedOperationsCountOverEveryQueue) {
    const std::size_t before = OperationQueue::unfinishedOperationsInAllQueues();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> started;

    OperationQueue busy(1, "busy");
    busy.addOperationWithBlock([&] {
        started.set_value();
        (void)released.wait_for(std::chrono::seconds(10));
    });
    OperationQueue held(1, "held");
    held.setSuspended(true);
    held.addOperationWithBlock([] {});
    held.addOperationWithBlock([] {});
    ASSERT_EQ(started.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(OperationQueue::unfinishedOperationsInAllQueues(), before + 3);

    // Cancelled operations of a suspended queue still finish, and stop counting.
    held.cancelAllOperations();
    EXPECT_TRUE(held.waitUntilAllOperationsAreFinished(10));
    EXPECT_EQ(OperationQueue::unfinishedOperationsInAllQueues(), before + 1);

    release.set_value();
    EXPECT_TRUE(busy.waitUntilAllOperationsAreFinished(10));
    EXPECT_EQ(OperationQueue::unfinishedOperationsInAllQueues(), before);
}

TEST(DeviceCounts, NextTimerFireDateIsTheEarliestOfTheMode) {
    RunLoop& loop = RunLoop::main();
    ManualClock clock;
    const double start = clock.now();
    {
        Timer late(30, Timer::Repeats::No, [] {});
        Timer other(
            0.1, Timer::Repeats::No, [] {}, RunLoopModes("murmelo.test.OtherMode"));
        Timer soon(5, Timer::Repeats::Yes, [] {});
        auto next = loop.nextTimerFireDate(RunLoop::kDefaultMode);
        ASSERT_TRUE(next);
        EXPECT_EQ(*next, start + 5); // the five-second one, not the other mode's
        auto inOther = loop.nextTimerFireDate("murmelo.test.OtherMode");
        ASSERT_TRUE(inOther);
        EXPECT_EQ(*inOther, start + 0.1);
        soon.invalidate();
        next = loop.nextTimerFireDate(RunLoop::kDefaultMode);
        ASSERT_TRUE(next);
        EXPECT_EQ(*next, start + 30);
    }
    // Destroyed timers are gone.
    auto after = loop.nextTimerFireDate(RunLoop::kDefaultMode);
    for (double due : {start + 5, start + 30}) {
        EXPECT_FALSE(after && *after == due);
    }
}

} // namespace
