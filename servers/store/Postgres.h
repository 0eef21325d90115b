// Postgres: a small RAII layer over libpq's C API for the content storage.
//
// PgConnection is one session. Every wait is bounded: the connection is made
// with PQconnectStartParams/PQconnectPoll and poll() against a deadline (and
// connect_timeout as libpq's own bound), and each statement is sent with the
// asynchronous calls and its answer awaited on the socket until a deadline
// (statement_timeout, set on the session, lets the server give up first). A
// statement that misses its deadline closes the session: its state is then
// unknown. Synchronous commit is switched on for the session, so a COMMIT
// (or a statement outside a transaction) returns only once durable.
//
// Parameters are sent as text; a zero byte cannot travel in text, so a
// parameter holding one is refused rather than cut short.
//
// PgPool lends sessions to threads, opens them on demand up to a maximum and
// drops those that broke, so the pool recovers by itself when the server
// comes back. Failures that mean "the server cannot be reached" come as
// ContentStorage::kUnavailable; the server's other errors in kDomain with
// the SQLSTATE in the message.
//
// Threads: a PgConnection belongs to one thread at a time; PgPool is
// thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"

struct pg_conn;
struct pg_result;

namespace murmelo::servers {

struct PgTimeouts {
    std::chrono::milliseconds connect{5000};
    std::chrono::milliseconds statement{10000};
};

class PgResult {
public:
    explicit PgResult(pg_result* result) : m_result(result) {}
    ~PgResult();
    PgResult(PgResult&& other) noexcept : m_result(other.m_result) { other.m_result = nullptr; }
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    int rows() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;
    // 0 for a value that is not a number (the columns we read are typed).
    std::int64_t integer(int row, int column) const;
    double real(int row, int column) const;

private:
    pg_result* m_result;
};

// A parameter: text, or SQL NULL.
using PgParam = std::optional<std::string>;

class PgConnection {
public:
    static constexpr const char* kDomain = "MurmeloPostgres";

    static Result<std::unique_ptr<PgConnection>> open(const std::string& conninfo,
                                                      const PgTimeouts& timeouts);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // One statement with $1.. parameters (extended protocol).
    Result<PgResult> query(const char* sql, const std::vector<PgParam>& params = {});
    // One or more statements without parameters (simple protocol).
    Result<void> execute(const char* sql);

    // Closed, or the server ended the session.
    bool isBroken() const;
    // No transaction open (one left open must not be lent again).
    bool isOutsideTransaction() const;
    // Reads what arrived while idle (a server that went down says so), so a
    // lent connection is known good or broken before a statement is trusted
    // to it.
    bool isHealthyWhenIdle();

private:
    PgConnection(pg_conn* connection, PgTimeouts timeouts) : m_connection(connection), m_timeouts(timeouts) {}
    Result<PgResult> await(std::chrono::steady_clock::time_point deadline);
    Result<void> flush(std::chrono::steady_clock::time_point deadline);
    void close();

    pg_conn* m_connection;
    PgTimeouts m_timeouts;
};

class PgPool {
public:
    struct Options {
        std::string conninfo; // a postgresql:// URI or key=value pairs
        PgTimeouts timeouts;
        size_t maxConnections = 8;
    };

    // A lent connection; goes back to the pool (or is dropped when broken)
    // when it goes away.
    class Lease {
    public:
        Lease(PgPool& pool, std::unique_ptr<PgConnection> connection)
            : m_pool(&pool), m_connection(std::move(connection)) {}
        Lease(Lease&& other) noexcept = default;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        PgConnection& operator*() { return *m_connection; }
        PgConnection* operator->() { return m_connection.get(); }

    private:
        PgPool* m_pool;
        std::unique_ptr<PgConnection> m_connection;
    };

    explicit PgPool(Options options) : m_options(std::move(options)) {}
    // An idle connection, a new one, or — when all are lent — the first one
    // given back within the connect time-out.
    Result<Lease> acquire();
    const Options& options() const { return m_options; }

private:
    void release(std::unique_ptr<PgConnection> connection);

    Options m_options;
    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::vector<std::unique_ptr<PgConnection>> m_idle;
    size_t m_open = 0; // lent and idle
};

} // namespace murmelo::servers
