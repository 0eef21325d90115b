// ReferenceServers: every server the application talks to, in one HTTP
// server that dispatches on the Host header (the role → host rows of
// servers/HostTable.h): the content server, the maker's servers, the mediation server,
// the ad networks and the third-party stand-ins, plus the admin host with the
// event log (GET /_events[?role=R&after=N], JSON, credentials masked) and an
// index of the hosts. Requests naming 127.0.0.1 or localhost go to the admin
// host. The admin host wants a token (Authorization: Bearer T, or ?token=T)
// when one is configured or the servers listen beyond loopback; a made-up
// one in the latter case when none is configured (adminToken()).
//
//   ReferenceServers::Options options;
//   options.dataDirectory = dir;             // the SQLite file lives here
//   auto servers = ReferenceServers::start(options);   // port 0: any free port
//   ... (*servers)->port(), (*servers)->events().events("content") ...
//
// start() returns once the socket listens. Requests are served on worker
// threads; events() and the accessors are thread-safe. stop() (or
// destruction) ends serving and joins the workers.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/core/Result.h"
#include "servers/EventLog.h"
#include "servers/ServerConfig.h"
#include "servers/http/FormFields.h"
#include "servers/http/HttpServer.h"

namespace murmelo::servers {

class Database;
class ContentStorage;
class ContentStore;

class ReferenceServers {
public:
    struct Options {
        std::string dataDirectory; // created when missing
        ServerConfig config = ServerConfig::defaults();
        std::string bindAddress = "127.0.0.1";
        int port = 0;
        // Where the content server keeps secrets and comments: "" or
        // "sqlite:" the servers' own database file, "sqlite:PATH" another
        // SQLite file, "postgresql://..." (or "postgres://...") a PostgreSQL
        // database that several server processes may share.
        std::string store;
        size_t storeConnections = 8; // PostgreSQL connections at most
        std::chrono::milliseconds storeConnectTimeout{5000};
        std::chrono::milliseconds storeStatementTimeout{10000};
        bool seed = false;       // fill an empty pool with sample secrets
        bool logRequests = true; // one log line per request
        HttpServer::Options http;
        EventLog::Limits eventLog;
        // One /_events reply holds at most this many bytes of events (the
        // log's footprint measure); a reply that left events out says so in
        // kMoreEventsHeader, and the reader asks again with after=.
        size_t maxEventsReplyBytes = 4 * 1024 * 1024;
    };
    static constexpr const char* kMoreEventsHeader = "X-Murmelo-More-Events";

    static constexpr const char* kDatabaseFile = "murmelo-servers.sqlite3";

    static Result<std::unique_ptr<ReferenceServers>> start(Options options);
    ~ReferenceServers();
    ReferenceServers(const ReferenceServers&) = delete;
    ReferenceServers& operator=(const ReferenceServers&) = delete;

    int port() const;
    void stop();
    EventLog& events() { return m_events; }
    const ServerConfig& config() const { return m_options.config; }
    // The token the admin host requires; empty when it is open (loopback
    // and none configured).
    const std::string& adminToken() const { return m_adminToken; }
    Database& database();
    ContentStore& contentStore();
    ContentStorage& contentStorage();

private:
    explicit ReferenceServers(Options options);
    HttpResponse dispatch(HttpRequest& request);
    std::optional<HttpResponse> dispatchAtOnce(HttpRequest& request);
    HttpResponse admin(const HttpRequest& request);
    bool mayUseAdmin(const HttpRequest& request, const FormFields& query) const;

    struct Parts;
    static Result<void> openContentStorage(const Options& options, Parts& parts);
    Options m_options;
    std::string m_adminToken;
    EventLog m_events;
    std::unique_ptr<Parts> m_parts;
    std::unique_ptr<HttpServer> m_http;
};

} // namespace murmelo::servers
