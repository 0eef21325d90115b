// Disk cache speed: setData + dataForKey round trips of 4 KB entries (with
// the disk queue's writes counted), and the index save with 10 000 entries.
// Baselines in the same run: the same atomic file write and read done
// directly, and writing the same index as a property list without the cache.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/cache/EGOCache.h"
#include "platform/core/Clock.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/PropertyListSerialization.h"

using namespace murmelo;

namespace {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "murmelo-cache-bench-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

Data payload(size_t size) {
    Data data(size);
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 131 + 7);
    }
    return data;
}

constexpr int kKeys = 256;

void BM_CacheRoundTrip4K(benchmark::State& state) {
    ScratchFolder folder;
    EGOCache cache(folder.path() + "/DataCache");
    const Data data = payload(4096);
    int i = 0;
    for (auto _ : state) {
        const std::string key = "k" + std::to_string(i++ % kKeys);
        cache.setData(data, key);
        auto read = cache.dataForKey(key);
        benchmark::DoNotOptimize(read);
    }
    // The writes are part of the work: wait for the disk queue inside the timing.
    if (!cache.waitUntilDiskOperationsFinished(60)) {
        state.SkipWithError("disk queue did not drain");
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_CacheRoundTrip4K)->UseRealTime();

// Reads of entries whose files are on disk already.
void BM_CacheRead4K(benchmark::State& state) {
    ScratchFolder folder;
    EGOCache cache(folder.path() + "/DataCache");
    const Data data = payload(4096);
    for (int i = 0; i < kKeys; ++i) {
        cache.setData(data, "k" + std::to_string(i));
    }
    if (!cache.waitUntilDiskOperationsFinished(60)) {
        state.SkipWithError("disk queue did not drain");
    }
    int i = 0;
    for (auto _ : state) {
        auto read = cache.dataForKey("k" + std::to_string(i++ % kKeys));
        benchmark::DoNotOptimize(read);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CacheRead4K)->UseRealTime();

// Baseline: the same atomic write and whole-file read, done in line.
void BM_BaselineAtomicWriteRead4K(benchmark::State& state) {
    ScratchFolder folder;
    const Data data = payload(4096);
    const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
    int i = 0;
    for (auto _ : state) {
        const std::string path = folder.path() + "/k" + std::to_string(i++ % kKeys);
        if (!fs::writeFileAtomically(path, bytes)) {
            state.SkipWithError("write failed");
            break;
        }
        auto read = fs::readFile(path);
        benchmark::DoNotOptimize(read);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BaselineAtomicWriteRead4K)->UseRealTime();

void BM_CacheIndexSave(benchmark::State& state) {
    ScratchFolder folder;
    EGOCache cache(folder.path() + "/DataCache");
    const auto entries = static_cast<int>(state.range(0));
    for (int i = 0; i < entries; ++i) {
        // Expiry only: no file, so the set-up stays quick.
        cache.setData(std::nullopt, "0123456789abcdef0123456789ab" + std::to_string(10000 + i), 3600);
    }
    if (!cache.waitUntilDiskOperationsFinished(60)) {
        state.SkipWithError("disk queue did not drain");
    }
    for (auto _ : state) {
        cache.saveIndex();
    }
    state.SetItemsProcessed(state.iterations() * entries);
}
BENCHMARK(BM_CacheIndexSave)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: serialising and writing the same dictionary directly.
void BM_BaselinePlistWrite(benchmark::State& state) {
    ScratchFolder folder;
    const auto entries = static_cast<int>(state.range(0));
    Dictionary index;
    index.reserve(static_cast<size_t>(entries));
    const double expiry = Clock::sinceReferenceDate() + 3600;
    for (int i = 0; i < entries; ++i) {
        index.set("0123456789abcdef0123456789ab" + std::to_string(10000 + i), Value(Date{expiry}));
    }
    const Value value(std::move(index));
    for (auto _ : state) {
        if (!PropertyListSerialization::writePropertyListToFile(value, folder.path() + "/DataCache.plist")) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * entries);
}
BENCHMARK(BM_BaselinePlistWrite)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
