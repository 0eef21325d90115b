#include "app/cache/EGOCache.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <unordered_map>

#include "platform/core/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/foundation/Unicode.h"
#include "platform/runloop/Perform.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

namespace {

// XML property lists keep dates as 32-bit seconds around the reference date;
// an expiry beyond that range is kept at its edge so the index stays writable.
constexpr double kLatestExpiry = 2147483647.0 - 1;
constexpr double kEarliestExpiry = -2147483647.0 + 1;

double expiryAfter(double timeoutInterval) {
    double expiry = Clock::sinceReferenceDate() + timeoutInterval;
    if (std::isnan(expiry)) {
        expiry = Clock::sinceReferenceDate();
    }
    return std::clamp(expiry, kEarliestExpiry, kLatestExpiry);
}

std::optional<Data> toData(const std::string& bytes) {
    return Data(bytes.begin(), bytes.end());
}

} // namespace

// Everything the disk queue and the main thread's save need, shared with
// them so that pending work never holds the EGOCache itself.
struct EGOCache::State {
    explicit State(std::string folder) : directory(std::move(folder)) {}

    std::string pathForKey(const std::string& key) const { return directory + "/" + key; }
    std::string indexPath() const { return directory + "/" + std::string(kIndexFileName); }
    std::mutex& fileLockFor(const std::string& key) {
        return fileLocks[std::hash<std::string>{}(key) % fileLocks.size()];
    }

    // Writes or deletes the key's file unless a later operation on the key
    // has been recorded since (that one's task does the work).
    void performFileOperation(const std::string& key, std::uint64_t sequence);
    void saveIndex();

    // A store or removal whose file work has not finished: readers use it
    // instead of the file. Null data means "no file".
    struct Pending {
        std::uint64_t sequence = 0;
        std::shared_ptr<const Data> data;
    };

    const std::string directory;

    mutable std::mutex mutex;                      // guards everything below
    std::unordered_map<std::string, double> index; // key → expiry, seconds since 2001
    std::unordered_map<std::string, Pending> pending;
    std::uint64_t sequence = 0;
    bool savePending = false;
    size_t saveCount = 0;

    std::mutex saveMutex;                         // one index write at a time, in snapshot order
    std::atomic<std::uint64_t> saveGeneration{0}; // changed on the main thread only
    std::array<std::mutex, 32> fileLocks;         // one file operation per key at a time
};

void EGOCache::State::performFileOperation(const std::string& key, std::uint64_t operationSequence) {
    std::lock_guard fileLock(fileLockFor(key));
    std::shared_ptr<const Data> data;
    {
        std::lock_guard lock(mutex);
        auto it = pending.find(key);
        if (it == pending.end() || it->second.sequence != operationSequence) {
            return;
        }
        data = it->second.data;
    }
    // Failures are ignored: a missing file reads as a missing entry.
    if (data) {
        (void)fs::writeFileAtomically(
            pathForKey(key), std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    } else {
        (void)FileManager::removeItemAtPath(pathForKey(key));
    }
    std::lock_guard lock(mutex);
    auto it = pending.find(key);
    if (it != pending.end() && it->second.sequence == operationSequence) {
        pending.erase(it);
    }
}

void EGOCache::State::saveIndex() {
    std::lock_guard saveLock(saveMutex);
    Dictionary snapshot;
    {
        std::lock_guard lock(mutex);
        savePending = false;
        std::vector<std::pair<std::string, double>> entries(index.begin(), index.end());
        std::sort(entries.begin(), entries.end());
        snapshot.reserve(entries.size());
        for (auto& [key, expiry] : entries) {
            snapshot.set(std::move(key), Value(Date{expiry}));
        }
    }
    if (PropertyListSerialization::writePropertyListToFile(Value(std::move(snapshot)), indexPath())) {
        std::lock_guard lock(mutex);
        ++saveCount;
    }
}

// ---- The shared cache ----

namespace {

struct CurrentCacheSlot {
    std::mutex mutex; // the lock on the class
    std::shared_ptr<EGOCache> cache;
};

CurrentCacheSlot& currentCacheSlot() {
    static CurrentCacheSlot* slot = new CurrentCacheSlot(); // never destroyed, like the cache
    return *slot;
}

} // namespace

const std::string& EGOCacheDirectory() {
    static const std::string directory = homeDirectory() + "/Library/Caches/DataCache";
    return directory;
}

std::shared_ptr<EGOCache> EGOCache::currentCache() {
    CurrentCacheSlot& slot = currentCacheSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.cache) {
        slot.cache = std::make_shared<EGOCache>(EGOCacheDirectory(), kDefaultTimeoutInterval);
    }
    return slot.cache;
}

