// Run-loop and background-operation speed, each beside a baseline:
// - posted-call round trip main → worker → main, against a mutex/condition
//   variable ping-pong between two threads;
// - operations per second through OVOperationManager, against a bare
//   OperationQueue of the same width and plain direct calls.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "app/base/OVOperation.h"
#include "app/base/OVOperationManager.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

using namespace murmelo;

namespace {

void BM_PostedCallRoundTrip(benchmark::State& state) {
    Thread worker("bench.worker");
    if (!worker.start()) {
        state.SkipWithError("no worker thread");
        return;
    }
    RunLoopHandle workerLoop = worker.runLoop();
    RunLoopHandle mainLoop = RunLoop::main().handle();
    bool done = false;
    for (auto _ : state) {
        done = false;
        (void)workerLoop.post([&] { (void)mainLoop.post([&] { done = true; }); });
        if (!RunLoop::main().runModeUntil(
                RunLoop::kDefaultMode, [&] { return done; }, RunLoop::dateAfter(5))) {
            state.SkipWithError("round trip did not come back");
            break;
        }
    }
    (void)worker.stopAndJoin(5);
}
BENCHMARK(BM_PostedCallRoundTrip)->UseRealTime();

void BM_MutexConditionPingPong(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable changed;
    long ping = 0;
    long pong = 0;
    bool quit = false;
    std::thread partner([&] {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return quit || ping > pong; });
            if (quit) {
                return;
            }
            pong = ping;
            changed.notify_all();
        }
    });
    for (auto _ : state) {
        std::unique_lock lock(mutex);
        ++ping;
        changed.notify_all();
        changed.wait(lock, [&] { return pong == ping; });
    }
    {
        std::lock_guard lock(mutex);
        quit = true;
    }
    changed.notify_all();
    partner.join();
}
BENCHMARK(BM_MutexConditionPingPong)->UseRealTime();

class Counter {
public:
    void work() { m_count.fetch_add(1, std::memory_order_relaxed); }
    long count() const { return m_count.load(); }

private:
    std::atomic<long> m_count{0};
};

constexpr int kBatch = 200;

void BM_OVOperationManagerThroughput(benchmark::State& state) {
    auto& manager = OVOperationManager::sharedOperationManager();
    Counter counter;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            manager.addOperation(OVOperation::operationWithTarget(&counter, nullptr, &Counter::work));
        }
        if (!manager.operationQueue()->waitUntilAllOperationsAreFinished(30)) {
            state.SkipWithError("operations did not finish");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    benchmark::DoNotOptimize(counter.count());
}
BENCHMARK(BM_OVOperationManagerThroughput)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareOperationQueueThroughput(benchmark::State& state) {
    OperationQueue queue(3, "bench.bare");
    Counter counter;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            queue.addOperationWithBlock([&] { counter.work(); });
        }
        if (!queue.waitUntilAllOperationsAreFinished(30)) {
            state.SkipWithError("operations did not finish");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    benchmark::DoNotOptimize(counter.count());
}
BENCHMARK(BM_BareOperationQueueThroughput)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DirectCalls(benchmark::State& state) {
    Counter counter;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            counter.work();
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    benchmark::DoNotOptimize(counter.count());
}
BENCHMARK(BM_DirectCalls);

} // namespace

BENCHMARK_MAIN();
