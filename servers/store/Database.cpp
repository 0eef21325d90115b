#include "servers/store/Database.h"

#include <sqlite3.h>

namespace murmelo::servers {

namespace {

constexpr const char* kDomain = "MurmeloDatabase";

Error sqliteError(sqlite3* db, int code, const std::string& context) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    return Error(kDomain, code, context + ": " + message);
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