void EGOCache::replaceCurrentCacheForTesting(std::shared_ptr<EGOCache> cache) {
    CurrentCacheSlot& slot = currentCacheSlot();
    std::lock_guard lock(slot.mutex);
    slot.cache = std::move(cache);
}

// ---- Life cycle ----

EGOCache::EGOCache(std::string directory, double defaultTimeoutInterval)
    : m_state(std::make_shared<State>(std::move(directory))),
      m_defaultTimeoutInterval(defaultTimeoutInterval),
      m_diskOperationQueue(std::make_unique<OperationQueue>(
          OperationQueue::kDefaultMaxConcurrentOperationCount, "EGOCache.disk")) {
    if (std::optional<Dictionary> stored = dictionaryWithContentsOfFile(m_state->indexPath())) {
        for (const auto& [key, value] : *stored) {
            if (const Date* date = value.asDate()) {
                m_state->index[key.str()] = date->sinceReferenceDate;
            }
        }
    }
    (void)fs::createDirectories(m_state->directory);
}

EGOCache::~EGOCache() {
    bool savePending = false;
    {
        std::lock_guard lock(m_state->mutex);
        savePending = m_state->savePending;
    }
    if (savePending) {
        m_state->saveIndex();
    }
    // The queue's destructor waits for what is left; file operations are short.
    m_diskOperationQueue.reset();
}

const std::string& EGOCache::directory() const {
    return m_state->directory;
}
std::string EGOCache::indexPath() const {
    return m_state->indexPath();
}

bool EGOCache::isUsableKey(std::string_view key) {
    return !key.empty() && key != "." && key != ".." && key != kIndexFileName &&
           key.find('/') == std::string_view::npos && key.find('\0') == std::string_view::npos;
}

// ---- Storing ----

void EGOCache::recordFileOperation(const std::string& key, std::shared_ptr<const Data> data, double expiry) {
    std::uint64_t operationSequence = 0;
    {
        std::lock_guard lock(m_state->mutex);
        operationSequence = ++m_state->sequence;
        m_state->pending[key] = State::Pending{operationSequence, std::move(data)};
        m_state->index[key] = expiry;
        m_state->savePending = true;
    }
    std::shared_ptr<State> state = m_state;
    m_diskOperationQueue->addOperationWithBlock(
        [state, key, operationSequence] { state->performFileOperation(key, operationSequence); });
}

void EGOCache::setData(std::optional<Data> data, const std::string& key, double timeoutInterval) {
    if (!isUsableKey(key)) {
        return;
    }
    std::shared_ptr<const Data> bytes = data ? std::make_shared<const Data>(std::move(*data)) : nullptr;
    recordFileOperation(key, std::move(bytes), expiryAfter(timeoutInterval));
    scheduleIndexSave();
}

void EGOCache::setData(std::optional<Data> data, const std::string& key) {
    setData(std::move(data), key, defaultTimeoutInterval());
}

void EGOCache::setString(std::string_view text, const std::string& key, double timeoutInterval) {
    setData(Data(text.begin(), text.end()), key, timeoutInterval);
}

void EGOCache::setString(std::string_view text, const std::string& key) {
    setString(text, key, defaultTimeoutInterval());
}

void EGOCache::setPlist(const Value& plist, const std::string& key, double timeoutInterval) {
    Result<std::string> xml = PropertyListSerialization::dataWithPropertyList(plist, PropertyListFormat::Xml);
    setData(xml ? toData(*xml) : std::nullopt, key, timeoutInterval);
}

