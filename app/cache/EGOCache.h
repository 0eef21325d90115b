// EGOCache: the app's disk cache — bytes kept under string keys, each with
// an expiry date, one file per key in <home>/Library/Caches/DataCache and an
// index "DataCache.plist" (XML property list, key → expiry date) beside them.
//
// Threading: every operation may be called from any thread. File writes and
// deletes run on the cache's own disk queue; reads happen on the calling
// thread and see every store made before them, even one whose file is still
// being written. Operations on one key reach the disk in the order they were
// made. The index lives in memory under the cache's lock; a store asks the
// main thread to save it 0.3 s later (a later request replaces an earlier
// one, so a burst writes once) and waits, at most kMainThreadWait seconds,
// until the main thread has taken the request. removeCacheForKey() and
// clearCache() save the index at once. The main run loop must run for the
// delayed save to happen; destroying a cache writes a save still pending.
//
// Keys name files, so a key that could reach outside the cache folder
// ("", ".", "..", anything with "/" or a NUL byte) or that is the index's
// own name is refused: stores do nothing and reads give nothing.
//
// Ownership: the shared cache (currentCache()) is a documented single
// instance, made on first use and never destroyed. Other instances are
// owned by whoever makes them; pending disk work keeps only the shared
// inner state alive, never the EGOCache object.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Value.h"
#include "platform/graphics/Image.h"
#include "platform/runloop/OperationQueue.h"

namespace murmelo {

class EGOCache {
public:
    static constexpr double kDefaultTimeoutInterval = 86400; // one day
    static constexpr double kIndexSaveDelay = 0.3;           // coalesces a burst of stores
    static constexpr double kVeryOldCacheAge = 14 * 86400;   // cleanVeryOldCache()
    static constexpr double kMainThreadWait = 2.0;           // bound on a store's wait for the main thread
    static constexpr std::string_view kIndexFileName = "DataCache.plist";

    // The shared cache over EGOCacheDirectory(), with a one-day default
    // lifetime; made on the first call under a lock on the class.
    static std::shared_ptr<EGOCache> currentCache();
    // Makes `cache` the shared one (tests, which keep each cache in a
    // temporary home). Null makes the next currentCache() create it again.
    static void replaceCurrentCacheForTesting(std::shared_ptr<EGOCache> cache);

    // init over any folder: loads its index (an empty one when the file is
    // missing or not a dictionary) and creates the folder with its parents.
    explicit EGOCache(std::string directory, double defaultTimeoutInterval = kDefaultTimeoutInterval);
    ~EGOCache();
    EGOCache(const EGOCache&) = delete;
    EGOCache& operator=(const EGOCache&) = delete;

    // Stores bytes under `key`, fresh until now + `timeoutInterval`. Nothing
    // stores an expiry without a file: the key reads as absent (and any
    // older file for it is removed, so it can never be served as fresh).
    void setData(std::optional<Data> data, const std::string& key, double timeoutInterval);
    void setData(std::optional<Data> data, const std::string& key);
    // The bytes while fresh; with forceFromFile, whenever a file exists.
    std::optional<Data> dataForKey(const std::string& key, bool forceFromFile = false) const;
    // An expiry later than now, and bytes on disk (or on their way there).
    bool hasCacheForKey(const std::string& key) const;

    void setString(std::string_view text, const std::string& key, double timeoutInterval);
    void setString(std::string_view text, const std::string& key);
    // The bytes as UTF-8 text; nothing when they are not UTF-8.
    std::optional<std::string> stringForKey(const std::string& key) const;

    // XML property list. A value with no property-list form stores nothing.
    void setPlist(const Value& plist, const std::string& key, double timeoutInterval);
    void setPlist(const Value& plist, const std::string& key);
    std::optional<Value> plistForKey(const std::string& key) const;

    // PNG bytes. An image the device holds as PNG is stored as it is; one
    // with no PNG form (drawn in code, JPEG, GIF: the device has no PNG
    // encoder) stores nothing, like any value that gives no bytes.
    void setImage(const std::shared_ptr<const Image>& image, const std::string& key, double timeoutInterval);
    void setImage(const std::shared_ptr<const Image>& image, const std::string& key);
    // An image made from the stored bytes; nothing when they are no picture.
    std::shared_ptr<const Image> imageForKey(const std::string& key) const;

    // Copies the file at `filePath` in as the key's file, at once on the
    // calling thread (a failed copy is ignored), then records the expiry.
    void copyFilePath(const std::string& filePath, const std::string& key, double timeoutInterval);
    void copyFilePath(const std::string& filePath, const std::string& key);

    // Removes the entry and its file; saves the index at once.
    void removeCacheForKey(const std::string& key);
    // Removes every entry of the index; saves the index at once.
    void clearCache();
    // Deletes every item below the cache folder (at any depth) modified 14
    // days or more before now, except the index. The index is not changed.
    void cleanVeryOldCache();
    // The same with `nowSince1970` as "now" (tests of the exact boundary).
    void cleanVeryOldCacheAsOf(double nowSince1970);

    double defaultTimeoutInterval() const { return m_defaultTimeoutInterval.load(); }
    void setDefaultTimeoutInterval(double interval) { m_defaultTimeoutInterval.store(interval); }

    const std::string& directory() const;
    std::string indexPath() const;
    // Whether `key` may name an entry (see the header comment).
    static bool isUsableKey(std::string_view key);

    // For tests and benchmarks: completed index writes, and a bounded wait
    // for the disk queue to run dry.
    size_t indexSaveCount() const;
    [[nodiscard]] bool waitUntilDiskOperationsFinished(double timeoutSeconds) const;
    // Writes the index now (what the delayed save does).
    void saveIndex();

private:
    struct State;
    void recordFileOperation(const std::string& key, std::shared_ptr<const Data> data, double expiry);
    void scheduleIndexSave();
    std::optional<Data> readEntry(const std::string& key, bool forceFromFile) const;

    std::shared_ptr<State> m_state;
    std::atomic<double> m_defaultTimeoutInterval;
    std::unique_ptr<OperationQueue> m_diskOperationQueue;
};

// <home>/Library/Caches/DataCache, computed on the first call and kept for
// the life of the process.
const std::string& EGOCacheDirectory();

} // namespace murmelo
