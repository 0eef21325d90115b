// EGOCache: entries, expiry, the coalesced index save, restart, sweeping,
// refused keys and many threads at once. Tests run the main run loop
// (bounded) wherever the delayed index save has to happen.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "app/cache/EGOCache.h"
#include "platform/core/Clock.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/runloop/RunLoop.h"
#include "tests/platform/foundation/test_home.h"
#include "tests/support/temporary_directory.h"

using namespace murmelo;

namespace {

constexpr double kBound = 5.0;

Data bytes(std::string_view text) {
    return Data(text.begin(), text.end());
}
std::string text(const std::optional<Data>& data) {
    return data ? std::string(data->begin(), data->end()) : std::string("<nothing>");
}

bool runMainUntil(const std::function<bool()>& condition, double seconds = kBound) {
    return RunLoop::main().runModeUntil(RunLoop::kDefaultMode, condition, RunLoop::dateAfter(seconds));
}

// Runs the main loop for `seconds` whatever happens (to see that nothing more does).
void runMainFor(double seconds) {
    runMainUntil([] { return false; }, seconds);
}

class EGOCacheTest : public ::testing::Test {
protected:
    void TearDown() override { Clock::resetWallClockShift(); }
    std::string cacheFolder() const { return m_dir.path() + "/Library/Caches/DataCache"; }
    std::unique_ptr<EGOCache> makeCache() { return std::make_unique<EGOCache>(cacheFolder()); }

    test::TemporaryDirectory m_dir;
};

TEST_F(EGOCacheTest, StoresAndReadsEveryKind) {
    auto cache = makeCache();
    EXPECT_TRUE(fs::directoryExists(cacheFolder())); // made with its parents
    cache->setData(bytes(std::string_view("raw\0bytes", 9)), "data");
    cache->setString("h\xC3\xA9llo", "text");
    cache->setPlist(Value(Dictionary{{"n", 1}, {"s", "x"}}), "plist");
    cache->setData(Data{0xFF, 0xFE}, "notutf8");

    // Reads see stores at once, whether or not their files are written yet.
    EXPECT_EQ(text(cache->dataForKey("data")), std::string("raw\0bytes", 9));
    EXPECT_EQ(cache->stringForKey("text"), "h\xC3\xA9llo");
    EXPECT_EQ(cache->plistForKey("plist"), Value(Dictionary{{"n", 1}, {"s", "x"}}));
    EXPECT_EQ(cache->stringForKey("notutf8"), std::nullopt);
    EXPECT_EQ(cache->plistForKey("text"), std::nullopt);
    EXPECT_EQ(cache->dataForKey("missing"), std::nullopt);

    ASSERT_TRUE(cache->waitUntilDiskOperationsFinished(kBound));
    EXPECT_EQ(test::readFile(cacheFolder() + "/text"), "h\xC3\xA9llo");
    EXPECT_TRUE(cache->hasCacheForKey("data"));
    EXPECT_EQ(cache->stringForKey("text"), "h\xC3\xA9llo");
    auto plist = PropertyListSerialization::propertyListWithData(test::readFile(cacheFolder() + "/plist"));
    ASSERT_TRUE(plist);
    EXPECT_EQ(*plist, Value(Dictionary{{"n", 1}, {"s", "x"}}));
}

TEST_F(EGOCacheTest, ImagesAsPng) {
    // A 3 by 2 pixel PNG.
    const std::string png(
        "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00"
        "\x00\x00\x02\x08\x02\x00\x00\x00\x12\x16\xf1\x4d\x00\x00\x00\x11\x49\x44\x41\x54\x78"
        "\x9c\x63\xf8\xcf\xc0\x00\x41\x30\xfa\x3f\x03\x00\x3e\xd5\x05\xfb\xa8\x2e\x2f\x4d\x00"
        "\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
        74);
    auto cache = makeCache();
    auto image = Image::imageWithData(bytes(png));
    ASSERT_TRUE(image);
    cache->setImage(image, "icon");
    auto back = cache->imageForKey("icon");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format(), ImageFormat::PNG);
    EXPECT_EQ(back->size(), (Size{3, 2}));
    EXPECT_EQ(text(cache->dataForKey("icon")), png);

