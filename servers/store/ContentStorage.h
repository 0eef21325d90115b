// ContentStorage: where the content server keeps its secrets and comments.
// Two implementations with the same semantics — SqliteContentStorage (the
// servers' own SQLite file, the default) and PostgresContentStorage (one
// database shared by several server processes):
//
// - ids are positive, handed out in increasing order and never twice;
// - a write returns only once its commit is durable, and is visible to every
//   reader (of any process) from then on;
// - search is literal: the text is found as it stands, ASCII letters in any
//   case, no byte is a wildcard;
// - pages are newest first, `page` counts from 1.
//
// Failures that mean "the database cannot be reached now" carry
// kErrorDomain/kUnavailable, so callers can answer "try again" instead of
// "broken". Implementations are thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Result.h"

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

// A sample secret for an empty pool, with its comments' texts.
struct SeedSecret {
    std::string content;
    double created = 0;
    std::vector<std::pair<std::string, double>> comments; // text, created
};

class ContentStorage {
public:
    static constexpr const char* kErrorDomain = "MurmeloContent";
    static constexpr long kUnknownSecret = 404; // a missing secret id
    static constexpr long kUnavailable = 503;   // the database cannot be reached now

    virtual ~ContentStorage() = default;

    virtual Result<std::int64_t> addSecret(const NewSecret& secret, double now) = 0;
    // Fails with kUnknownSecret when the secret does not exist.
    virtual Result<std::int64_t> addComment(std::int64_t secretId, const std::string& content,
                                            const std::string& appName, const std::string& session,
                                            double now) = 0;
    virtual Result<SecretPage> newest(int page, int pageSize) = 0;
    virtual Result<SecretPage> search(const std::string& text, int page, int pageSize) = 0;
    virtual Result<std::optional<Secret>> secret(std::int64_t id) = 0;
    // Oldest first.
    virtual Result<std::vector<Comment>> comments(std::int64_t secretId) = 0;
    virtual Result<std::int64_t> secretCount() = 0;
    virtual Result<std::int64_t> commentCount() = 0;
    // Stores `samples` when there is no secret at all (also when several
    // processes try at once); gives the number of secrets added.
    virtual Result<int> seedIfEmpty(const std::vector<SeedSecret>& samples) = 0;
    // The value kept under `key`, or `fresh` stored under it when there is
    // none yet (the first of several processes wins; all get its value).
    virtual Result<std::string> keepOrLoad(const std::string& key, const std::string& fresh) = 0;

    // Grows after every committed write by any writer of the same data that
    // is not this object (other processes); nothing when every writer is
    // this object. May ask the database: not for the event loop.
    virtual Result<std::uint64_t> sharedGeneration() = 0;
    // Whether sharedGeneration() tells anything (the data has other writers).
    virtual bool hasOtherWriters() const = 0;
};

inline Error unavailableError(const std::string& message) {
    return Error(ContentStorage::kErrorDomain, ContentStorage::kUnavailable, message);
}

} // namespace murmelo::servers