void EGOCache::setPlist(const Value& plist, const std::string& key) {
    setPlist(plist, key, defaultTimeoutInterval());
}

void EGOCache::setImage(const std::shared_ptr<const Image>& image, const std::string& key,
                        double timeoutInterval) {
    std::optional<Data> png;
    if (image && image->format() == ImageFormat::PNG) {
        png = image->data();
    }
    setData(std::move(png), key, timeoutInterval);
}

void EGOCache::setImage(const std::shared_ptr<const Image>& image, const std::string& key) {
    setImage(image, key, defaultTimeoutInterval());
}

std::shared_ptr<const Image> EGOCache::imageForKey(const std::string& key) const {
    std::optional<Data> data = dataForKey(key);
    if (!data) {
        return nullptr;
    }
    return Image::imageWithData(std::move(*data));
}

void EGOCache::copyFilePath(const std::string& filePath, const std::string& key, double timeoutInterval) {
    if (!isUsableKey(key)) {
        return;
    }
    {
        // Waits for a file operation on the key that is under way; earlier
        // ones still queued see that they were superseded and do nothing.
        std::lock_guard fileLock(m_state->fileLockFor(key));
        {
            std::lock_guard lock(m_state->mutex);
            ++m_state->sequence;
            m_state->pending.erase(key);
        }
        if (!FileManager::copyFileAtomically(filePath, m_state->pathForKey(key))) {
            // The expiry is still recorded; an older file must not pass for the copy.
            (void)FileManager::removeItemAtPath(m_state->pathForKey(key));
        }
    }
    {
        std::lock_guard lock(m_state->mutex);
        m_state->index[key] = expiryAfter(timeoutInterval);
        m_state->savePending = true;
    }
    scheduleIndexSave();
}

void EGOCache::copyFilePath(const std::string& filePath, const std::string& key) {
    copyFilePath(filePath, key, defaultTimeoutInterval());
}

// ---- Reading ----

std::optional<Data> EGOCache::readEntry(const std::string& key, bool forceFromFile) const {
    if (!isUsableKey(key)) {
        return std::nullopt;
    }
    {
        std::lock_guard lock(m_state->mutex);
        auto expiry = m_state->index.find(key);
        bool fresh = expiry != m_state->index.end() && expiry->second > Clock::sinceReferenceDate();
        if (!fresh && !forceFromFile) {
            return std::nullopt;
        }
        if (auto it = m_state->pending.find(key); it != m_state->pending.end()) {
            if (!it->second.data) {
                return std::nullopt;
            }
            return *it->second.data;
        }
    }
    Result<std::string> bytes = fs::readFile(m_state->pathForKey(key), std::numeric_limits<size_t>::max());
    if (!bytes) {
        return std::nullopt;
    }
    return toData(*bytes);
}

std::optional<Data> EGOCache::dataForKey(const std::string& key, bool forceFromFile) const {
    return readEntry(key, forceFromFile);
}

bool EGOCache::hasCacheForKey(const std::string& key) const {
    if (!isUsableKey(key)) {
        return false;
    }
    {
        std::lock_guard lock(m_state->mutex);
        auto expiry = m_state->index.find(key);
        if (expiry == m_state->index.end() || !(expiry->second > Clock::sinceReferenceDate())) {
            return false;
        }
        if (auto it = m_state->pending.find(key); it != m_state->pending.end()) {
            return it->second.data != nullptr;
        }
    }
    return fs::fileExists(m_state->pathForKey(key));
}

std::optional<std::string> EGOCache::stringForKey(const std::string& key) const {
    std::optional<Data> data = dataForKey(key);
    if (!data) {
        return std::nullopt;
    }
    std::string text(data->begin(), data->end());
    if (!unicode::isValidUtf8(text)) {
        return std::nullopt;
    }
    return text;
}