    // No PNG form: nothing is stored, and an older picture does not linger.
    cache->setImage(Image::imageWithSize("drawn", Size{4, 4}), "icon");
    EXPECT_EQ(cache->imageForKey("icon"), nullptr);
    cache->setString("not a picture", "text");
    EXPECT_EQ(cache->imageForKey("text"), nullptr);
}

TEST_F(EGOCacheTest, FreshnessIsStrictlyLaterThanNow) {
    struct Case {
        double lifetime;
        double shift; // wall clock moved forward before reading
        bool fresh;
    };
    const Case cases[] = {
        {0, 0, false},      {-5, 0, false},      {60, 0, true},
        {3600, 3599, true}, {3600, 3601, false}, {86400, 86401, false},
    };
    for (const Case& c : cases) {
        auto cache = makeCache();
        cache->setData(bytes("v"), "k", c.lifetime);
        ASSERT_TRUE(cache->waitUntilDiskOperationsFinished(kBound));
        Clock::shiftWallClock(c.shift);
        EXPECT_EQ(cache->hasCacheForKey("k"), c.fresh) << c.lifetime << " " << c.shift;
        EXPECT_EQ(cache->dataForKey("k").has_value(), c.fresh) << c.lifetime;
        // The file stays until overwritten, removed or swept.
        EXPECT_EQ(text(cache->dataForKey("k", true)), "v") << c.lifetime;
        Clock::resetWallClockShift();
    }
}

TEST_F(EGOCacheTest, DefaultLifetime) {
    auto cache = makeCache();
    EXPECT_EQ(cache->defaultTimeoutInterval(), 86400);
    cache->setDefaultTimeoutInterval(10);
    cache->setData(bytes("v"), "k");
    Clock::shiftWallClock(9);
    EXPECT_TRUE(cache->hasCacheForKey("k"));
    Clock::shiftWallClock(2);
    EXPECT_FALSE(cache->hasCacheForKey("k"));
}

TEST_F(EGOCacheTest, StoringNothingLeavesNoFileBehind) {
    auto cache = makeCache();
    cache->setData(bytes("old"), "k");
    ASSERT_TRUE(cache->waitUntilDiskOperationsFinished(kBound));
    // An expiry without a file reads as absent — the old bytes must not
    // come back as fresh under the new expiry.
    cache->setData(std::nullopt, "k", 3600);
    EXPECT_FALSE(cache->hasCacheForKey("k"));
    EXPECT_EQ(cache->dataForKey("k"), std::nullopt);
    ASSERT_TRUE(cache->waitUntilDiskOperationsFinished(kBound));
    EXPECT_EQ(cache->dataForKey("k", true), std::nullopt);
    EXPECT_FALSE(fs::fileExists(cacheFolder() + "/k"));
}

TEST_F(EGOCacheTest, KeysThatCouldEscapeTheFolderAreRefused) {
    test::TemporaryDirectory outside;
    const std::string folder = outside.path() + "/a/b/DataCache";
    auto cache = std::make_unique<EGOCache>(folder);
    test::writeFile(outside.path() + "/a/b/victim", "precious");
    const std::string keys[] = {"",
                                ".",
                                "..",
                                "../victim",
                                "x/y",
                                "/etc",
                                std::string("a\0b", 3),
                                std::string(EGOCache::kIndexFileName)};
    test::writeFile(outside.path() + "/source", "copied");
    for (const std::string& key : keys) {
        cache->setData(bytes("evil"), key);
        cache->setString("evil", key, 60);
        cache->copyFilePath(outside.path() + "/source", key);
        cache->removeCacheForKey(key);
        EXPECT_EQ(cache->dataForKey(key), std::nullopt) << key;
        EXPECT_EQ(cache->dataForKey(key, true), std::nullopt) << key;
        EXPECT_FALSE(cache->hasCacheForKey(key)) << key;
    }
    ASSERT_TRUE(cache->waitUntilDiskOperationsFinished(kBound));
    EXPECT_EQ(test::readFile(outside.path() + "/a/b/victim"), "precious");
    EXPECT_EQ(FileManager::subpathsOfDirectoryAtPath(folder), std::vector<std::string>{});
    std::vector<std::string> items = FileManager::subpathsOfDirectoryAtPath(outside.path() + "/a");
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{"b", "b/DataCache", "b/victim"}));
    runMainFor(0.5); // no save was asked for, so none happens
    EXPECT_EQ(cache->indexSaveCount(), 0u);
}

