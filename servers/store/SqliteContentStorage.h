// SqliteContentStorage: the content in the servers' SQLite database (the
// secrets and comments tables of serverSchema()). One process owns the file,
// so it is the only writer: sharedGeneration() tells nothing. Does not own
// the Database, which must outlive it.
#pragma once

#include "servers/store/ContentStorage.h"
#include "servers/store/Database.h"

namespace murmelo::servers {

class SqliteContentStorage : public ContentStorage {
public:
    explicit SqliteContentStorage(Database& database) : m_database(database) {}

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
    Result<std::uint64_t> sharedGeneration() override { return std::uint64_t{0}; }
    bool hasOtherWriters() const override { return false; }

private:
    Database& m_database;
};

} // namespace murmelo::servers