std::optional<Value> EGOCache::plistForKey(const std::string& key) const {
    std::optional<Data> data = dataForKey(key);
    if (!data) {
        return std::nullopt;
    }
    Result<Value> plist = PropertyListSerialization::propertyListWithData(*data);
    if (!plist) {
        return std::nullopt;
    }
    return std::move(*plist);
}

// ---- Removing ----

void EGOCache::removeCacheForKey(const std::string& key) {
    if (!isUsableKey(key)) {
        return;
    }
    std::uint64_t operationSequence = 0;
    {
        std::lock_guard lock(m_state->mutex);
        operationSequence = ++m_state->sequence;
        m_state->pending[key] = State::Pending{operationSequence, nullptr};
        m_state->index.erase(key);
    }
    std::shared_ptr<State> state = m_state;
    m_diskOperationQueue->addOperationWithBlock(
        [state, key, operationSequence] { state->performFileOperation(key, operationSequence); });
    m_state->saveIndex();
}

void EGOCache::clearCache() {
    std::vector<std::pair<std::string, std::uint64_t>> removals;
    {
        std::lock_guard lock(m_state->mutex);
        removals.reserve(m_state->index.size());
        for (const auto& entry : m_state->index) {
            std::uint64_t operationSequence = ++m_state->sequence;
            m_state->pending[entry.first] = State::Pending{operationSequence, nullptr};
            removals.emplace_back(entry.first, operationSequence);
        }
        m_state->index.clear();
    }
    std::shared_ptr<State> state = m_state;
    for (auto& removal : removals) {
        m_diskOperationQueue->addOperationWithBlock(
            [state, key = std::move(removal.first), operationSequence = removal.second] {
                state->performFileOperation(key, operationSequence);
            });
    }
    m_state->saveIndex();
}

void EGOCache::cleanVeryOldCache() {
    cleanVeryOldCacheAsOf(Clock::now());
}

void EGOCache::cleanVeryOldCacheAsOf(double nowSince1970) {
    const double limit = nowSince1970 - kVeryOldCacheAge;
    for (const std::string& relative : FileManager::subpathsOfDirectoryAtPath(m_state->directory)) {
        size_t slash = relative.find_last_of('/');
        std::string_view name = slash == std::string::npos ? std::string_view(relative)
                                                           : std::string_view(relative).substr(slash + 1);
        if (name == kIndexFileName) {
            continue;
        }
        std::string path = m_state->directory + "/" + relative;
        auto isOld = [&] {
            std::optional<double> modified = FileManager::modificationDate(path);
            return modified && *modified <= limit;
        };
        if (slash == std::string::npos) {
            // An entry's file: not while a store of the same key replaces it.
            std::lock_guard fileLock(m_state->fileLockFor(relative));
            if (isOld()) {
                (void)FileManager::removeItemAtPath(path);
            }
        } else if (isOld()) {
            (void)FileManager::removeItemAtPath(path);
        }
    }
}

// ---- The index ----

void EGOCache::scheduleIndexSave() {
    std::weak_ptr<State> weakState = m_state;
    // A later request replaces an earlier one: only the newest generation saves.
    Task schedule = [weakState] {
        std::shared_ptr<State> state = weakState.lock();
        if (!state) {
            return;
        }
        std::uint64_t generation = ++state->saveGeneration;
        RunLoop::current().scheduleAfter(
            kIndexSaveDelay,
            [weakState, generation] {
                std::shared_ptr<State> state = weakState.lock();
                if (state && state->saveGeneration.load() == generation) {
                    state->saveIndex();
                }
            },
            RunLoopModes(RunLoop::kCommonModes));
    };
    // On a time-out the request stays posted and is taken later.
    (void)performOnMainThread(std::move(schedule), WaitUntilDone::Yes, RunLoopModes(RunLoop::kCommonModes),
                              kMainThreadWait);
}

void EGOCache::saveIndex() {
    m_state->saveIndex();
}

size_t EGOCache::indexSaveCount() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->saveCount;
}

bool EGOCache::waitUntilDiskOperationsFinished(double timeoutSeconds) const {
    return m_diskOperationQueue->waitUntilAllOperationsAreFinished(timeoutSeconds);
}

} // namespace murmelo