TEST_F(EGOCacheTest, IndexNameIsNeverCopiedOver) {
    auto cache = makeCache();
    cache->setData(bytes("v"), "k");
    cache->saveIndex();
    const std::string index = test::readFile(cache->indexPath());
    test::writeFile(m_dir.path() + "/bogus", "not an index");
    cache->copyFilePath(m_dir.path() + "/bogus", std::string(EGOCache::kIndexFileName));
    EXPECT_EQ(test::readFile(cache->indexPath()), index);
}

TEST_F(EGOCacheTest, TenStoresWriteTheIndexOnceAfterTheLast) {
    // Timer time is the test's, so a loaded machine cannot stretch the burst
    // past the save delay.
    ManualClock clock;
    auto cache = makeCache();
    auto runPosted = [] { runMainFor(0.02); }; // the schedule requests hop to the main loop
    for (int i = 0; i < 10; ++i) {
        cache->setData(bytes("v"), "k" + std::to_string(i));
        runPosted();
        clock.advance(EGOCache::kIndexSaveDelay / 3);
        runPosted();
    }
    EXPECT_EQ(cache->indexSaveCount(), 0u);
    clock.advance(EGOCache::kIndexSaveDelay * 2 / 3 - 0.01);
    runPosted();
    EXPECT_EQ(cache->indexSaveCount(), 0u) << "saved before the delay after the last store";
    clock.advance(0.02);
    ASSERT_TRUE(runMainUntil([&] { return cache->indexSaveCount() > 0; }));
    clock.advance(EGOCache::kIndexSaveDelay * 2);
    runPosted();
    EXPECT_EQ(cache->indexSaveCount(), 1u);

    auto index = dictionaryWithContentsOfFile(cache->indexPath());
    ASSERT_TRUE(index);
    EXPECT_EQ(index->size(), 10u);
    const Value* expiry = index->find("k9");
    ASSERT_NE(expiry, nullptr);
    ASSERT_TRUE(expiry->isDate());
    EXPECT_NEAR(expiry->asDate()->sinceReferenceDate, Clock::sinceReferenceDate() + 86400, 5);
    EXPECT_NE(test::readFile(cache->indexPath()).find("<?xml"), std::string::npos);
}

TEST_F(EGOCacheTest, RestartFindsEntriesThroughTheIndex) {
    {
        auto cache = makeCache();
        cache->setString("one", "a", 3600);
        cache->setString("two", "b", 0);
        ASSERT_TRUE(runMainUntil([&] { return cache->indexSaveCount() == 1; }));
    }
    {
        auto cache = makeCache();
        EXPECT_EQ(cache->stringForKey("a"), "one");
        EXPECT_EQ(cache->stringForKey("b"), std::nullopt);
        EXPECT_EQ(text(cache->dataForKey("b", true)), "two");
        // A save still pending when a cache goes away is written then.
        cache->setString("three", "c", 3600);
    }
    auto cache = makeCache();
    EXPECT_EQ(cache->stringForKey("c"), "three");
    EXPECT_EQ(cache->stringForKey("a"), "one");
}

TEST_F(EGOCacheTest, UnreadableIndexStartsEmpty) {
    const char* contents[] = {"garbage", "<?xml version=\"1.0\"?><plist><array/></plist>", ""};
    for (const char* content : contents) {
        ASSERT_TRUE(fs::createDirectories(cacheFolder()));
        test::writeFile(cacheFolder() + "/" + std::string(EGOCache::kIndexFileName), content);
        test::writeFile(cacheFolder() + "/k", "v");
        auto cache = makeCache();
        EXPECT_FALSE(cache->hasCacheForKey("k")) << content;
        cache->setString("w", "k");
        EXPECT_EQ(cache->stringForKey("k"), "w");
    }
}

