// PostgresContentStorage: the content in a PostgreSQL database that several
// server processes share. Migrations are versioned (the schema_migrations
// table) and applied at open under an advisory lock, so processes starting
// together apply each once. Writes run outside explicit transactions where
// one statement does (its commit is the statement's end) with synchronous
// commit on; after each commit the content_generation sequence is advanced,
// which every process reads before handing out a kept pool page.
//
// Search is strpos over lower(... COLLATE "C"): literal like SQLite's instr,
// and only ASCII letters change case, whatever the database's locale. Text
// cannot hold a zero byte in PostgreSQL, so stored content never does and a
// search for one finds nothing, as it does in SQLite.
#pragma once

#include <memory>
#include <string>

#include "servers/store/ContentStorage.h"
#include "servers/store/Postgres.h"

namespace murmelo::servers {

class PostgresContentStorage : public ContentStorage {
public:
    // Connects once (a one-line error when the server cannot be reached) and
    // migrates the schema.
    static Result<std::unique_ptr<PostgresContentStorage>> open(PgPool::Options options);

    Result<std::int64_t> addSecret(const NewSecret& secret, double now) override;
    Result<std::int64_t> addComment(std::int64_t secretId, const std::string& content,
                                    const std::string& appName, const std::string& session,
                                    double now) override;
    Result<SecretPage> newest(int page, int pageSize) override;
    Result<SecretPage> search(const std::string& text, int page, int pageSize) override;
    Result<std::optional<Secret>> secret(std::int64_t id) override;
    Result<std::vector<Comment>> comments(std::int64_t secretId) override;
    Result<std::int64_t> secretCount() override;
    Result<std::int64_t> commentCount() override;
    Result<int> seedIfEmpty(const std::vector<SeedSecret>& samples) override;
    Result<std::string> keepOrLoad(const std::string& key, const std::string& fresh) override;
    Result<std::uint64_t> sharedGeneration() override;
    bool hasOtherWriters() const override { return true; }

    int schemaVersion() const { return m_schemaVersion; }

private:
    explicit PostgresContentStorage(PgPool::Options options) : m_pool(std::move(options)) {}
    Result<void> migrate();
    // One statement on a pooled connection; a read is tried once more on a
    // fresh connection when the first one turned out broken.
    enum class Retry { Never, WhenUnavailable };
    Result<PgResult> run(const char* sql, const std::vector<PgParam>& params, Retry retry);
    // Advances the generation after a commit; a failure leaves the commit
    // standing (it is durable) and is only logged.
    void bumpGeneration();

    PgPool m_pool;
    int m_schemaVersion = 0;
};

} // namespace murmelo::servers
