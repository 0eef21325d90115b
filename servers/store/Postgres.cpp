#include "servers/store/Postgres.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "servers/store/ContentStorage.h"

namespace murmelo::servers {

namespace {

using Clock = std::chrono::steady_clock;

std::string messageOf(pg_conn* connection) {
    std::string text = connection ? PQerrorMessage(connection) : "out of memory";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    // libpq may report several attempts on several lines; one line reads better in a log.
    std::string line;
    for (char c : text) {
        bool blank = c == '\n' || c == '\t' || c == ' ';
        if (!blank) {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    return line;
}

// Waits until the socket is ready or the deadline passes; false on time-out.
bool waitFor(int socket, short events, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd fd{socket, events, 0};
        int ready = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 60'000)));
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return true; // let libpq meet the error itself
        }
    }
}

// SQLSTATE classes that mean the server is not there for us now.
bool meansUnavailable(const char* state) {
    if (!state) {
        return false;
    }
    std::string_view code(state);
    return code.starts_with("08") ||             // connection exception
           code == "57P01" || code == "57P02" || // admin / crash shutdown
           code == "57P03" || code == "53300" || // cannot connect now, too many connections
           code == "40001" || code == "40P01";   // serialization failure, deadlock: try again
}

} // namespace

// ---- PgResult ----

PgResult::~PgResult() {
    if (m_result) {
        PQclear(m_result);
    }
}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        if (m_result) {
            PQclear(m_result);
        }
        m_result = other.m_result;
        other.m_result = nullptr;
    }
    return *this;
}

int PgResult::rows() const {
    return m_result ? PQntuples(m_result) : 0;
}

bool PgResult::isNull(int row, int column) const {
    return PQgetisnull(m_result, row, column) != 0;
}

std::string PgResult::text(int row, int column) const {
    return std::string(PQgetvalue(m_result, row, column),
                       static_cast<size_t>(PQgetlength(m_result, row, column)));
}

std::int64_t PgResult::integer(int row, int column) const {
    return std::strtoll(PQgetvalue(m_result, row, column), nullptr, 10);
}

double PgResult::real(int row, int column) const {
    return std::strtod(PQgetvalue(m_result, row, column), nullptr);
}

// ---- PgConnection ----

Result<std::unique_ptr<PgConnection>> PgConnection::open(const std::string& conninfo,
                                                         const PgTimeouts& timeouts) {
    // libpq's own bound is whole seconds, at least 2; ours below is exact.
    std::string seconds = std::to_string(std::max<long long>(2, (timeouts.connect.count() + 999) / 1000));
    // Ours first: the caller's conninfo, expanded from dbname, overrides them.
    // GSS encryption only when asked for: probing for Kerberos credentials
    // on every connection costs time where there are none.
    const char* keywords[] = {"connect_timeout", "application_name", "gssencmode", "dbname", nullptr};
    const char* values[] = {seconds.c_str(), "murmelo", "disable", conninfo.c_str(), nullptr};
    pg_conn* connection = PQconnectStartParams(keywords, values, 1);
    if (!connection || PQstatus(connection) == CONNECTION_BAD) {
        std::string message = messageOf(connection);
        PQfinish(connection);
        return unavailableError("cannot reach PostgreSQL: " + message);
    }
    auto deadline = Clock::now() + timeouts.connect;
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK) {
        if (state == PGRES_POLLING_FAILED) {
            std::string message = messageOf(connection);
            PQfinish(connection);
            return unavailableError("cannot reach PostgreSQL: " + message);
        }
        short events = state == PGRES_POLLING_READING ? POLLIN : POLLOUT;
        if (!waitFor(PQsocket(connection), events, deadline)) {
            PQfinish(connection);
            return unavailableError("cannot reach PostgreSQL: no answer within " +
                                    std::to_string(timeouts.connect.count()) + " ms");
        }
        state = PQconnectPoll(connection);
    }
    if (PQsetnonblocking(connection, 1) != 0) {
        std::string message = messageOf(connection);
        PQfinish(connection);
        return Error(kDomain, 1, message);
    }
    std::unique_ptr<PgConnection> session(new PgConnection(connection, timeouts));
    std::string setup =
        "SET synchronous_commit = on; SET statement_timeout = " + std::to_string(timeouts.statement.count()) +
        "; SET client_encoding = 'UTF8'";
    if (auto done = session->execute(setup.c_str()); !done) {
        return done.error();
    }
    return session;
}

PgConnection::~PgConnection() {
    close();
}

void PgConnection::close() {
    if (m_connection) {
        PQfinish(m_connection);
        m_connection = nullptr;
    }
}

bool PgConnection::isBroken() const {
    return !m_connection || PQstatus(m_connection) != CONNECTION_OK;
}

bool PgConnection::isOutsideTransaction() const {
    return m_connection && PQtransactionStatus(m_connection) == PQTRANS_IDLE;
}

bool PgConnection::isHealthyWhenIdle() {
    if (isBroken()) {
        return false;
    }
    pollfd fd{PQsocket(m_connection), POLLIN, 0};
    if (::poll(&fd, 1, 0) > 0) {
        // An idle session hears only of its end (or a notice): read it.
        if (PQconsumeInput(m_connection) == 0) {
            close();
            return false;
        }
        while (PGresult* stray = PQgetResult(m_connection)) {
            PQclear(stray);
        }
    }
    return !isBroken();
}