TEST_F(EGOCacheTest, RemoveAndClearSaveAtOnce) {
    auto cache = makeCache();
    cache->setString("1", "a");
    cache->setString("2", "b");
    cache->setString("3", "c");
    cache->removeCacheForKey("a");
    EXPECT_EQ(cache->indexSaveCount(), 1u);
    EXPECT_EQ(cache->dataForKey("a", true), std::nullopt);
    auto index = dictionaryWithContentsOfFile(cache->indexPath());
    ASSERT_TRUE(index);
    EXPECT_EQ(index->keys(), (std::vector<std::string>{"b", "c"}));

    cache->clearCache();
    EXPECT_EQ(cache->indexSaveCount(), 2u);
    index = dictionaryWithContentsOfFile(cache->indexPath());
    ASSERT_TRUE(index);
    EXPECT_TRUE(index->empty());
    ASSERT_TRUE(cache->waitUntilDiskOperationsFinished(kBound));
    EXPECT_EQ(FileManager::subpathsOfDirectoryAtPath(cacheFolder()),
              std::vector<std::string>{std::string(EGOCache::kIndexFileName)});
}

TEST_F(EGOCacheTest, LaterOperationsOnAKeyWin) {
    auto cache = makeCache();
    for (int round = 0; round < 20; ++round) {
        const std::string key = "k" + std::to_string(round);
        cache->setString("first", key);
        cache->setString("second", key);
        if (round % 2 == 1) {
            cache->removeCacheForKey(key);
        }
    }
    ASSERT_TRUE(cache->waitUntilDiskOperationsFinished(kBound));
    for (int round = 0; round < 20; ++round) {
        const std::string path = cacheFolder() + "/k" + std::to_string(round);
        if (round % 2 == 1) {
            EXPECT_FALSE(fs::fileExists(path)) << round;
        } else {
            EXPECT_EQ(test::readFile(path), "second") << round;
        }
    }
}

TEST_F(EGOCacheTest, CopyFilePath) {
    auto cache = makeCache();
    test::writeFile(m_dir.path() + "/src", "from a file");
    cache->setString("queued", "k");
    cache->copyFilePath(m_dir.path() + "/src", "k", 60);
    EXPECT_EQ(cache->stringForKey("k"), "from a file");
    ASSERT_TRUE(cache->waitUntilDiskOperationsFinished(kBound));
    EXPECT_EQ(cache->stringForKey("k"), "from a file"); // the earlier store did not land on top
    EXPECT_EQ(test::readFile(m_dir.path() + "/src"), "from a file");

    cache->copyFilePath(m_dir.path() + "/missing", "k");
    EXPECT_EQ(cache->dataForKey("k"), std::nullopt);
    ASSERT_TRUE(runMainUntil([&] { return cache->indexSaveCount() == 1; }));
    auto index = dictionaryWithContentsOfFile(cache->indexPath());
    ASSERT_TRUE(index);
    EXPECT_TRUE(index->contains("k"));
}

