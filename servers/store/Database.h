// Database: the reference servers' SQLite file — WAL journal, foreign keys,
// full synchronous commits (an acknowledged write survives the process being
// killed), schema created and migrated on open — and a pool of connections,
// each with its prepared statements cached. SQL is only ever prepared from
// literals; values are bound.
//
// Threads: any thread may read or write. Readers run in parallel on their own
// connections. Writes are group-committed: writes that arrive while a commit
// is on its way to the disk queue up, and the next of their threads runs them
// all in one transaction, each inside a savepoint of its own (a failing write
// rolls back its own changes only), with one synchronous commit for the
// group. write() returns only after the fsync that covers its changes, and
// nothing a write changed is visible to readers before that. The Database
// owns its connections; a Connection& handed to a callback is valid only
// during that call.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/core/Result.h"

struct sqlite3;
struct sqlite3_stmt;

namespace murmelo::servers {

// One prepared statement in use: bind, step, read columns. Resets the
// statement (and clears its bindings) when it goes away.
class Query {
public:
    explicit Query(sqlite3_stmt* statement) : m_statement(statement) {}
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    Query(Query&& other) noexcept : m_statement(other.m_statement) { other.m_statement = nullptr; }

    // Parameters are numbered from 1.
    Query& bind(int index, std::string_view text);
    Query& bind(int index, std::int64_t number);
    Query& bind(int index, double number);
    Query& bindNull(int index);

    // Gives true while there is a row to read, false when done.
    Result<bool> step();
    // Steps to the end (for writes); gives the number of changed rows.
    Result<int> run();

    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

private:
    sqlite3_stmt* m_statement;
};

class Connection {
public:
    Connection(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The statement for this SQL text, prepared once per connection.
    Result<Query> prepare(std::string_view sql);
    // Runs SQL without parameters (schema, pragmas, transaction control).
    Result<void> execute(const char* sql);
    std::int64_t lastInsertId() const;
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db;
    std::string m_path;
    std::unordered_map<std::string, sqlite3_stmt*> m_statements;
};

class Database {
public:
    // Each entry migrates the schema by one version (user_version 0 → 1 → ...).
    using Migrations = std::vector<std::string>;

    static Result<std::unique_ptr<Database>> open(const std::string& path, const Migrations& migrations);
    ~Database();

    // Runs `work` on a pooled connection (reads; no transaction around it).
    template <class T> Result<T> read(const std::function<Result<T>(Connection&)>& work);
    // Runs `work` inside a write transaction (see the group commit above);
    // its changes are committed and on the disk when it succeeds and rolled
    // back when it fails.
    template <class T> Result<T> write(const std::function<Result<T>(Connection&)>& work);

    // The first column of the first row of a read without parameters (a
    // count, say); 0 when there is no row.
    Result<std::int64_t> readInteger(std::string_view sql);

    // Writes waiting for the commit in progress (for tests).
    size_t queuedWrites() const;

    int schemaVersion() const { return m_schemaVersion; }
    const std::string& path() const { return m_path; }

private:
    Database(std::string path) : m_path(std::move(path)) {}
    Result<std::unique_ptr<Connection>> connect();
    std::unique_ptr<Connection> acquire(Error& error);
    void release(std::unique_ptr<Connection> connection);
    Result<void> migrate(const Migrations& migrations);

    // One write of a group: `step` gives whether it succeeded; `outcome` is
    // the fate of the group's transaction for it.
    struct PendingWrite {
        const std::function<bool(Connection&)>* step;
        Result<void> outcome = Result<void>::success();
        bool done = false;
    };
    // Queues `step` and returns once it ran and its group's commit is on the
    // disk (or failed), leading the next group itself when no other thread is.
    Result<void> writeInGroup(const std::function<bool(Connection&)>& step);
    void commitGroup(const std::vector<PendingWrite*>& group);

    std::string m_path;
    int m_schemaVersion = 0;
    std::mutex m_poolMutex;
    std::vector<std::unique_ptr<Connection>> m_idle;
    mutable std::mutex m_groupMutex;
    std::condition_variable m_groupDone;
    std::vector<PendingWrite*> m_queued;
    bool m_committing = false;
};

// ---- implementation of the templates ----

template <class T> Result<T> Database::read(const std::function<Result<T>(Connection&)>& work) {
    Error error;
    std::unique_ptr<Connection> connection = acquire(error);
    if (!connection) {
        return error;
    }
    Result<T> result = work(*connection);
    release(std::move(connection));
    return result;
}

template <class T> Result<T> Database::write(const std::function<Result<T>(Connection&)>& work) {
    std::optional<Result<T>> result;
    std::function<bool(Connection&)> step = [&](Connection& connection) {
        result.emplace(work(connection));
        return static_cast<bool>(*result);
    };
    Result<void> committed = writeInGroup(step);
    if (!committed) {
        return committed.error();
    }
    if (!result) {
        return Error::generic("write did not run");
    }
    return std::move(*result);
}

} // namespace murmelo::servers
