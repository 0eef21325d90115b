#include "servers/store/Database.h"

#include <sqlite3.h>

namespace murmelo::servers {

namespace {

constexpr const char* kDomain = "MurmeloDatabase";

Error sqliteError(sqlite3* db, int code, const std::string& context) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    return Error(kDomain, code, context + ": " + message);
}

// The group commit's own statements, prepared once per connection: the
// others of a group wait while they run.
Result<void> runPrepared(Connection& connection, std::string_view sql) {
    auto statement = connection.prepare(sql);
    if (!statement) {
        return statement.error();
    }
    if (auto done = statement->run(); !done) {
        return done.error();
    }
    return Result<void>::success();
}

} // namespace

// ---- Query ----

Query::~Query() {
    if (m_statement) {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
}

Query& Query::bind(int index, std::string_view text) {
    sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Query& Query::bind(int index, std::int64_t number) {
    sqlite3_bind_int64(m_statement, index, number);
    return *this;
}

Query& Query::bind(int index, double number) {
    sqlite3_bind_double(m_statement, index, number);
    return *this;
}

Query& Query::bindNull(int index) {
    sqlite3_bind_null(m_statement, index);
    return *this;
}

Result<bool> Query::step() {
    int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    return sqliteError(sqlite3_db_handle(m_statement), rc, "step");
}

Result<int> Query::run() {
    for (;;) {
        auto row = step();
        if (!row) {
            return row.error();
        }
        if (!*row) {
            return sqlite3_changes(sqlite3_db_handle(m_statement));
        }
    }
}

std::int64_t Query::integer(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

double Query::real(int column) const {
    return sqlite3_column_double(m_statement, column);
}

std::string Query::text(int column) const {
    const unsigned char* bytes = sqlite3_column_text(m_statement, column);
    int length = sqlite3_column_bytes(m_statement, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length))
                 : std::string();
}

bool Query::isNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

// ---- Connection ----

Connection::~Connection() {
    for (auto& [sql, statement] : m_statements) {
        sqlite3_finalize(statement);
    }
    sqlite3_close(m_db);
}

Result<Query> Connection::prepare(std::string_view sql) {
    std::string key(sql);
    auto found = m_statements.find(key);
    if (found != m_statements.end()) {
        return Query(found->second);
    }
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v3(m_db, key.c_str(), static_cast<int>(key.size()), SQLITE_PREPARE_PERSISTENT,
                                &statement, nullptr);
    if (rc != SQLITE_OK) {
        return sqliteError(m_db, rc, "prepare");
    }
    m_statements.emplace(std::move(key), statement);
    return Query(statement);
}

Result<std::int64_t> Database::readInteger(std::string_view sql) {
    return read<std::int64_t>([&](Connection& connection) -> Result<std::int64_t> {
        auto query = connection.prepare(sql);
        if (!query) {
            return query.error();
        }
        auto row = query->step();
        if (!row) {
            return row.error();
        }
        return *row ? query->integer(0) : 0;
    });
}

Result<void> Connection::execute(const char* sql) {
    char* message = nullptr;
    int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        std::string text = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        return Error(kDomain, rc, text);
    }
    return Result<void>::success();
}

std::int64_t Connection::lastInsertId() const {
    return sqlite3_last_insert_rowid(m_db);
}

// ---- Database ----

Result<std::unique_ptr<Database>> Database::open(const std::string& path, const Migrations& migrations) {
    std::unique_ptr<Database> database(new Database(path));
    auto first = database->connect();
    if (!first) {
        return first.error();
    }
    database->m_idle.push_back(std::move(*first));
    if (auto migrated = database->migrate(migrations); !migrated) {
        return migrated.error();
    }
    return database;
}

Database::~Database() = default;

Result<std::unique_ptr<Connection>> Database::connect() {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(m_path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        Error error = sqliteError(db, rc, "open " + m_path);
        sqlite3_close(db);
        return error;
    }
    auto connection = std::make_unique<Connection>(db, m_path);
    sqlite3_busy_timeout(db, 5000);
    // WAL lets pages read while a post commits; FULL makes every commit reach
    // the disk before the reply that acknowledges it.
    for (const char* pragma :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
        if (auto done = connection->execute(pragma); !done) {
            return done.error();
        }
    }
    return connection;
}

std::unique_ptr<Connection> Database::acquire(Error& error) {
    {
        std::lock_guard lock(m_poolMutex);
        if (!m_idle.empty()) {
            std::unique_ptr<Connection> connection = std::move(m_idle.back());
            m_idle.pop_back();
            return connection;
        }
    }
    auto fresh = connect();
    if (!fresh) {
        error = fresh.error();
        return nullptr;
    }
    return std::move(*fresh);
}

void Database::release(std::unique_ptr<Connection> connection) {
    std::lock_guard lock(m_poolMutex);
    m_idle.push_back(std::move(connection));
}

size_t Database::queuedWrites() const {
    std::lock_guard lock(m_groupMutex);
    return m_queued.size();
}

Result<void> Database::writeInGroup(const std::function<bool(Connection&)>& step) {
    PendingWrite mine{&step};
    std::unique_lock lock(m_groupMutex);
    m_queued.push_back(&mine);
    // The wait ends when the leading thread's commit does, which SQLite's busy
    // time-out and the disk bound.
    while (!mine.done) {
        if (m_committing) {
            m_groupDone.wait(lock);
            continue;
        }
        m_committing = true;
        std::vector<PendingWrite*> group;
        group.swap(m_queued);
        lock.unlock();
        commitGroup(group);
        lock.lock();
        for (PendingWrite* write : group) {
            write->done = true;
        }
        m_committing = false;
        m_groupDone.notify_all();
    }
    return mine.outcome;
}

void Database::commitGroup(const std::vector<PendingWrite*>& group) {
    auto failAll = [](auto begin, auto end, const Error& error) {
        for (auto it = begin; it != end; ++it) {
            (*it)->outcome = error;
        }
    };
    Error error;
    std::unique_ptr<Connection> connection = acquire(error);
    if (!connection) {
        failAll(group.begin(), group.end(), error);
        return;
    }
    // Normally one transaction; another only when an error made SQLite roll
    // back the whole transaction (a full disk, an I/O error) part-way.
    size_t next = 0;
    while (next < group.size()) {
        if (auto begun = runPrepared(*connection, "BEGIN IMMEDIATE"); !begun) {
            failAll(group.begin() + static_cast<std::ptrdiff_t>(next), group.end(), begun.error());
            break;
        }
        size_t first = next;
        bool rolledBack = false;
        while (next < group.size() && !rolledBack) {
            PendingWrite& write = *group[next++];
            if (auto saved = runPrepared(*connection, "SAVEPOINT one_write"); !saved) {
                write.outcome = saved.error();
                rolledBack = sqlite3_get_autocommit(connection->handle()) != 0;
                continue;
            }
            bool succeeded = false;
            try {
                succeeded = (*write.step)(*connection);
            } catch (...) {
                // Not ours to handle, but the rest of the group must not hang on it.
                write.outcome = Error(kDomain, SQLITE_ERROR, "write failed");
            }
            if (sqlite3_get_autocommit(connection->handle()) != 0) {
                // The earlier writes of this transaction are gone too.
                rolledBack = true;
                if (succeeded) {
                    write.outcome = Error(kDomain, SQLITE_ABORT, "the transaction was rolled back");
                }
                break;
            }
            if (!succeeded) {
                (void)runPrepared(*connection, "ROLLBACK TO one_write");
            }
            (void)runPrepared(*connection, "RELEASE one_write");
        }
        if (rolledBack) {
            failAll(group.begin() + static_cast<std::ptrdiff_t>(first),
                    group.begin() + static_cast<std::ptrdiff_t>(next) - 1,
                    Error(kDomain, SQLITE_ABORT, "the transaction was rolled back"));
            continue;
        }
        if (auto committed = runPrepared(*connection, "COMMIT"); !committed) {
            (void)connection->execute("ROLLBACK");
            failAll(group.begin() + static_cast<std::ptrdiff_t>(first),
                    group.begin() + static_cast<std::ptrdiff_t>(next), committed.error());
        }
    }
    release(std::move(connection));
}

Result<void> Database::migrate(const Migrations& migrations) {
    return write<void>([&](Connection& connection) -> Result<void> {
        auto versionQuery = connection.prepare("PRAGMA user_version");
        if (!versionQuery) {
            return versionQuery.error();
        }
        auto row = versionQuery->step();
        if (!row) {
            return row.error();
        }
        int version = static_cast<int>(versionQuery->integer(0));
        if (version > static_cast<int>(migrations.size())) {
            return Error(kDomain, 1,
                         "database schema version " + std::to_string(version) +
                             " is newer than this program");
        }
        for (size_t next = static_cast<size_t>(version); next < migrations.size(); ++next) {
            if (auto done = connection.execute(migrations[next].c_str()); !done) {
                return Error(kDomain, done.error().code(),
                             "migration to version " + std::to_string(next + 1) + ": " +
                                 done.error().localizedDescription());
            }
        }
        // user_version cannot be bound; the number comes from our own table size.
        std::string setVersion = "PRAGMA user_version=" + std::to_string(migrations.size());
        if (auto done = connection.execute(setVersion.c_str()); !done) {
            return done.error();
        }
        m_schemaVersion = static_cast<int>(migrations.size());
        return Result<void>::success();
    });
}

} // namespace murmelo::servers