TEST_F(EGOCacheTest, SweepDeletesWhatIsFourteenDaysOldOrOlder) {
    auto cache = makeCache();
    const double now = 1'800'000'000;
    const double limit = now - EGOCache::kVeryOldCacheAge;
    struct Item {
        std::string path;
        double modified;
        bool kept;
    };
    const Item items[] = {
        {"exactly", limit, false},
        {"older", limit - 86400, false},
        {"second_later", limit + 1, true},
        {"fresh", now, true},
        {"nested/old", limit - 1, false},
        {"nested/new", now, true},
        {std::string(EGOCache::kIndexFileName), limit - 100, true},
    };
    ASSERT_TRUE(fs::createDirectories(cacheFolder() + "/nested"));
    for (const Item& item : items) {
        test::writeFile(cacheFolder() + "/" + item.path, "x");
        ASSERT_TRUE(FileManager::setModificationDate(cacheFolder() + "/" + item.path, item.modified));
    }
    ASSERT_TRUE(FileManager::setModificationDate(cacheFolder() + "/nested", now));
    cache->cleanVeryOldCacheAsOf(now);
    for (const Item& item : items) {
        EXPECT_EQ(FileManager::fileExistsAtPath(cacheFolder() + "/" + item.path), item.kept) << item.path;
    }
    // An old folder goes with what is in it.
    ASSERT_TRUE(FileManager::setModificationDate(cacheFolder() + "/nested", limit));
    cache->cleanVeryOldCacheAsOf(now);
    EXPECT_FALSE(FileManager::fileExistsAtPath(cacheFolder() + "/nested"));
    EXPECT_TRUE(FileManager::fileExistsAtPath(cacheFolder() + "/fresh"));

    // The real clock: what was just written survives.
    cache->cleanVeryOldCache();
    EXPECT_TRUE(FileManager::fileExistsAtPath(cacheFolder() + "/fresh"));
}

TEST_F(EGOCacheTest, ManyThreadsStoreAndReadAtOnce) {
    auto cache = makeCache();
    constexpr int kWorkers = 8;
    constexpr int kRounds = 60;
    std::atomic<int> mismatches{0};
    std::atomic<int> finished{0};
    OperationQueue queue(kWorkers);
    for (int worker = 0; worker < kWorkers; ++worker) {
        queue.addOperationWithBlock([&, worker] {
            for (int round = 0; round < kRounds; ++round) {
                const std::string own = "w" + std::to_string(worker) + "-" + std::to_string(round % 10);
                const std::string value = own + ":" + std::to_string(round);
                cache->setString(value, own);
                if (cache->stringForKey(own) != value) {
                    ++mismatches; // nobody else writes this key
                }
                cache->setString(value, "shared"); // everybody writes this one
                // Others may have replaced or removed it since, but never torn it.
                std::optional<std::string> shared = cache->stringForKey("shared");
                if (shared && shared->find(':') == std::string::npos) {
                    ++mismatches;
                }
                if (round % 15 == 0) {
                    cache->removeCacheForKey("shared");
                }
                (void)cache->hasCacheForKey("w0-0");
            }
            ++finished;
        });
    }
    ASSERT_TRUE(runMainUntil([&] { return finished.load() == kWorkers; }, 60));
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    EXPECT_EQ(mismatches.load(), 0);
    ASSERT_TRUE(cache->waitUntilDiskOperationsFinished(kBound));
    for (int worker = 0; worker < kWorkers; ++worker) {
        for (int slot = 0; slot < 10; ++slot) {
            const std::string key = "w" + std::to_string(worker) + "-" + std::to_string(slot);
            std::optional<std::string> stored = cache->stringForKey(key);
            ASSERT_TRUE(stored) << key;
            EXPECT_EQ(test::readFile(cacheFolder() + "/" + key), *stored) << key;
        }
    }
    ASSERT_TRUE(runMainUntil([&] { return cache->indexSaveCount() > 0; }));
}

TEST_F(EGOCacheTest, CurrentCacheIsOneInstance) {
    test::TestHome home; // the shared cache lives in the app home
    auto first = EGOCache::currentCache();
    auto second = EGOCache::currentCache();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->directory(), EGOCacheDirectory());
    EXPECT_EQ(first->defaultTimeoutInterval(), 86400);
    const std::string suffix = "/Library/Caches/DataCache";
    EXPECT_EQ(EGOCacheDirectory().substr(EGOCacheDirectory().size() - suffix.size()), suffix);

    auto replacement = std::make_shared<EGOCache>(cacheFolder());
    EGOCache::replaceCurrentCacheForTesting(replacement);
    EXPECT_EQ(EGOCache::currentCache(), replacement);
    EGOCache::replaceCurrentCacheForTesting(nullptr);
}

} // namespace