Result<void> PgConnection::flush(Clock::time_point deadline) {
    for (;;) {
        int left = PQflush(m_connection);
        if (left == 0) {
            return Result<void>::success();
        }
        if (left < 0) {
            std::string message = messageOf(m_connection);
            close();
            return unavailableError("PostgreSQL: " + message);
        }
        if (!waitFor(PQsocket(m_connection), POLLIN | POLLOUT, deadline)) {
            close();
            return unavailableError("PostgreSQL: sending timed out");
        }
        if (PQconsumeInput(m_connection) == 0) {
            std::string message = messageOf(m_connection);
            close();
            return unavailableError("PostgreSQL: " + message);
        }
    }
}

Result<PgResult> PgConnection::await(Clock::time_point deadline) {
    std::optional<PgResult> last;
    std::optional<Error> failure;
    for (;;) {
        while (PQisBusy(m_connection)) {
            if (!waitFor(PQsocket(m_connection), POLLIN, deadline)) {
                // What the server did with the statement is unknown now; the
                // session cannot be trusted with another one.
                close();
                return unavailableError("PostgreSQL: no answer within the statement time-out");
            }
            if (PQconsumeInput(m_connection) == 0) {
                std::string message = messageOf(m_connection);
                close();
                return unavailableError("PostgreSQL: " + message);
            }
        }
        PGresult* result = PQgetResult(m_connection);
        if (!result) {
            break;
        }
        ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            last.emplace(result);
            continue;
        }
        if (!failure) {
            const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
            std::string message = PQresultErrorMessage(result);
            while (!message.empty() && message.back() == '\n') {
                message.pop_back();
            }
            if (meansUnavailable(state) || PQstatus(m_connection) != CONNECTION_OK) {
                failure = unavailableError("PostgreSQL: " + message);
            } else {
                failure = Error(kDomain, 2, std::string(state ? state : "") + " " + message);
            }
        }
        PQclear(result);
    }
    if (isBroken()) {
        close();
        return failure ? *failure : unavailableError("PostgreSQL: the connection was lost");
    }
    if (failure) {
        return *failure;
    }
    if (!last) {
        return PgResult(nullptr);
    }
    return std::move(*last);
}

Result<PgResult> PgConnection::query(const char* sql, const std::vector<PgParam>& params) {
    if (isBroken()) {
        return unavailableError("PostgreSQL: the connection was lost");
    }
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const PgParam& param : params) {
        if (param && param->find('\0') != std::string::npos) {
            return Error(kDomain, 3, "a text parameter holds a zero byte");
        }
        values.push_back(param ? param->c_str() : nullptr);
    }
    auto deadline = Clock::now() + m_timeouts.statement + std::chrono::seconds(1);
    if (PQsendQueryParams(m_connection, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                          nullptr, 0) == 0) {
        std::string message = messageOf(m_connection);
        close();
        return unavailableError("PostgreSQL: " + message);
    }
    if (auto sent = flush(deadline); !sent) {
        return sent.error();
    }
    return await(deadline);
}

Result<void> PgConnection::execute(const char* sql) {
    if (isBroken()) {
        return unavailableError("PostgreSQL: the connection was lost");
    }
    auto deadline = Clock::now() + m_timeouts.statement + std::chrono::seconds(1);
    if (PQsendQuery(m_connection, sql) == 0) {
        std::string message = messageOf(m_connection);
        close();
        return unavailableError("PostgreSQL: " + message);
    }
    if (auto sent = flush(deadline); !sent) {
        return sent.error();
    }
    auto done = await(deadline);
    if (!done) {
        return done.error();
    }
    return Result<void>::success();
}

// ---- PgPool ----

PgPool::Lease::~Lease() {
    if (m_connection) {
        m_pool->release(std::move(m_connection));
    }
}

Result<PgPool::Lease> PgPool::acquire() {
    auto deadline = Clock::now() + m_options.timeouts.connect;
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (!m_idle.empty()) {
            std::unique_ptr<PgConnection> connection = std::move(m_idle.back());
            m_idle.pop_back();
            if (connection->isHealthyWhenIdle()) {
                return Lease(*this, std::move(connection));
            }
            --m_open;
        }
        if (m_open < m_options.maxConnections) {
            ++m_open;
            lock.unlock();
            auto fresh = PgConnection::open(m_options.conninfo, m_options.timeouts);
            if (!fresh) {
                lock.lock();
                --m_open;
                m_returned.notify_one();
                return fresh.error();
            }
            return Lease(*this, std::move(*fresh));
        }
        if (m_returned.wait_until(lock, deadline) == std::cv_status::timeout && m_idle.empty() &&
            m_open >= m_options.maxConnections) {
            return unavailableError("PostgreSQL: every connection of the pool stayed busy");
        }
    }
}

void PgPool::release(std::unique_ptr<PgConnection> connection) {
    std::lock_guard lock(m_mutex);
    if (connection->isBroken() || !connection->isOutsideTransaction()) {
        --m_open;
    } else {
        m_idle.push_back(std::move(connection));
    }
    m_returned.notify_one();
}

} // namespace murmelo::servers
