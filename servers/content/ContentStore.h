// ContentStore: the secrets and comments of the content server, kept in the
// servers' database. Every write is one committed transaction before the call
// returns. Thread-safe (the Database serialises writes); does not own the
// Database, which must outlive it. It is the only writer of secrets and
// comments, so its generation tells readers whether what they keep is stale.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "servers/store/Database.h"

namespace murmelo::servers {

struct Secret {
    std::int64_t id = 0;
    std::string content;
    std::string appName;
    std::string session; // the poster's session id, "" when unknown
    double created = 0;  // seconds since 1970
    std::int64_t commentCount = 0;
};

struct Comment {
    std::int64_t id = 0;
    std::int64_t secretId = 0;
    std::string content;
    std::string appName;
    std::string session;
    double created = 0;
};

struct SecretPage {
    std::vector<Secret> secrets;
    bool hasMore = false; // an older page exists
};

struct NewSecret {
    std::string content;
    std::string appName;
    std::optional<std::string> deviceId;
    std::string session;
};

class ContentStore {
public:
    static constexpr const char* kErrorDomain = "MurmeloContent";
    static constexpr long kUnknownSecret = 404; // error code for a missing secret id

    explicit ContentStore(Database& database) : m_database(database) {}

    Result<std::int64_t> addSecret(const NewSecret& secret, double now);
    // Fails with kUnknownSecret when the secret does not exist.
    Result<std::int64_t> addComment(std::int64_t secretId, const std::string& content,
                                    const std::string& appName, const std::string& session, double now);

    // Newest first; `page` counts from 1.
    Result<SecretPage> newest(int page, int pageSize);
    // Secrets whose text holds `text` (ASCII letters in any case), newest
    // first. Literal: no byte is a wildcard, and a zero byte is compared
    // like any other (SQLite's LIKE would end the pattern there).
    Result<SecretPage> search(const std::string& text, int page, int pageSize);
    Result<std::optional<Secret>> secret(std::int64_t id);
    // Oldest first.
    Result<std::vector<Comment>> comments(std::int64_t secretId);
    Result<std::int64_t> secretCount();
    Result<std::int64_t> commentCount();

    // Grows after every committed write of a secret or comment (before the
    // writing call returns). Something read while the generation was g is
    // current as long as the generation is still g: take it before reading.
    std::uint64_t generation() const { return m_generation.load(std::memory_order_acquire); }

    // Fills an empty pool with sample secrets and comments; leaves a pool
    // that has any secret alone. Gives the number of secrets added.
    Result<int> seedIfEmpty(double now);

private:
    template <class T> Result<T> changed(Result<T> written);

    Database& m_database;
    std::atomic<std::uint64_t> m_generation{0};
};

} // namespace murmelo::servers
