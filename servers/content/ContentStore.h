// ContentStore: the content server's view of its storage (ContentStorage):
// the same reads and writes, plus the generation that tells readers whether
// what they keep is stale, and the sample pool. Thread-safe; does not own the
// storage, which must outlive it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "servers/store/ContentStorage.h"

namespace murmelo::servers {

class ContentStore {
public:
    static constexpr const char* kErrorDomain = ContentStorage::kErrorDomain;
    static constexpr long kUnknownSecret = ContentStorage::kUnknownSecret;
    static constexpr long kUnavailable = ContentStorage::kUnavailable;

    explicit ContentStore(ContentStorage& storage) : m_storage(storage) {}

    Result<std::int64_t> addSecret(const NewSecret& secret, double now);
    // Fails with kUnknownSecret when the secret does not exist.
    Result<std::int64_t> addComment(std::int64_t secretId, const std::string& content,
                                    const std::string& appName, const std::string& session, double now);

    // Newest first; `page` counts from 1.
    Result<SecretPage> newest(int page, int pageSize) { return m_storage.newest(page, pageSize); }
    // Secrets whose text holds `text` (ASCII letters in any case), newest
    // first. Literal: no byte is a wildcard, and a zero byte is compared
    // like any other (SQLite's LIKE would end the pattern there).
    Result<SecretPage> search(const std::string& text, int page, int pageSize) {
        return m_storage.search(text, page, pageSize);
    }
    Result<std::optional<Secret>> secret(std::int64_t id) { return m_storage.secret(id); }
    // Oldest first.
    Result<std::vector<Comment>> comments(std::int64_t secretId) { return m_storage.comments(secretId); }
    Result<std::int64_t> secretCount() { return m_storage.secretCount(); }
    Result<std::int64_t> commentCount() { return m_storage.commentCount(); }

    // Grows after every committed write of a secret or comment, by this
    // process (before the writing call returns) or by another one sharing
    // the database (asked of the database, so it can block for a round
    // trip). Something read while the generation was g is current as long
    // as the generation is still g: take it before reading. While the
    // database cannot be asked, the last generation seen stands, so what is
    // kept can still be served.
    std::uint64_t generation();
    // The generation when it is known without asking the database (no other
    // process writes), for answers given on the event loop.
    std::optional<std::uint64_t> generationAtOnce() const;

    // Fills an empty pool with sample secrets and comments; leaves a pool
    // that has any secret alone. Gives the number of secrets added.
    Result<int> seedIfEmpty(double now);

    static bool isUnavailable(const Error& error) { return error.is(kErrorDomain, kUnavailable); }

private:
    template <class T> Result<T> changed(Result<T> written);
    // The shared generation as read by a read that began after this call
    // did; concurrent callers share one such read instead of each asking.
    void refreshSharedGeneration();

    ContentStorage& m_storage;
    std::atomic<std::uint64_t> m_generation{0};
    std::atomic<std::uint64_t> m_sharedGeneration{0}; // the highest seen
    std::mutex m_readMutex;
    std::condition_variable m_readDone;
    std::uint64_t m_readsStarted = 0;  // numbered from 1
    std::uint64_t m_readsFinished = 0; // the number of the last one done
    bool m_reading = false;
};

} // namespace murmelo::servers
