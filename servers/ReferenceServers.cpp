#include "servers/ReferenceServers.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "servers/Credentials.h"
#include "servers/HostTable.h"
#include "servers/content/ContentServer.h"
#include "servers/content/ContentStore.h"
#include "servers/content/SessionCookie.h"
#include "servers/http/FormFields.h"
#include "servers/http/Json.h"
#include "servers/http/Text.h"
#include "servers/maker/MakerServers.h"
#include "servers/maker/StaticSites.h"
#include "servers/mediation/MediationServer.h"
#include "servers/store/Database.h"
#include "servers/store/PostgresContentStorage.h"
#include "servers/store/Schema.h"
#include "servers/store/SqliteContentStorage.h"
#include "servers/thirdparty/FacebookStandIn.h"
#include "servers/thirdparty/ShortenerStandIn.h"
#include "servers/thirdparty/TwitterStandIn.h"

namespace murmelo::servers {

namespace {

// Whether only this machine can reach a listener on `address`.
bool isLoopback(const std::string& address) {
    if (address == "localhost") {
        return true;
    }
    std::string bare = address.size() > 2 && address.front() == '[' && address.back() == ']'
                           ? address.substr(1, address.size() - 2)
                           : address;
    in_addr v4{};
    if (inet_pton(AF_INET, bare.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, bare.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) {
            return true;
        }
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false; // a host name other than localhost may resolve to anything
}

using Digest = std::array<unsigned char, 32>;

Digest sha256(std::string_view text) {
    Digest digest{};
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

// Compares digests, so neither the contents nor the length of the token
// show in the time taken.
bool sameSecret(std::string_view given, std::string_view expected) {
    Digest a = sha256(given);
    Digest b = sha256(expected);
    return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

constexpr size_t kMinAdminTokenLength = 16;

bool isUsableToken(const std::string& token) {
    return token.size() >= kMinAdminTokenLength &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

} // namespace

struct ReferenceServers::Parts {
    std::unique_ptr<Database> database;
    std::unique_ptr<Database> contentDatabase; // a SQLite store of its own
    std::unique_ptr<ContentStorage> contentStorage;
    std::unique_ptr<ContentStore> contentStore;
    std::unique_ptr<ContentServer> content;
    std::unique_ptr<MakerServers> maker;
    std::unique_ptr<StaticSites> sites;
    std::unique_ptr<MediationServer> mediation;
    std::unique_ptr<TwitterStandIn> twitter;
    std::unique_ptr<ShortenerStandIn> shortener;
    std::unique_ptr<FacebookStandIn> facebook;

    // Every role of the host table has its part; a new role without one does
    // not compile (-Wswitch). The admin host is ReferenceServers' own.
    Role* partFor(HostRole role) const {
        switch (role) {
        case HostRole::Content:
            return content.get();
        case HostRole::Status:
        case HostRole::Service:
        case HostRole::Support:
        case HostRole::Link:
            return maker.get();
        case HostRole::MediationConfig:
        case HostRole::MediationHouseAds:
        case HostRole::MediationMetrics:
        case HostRole::AdMob:
        case HostRole::AdSense:
        case HostRole::IAd:
            return mediation.get();
        case HostRole::Images:
        case HostRole::AppStoreWeb:
        case HostRole::AppStoreLink:
            return sites.get();
        case HostRole::TwitterApi:
            return twitter.get();
        case HostRole::ShortenerApi:
        case HostRole::ShortenerLinks:
            return shortener.get();
        case HostRole::FacebookWeb:
        case HostRole::FacebookApi:
        case HostRole::FacebookVideoApi:
            return facebook.get();
        case HostRole::Admin:
            return nullptr;
        }
        return nullptr;
    }
};

Result<void> ReferenceServers::openContentStorage(const Options& options, Parts& parts) {
    const std::string& store = options.store;
    if (store.empty() || store == "sqlite:") {
        parts.contentStorage = std::make_unique<SqliteContentStorage>(*parts.database);
        return Result<void>::success();
    }
    if (store.starts_with("sqlite:")) {
        auto database = Database::open(store.substr(7), serverSchema());
        if (!database) {
            return database.error();
        }
        parts.contentDatabase = std::move(*database);
        parts.contentStorage = std::make_unique<SqliteContentStorage>(*parts.contentDatabase);
        return Result<void>::success();
    }
    if (store.starts_with("postgresql://") || store.starts_with("postgres://")) {
        PgPool::Options pool;
        pool.conninfo = store;
        pool.maxConnections = std::max<size_t>(options.storeConnections, 1);
        pool.timeouts.connect = options.storeConnectTimeout;
        pool.timeouts.statement = options.storeStatementTimeout;
        auto storage = PostgresContentStorage::open(std::move(pool));
        if (!storage) {
            return storage.error();
        }
        parts.contentStorage = std::move(*storage);
        return Result<void>::success();
    }
    return Error("MurmeloServerConfig", 2,
                 "unknown store \"" + store + "\" (sqlite:PATH or postgresql://...)");
}

ReferenceServers::ReferenceServers(Options options)
    : m_options(std::move(options)), m_events(m_options.eventLog) {}

ReferenceServers::~ReferenceServers() {
    stop();
}

Result<std::unique_ptr<ReferenceServers>> ReferenceServers::start(Options options) {
    std::unique_ptr<ReferenceServers> servers(new ReferenceServers(std::move(options)));
    const Options& o = servers->m_options;
    if (!o.config.adminToken.empty()) {
        if (!isUsableToken(o.config.adminToken)) {
            return Error("MurmeloServerConfig", 1,
                         "the admin token must be at least " + std::to_string(kMinAdminTokenLength) +
                             " printable characters without blanks");
        }
        servers->m_adminToken = o.config.adminToken;
    } else if (!isLoopback(o.bindAddress)) {
        servers->m_adminToken = randomHex(16);
    }
    std::error_code ec;
    std::filesystem::create_directories(o.dataDirectory, ec);
    if (ec) {
        return Error::posix(ec.value(), "create " + o.dataDirectory);
    }
    auto parts = std::make_unique<Parts>();
    auto database =
        Database::open((std::filesystem::path(o.dataDirectory) / kDatabaseFile).string(), serverSchema());
    if (!database) {
        return database.error();
    }
    parts->database = std::move(*database);
    if (auto opened = openContentStorage(o, *parts); !opened) {
        return opened.error();
    }
    auto cookie = o.config.content.sessionKey.empty()
                      ? SessionCookie::load(*parts->contentStorage)
                      : Result<SessionCookie>(SessionCookie(o.config.content.sessionKey));
    if (!cookie) {
        return cookie.error();
    }
    parts->contentStore = std::make_unique<ContentStore>(*parts->contentStorage);
    if (o.seed) {
        auto seeded = parts->contentStore->seedIfEmpty(Clock::now());
        if (!seeded) {
            return seeded.error();
        }
    }
    const ServerConfig& config = o.config;
    ContentServer::Limits limits;
    limits.maxSecretLength = config.content.maxSecretLength;
    limits.maxCommentLength = config.content.maxCommentLength;
    limits.pageSize = config.content.pageSize;
    parts->content = std::make_unique<ContentServer>(*parts->contentStore, std::move(*cookie), limits);
    parts->maker = std::make_unique<MakerServers>(*parts->database, config);
    parts->sites = std::make_unique<StaticSites>();
    parts->mediation = std::make_unique<MediationServer>(*parts->database, config);
    parts->twitter = std::make_unique<TwitterStandIn>(*parts->database, config);
    parts->shortener = std::make_unique<ShortenerStandIn>(*parts->database);
    parts->facebook = std::make_unique<FacebookStandIn>(*parts->database, config, &servers->m_events);
    servers->m_parts = std::move(parts);

    ReferenceServers* self = servers.get();
    servers->m_http = std::make_unique<HttpServer>(
        [self](HttpRequest& request) { return self->dispatch(request); }, o.http);
    servers->m_http->setQuickHandler([self](HttpRequest& request) { return self->dispatchAtOnce(request); });
    if (o.logRequests) {
        servers->m_http->setAccessLog([](const std::string& host, const std::string& method,
                                         const std::string& target, int status, size_t bytes) {
            // A ?token= (the admin host's, or any client's) stays out of the log.
            size_t question = target.find('?');
            std::string shown =
                question == std::string::npos
                    ? target
                    : target.substr(0, question + 1) + maskFormCredentials(target.substr(question + 1));
            logLine("%s %s %s -> %d (%zu bytes)", host.c_str(), method.c_str(), shown.c_str(), status, bytes);
        });
    }
    auto port = servers->m_http->start(o.bindAddress, o.port);
    if (!port) {
        return port.error();
    }
    return servers;
}

int ReferenceServers::port() const {
    return m_http ? m_http->port() : 0;
}

void ReferenceServers::stop() {
    if (m_http) {
        m_http->stop();
    }
}

Database& ReferenceServers::database() {
    return *m_parts->database;
}

ContentStorage& ReferenceServers::contentStorage() {
    return *m_parts->contentStorage;
}

ContentStore& ReferenceServers::contentStore() {
    return *m_parts->contentStore;
}

HttpResponse ReferenceServers::dispatch(HttpRequest& request) {
    std::optional<HostRole> role = roleForHost(request.host);
    if (request.host == "127.0.0.1" || request.host == "localhost" || request.host == "[::1]") {
        role = HostRole::Admin;
    }
    if (!role) {
        HttpResponse response = HttpResponse::text("no server here for host \"" + request.host + "\"\n", 421);
        m_events.record(request, "unknown", response.status);
        return response;
    }
    if (*role == HostRole::Admin) {
        // The admin host's own reads would only clutter the log they show.
        if (!mayUseAdmin(request, parseQueryLeniently(request.query))) {
            return HttpResponse::text("the admin host wants its token\n", 401)
                .withHeader("WWW-Authenticate", "Bearer realm=\"murmelo admin\"");
        }
        return admin(request);
    }
    HttpResponse response = m_parts->partFor(*role)->handle(request);
    m_events.record(request, std::string(roleName(*role)), response.status);
    return response;
}

std::optional<HttpResponse> ReferenceServers::dispatchAtOnce(HttpRequest& request) {
    std::optional<HostRole> role = roleForHost(request.host);
    if (!role || *role == HostRole::Admin) {
        return std::nullopt;
    }
    std::optional<HttpResponse> response = m_parts->partFor(*role)->answerAtOnce(request);
    if (response) {
        m_events.record(request, std::string(roleName(*role)), response->status);
    }
    return response;
}

bool ReferenceServers::mayUseAdmin(const HttpRequest& request, const FormFields& query) const {
    if (m_adminToken.empty()) {
        return true;
    }
    if (auto authorization = request.header("Authorization")) {
        std::string_view value = *authorization;
        constexpr std::string_view kScheme = "Bearer ";
        if (value.size() > kScheme.size() && strncasecmp(value.data(), kScheme.data(), kScheme.size()) == 0) {
            value.remove_prefix(kScheme.size());
            while (!value.empty() && value.front() == ' ') {
                value.remove_prefix(1);
            }
            if (sameSecret(value, m_adminToken)) {
                return true;
            }
        }
    }
    auto token = query.get("token");
    return token && sameSecret(*token, m_adminToken);
}

HttpResponse ReferenceServers::admin(const HttpRequest& request) {
    FormFields query = parseQueryLeniently(request.query);
    if (request.path == "/_events") {
        if (request.method == "DELETE") {
            m_events.clear();
            return HttpResponse::text("cleared\n");
        }
        std::uint64_t after = 0;
        std::string afterText = query.getOr("after", "0");
        for (char c : afterText) {
            if (c < '0' || c > '9' || after > 1'000'000'000'000ULL) {
                return HttpResponse::text("\"after\" must be a number\n", 400);
            }
            after = after * 10 + static_cast<std::uint64_t>(c - '0');
        }
        EventLog::Slice slice = m_events.slice(query.getOr("role", ""), after, m_options.maxEventsReplyBytes);
        for (RecordedEvent& event : slice.events) {
            event = maskCredentials(std::move(event));
        }
        HttpResponse reply = HttpResponse::json(jsonReply(EventLog::toValue(slice.events)));
        if (slice.more) {
            reply.headers.emplace_back(kMoreEventsHeader, "1");
        }
        return reply;
    }
    if (request.path != "/") {
        return HttpResponse::text("not found\n", 404);
    }
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Murmelo reference "
        "servers</title></head><body><h1>Murmelo reference servers</h1>\n<table>\n"
        "<tr><th>role</th><th>host</th><th>serves</th></tr>\n";
    // A browser that came with ?token= keeps it for the log.
    std::string eventsLink = "/_events";
    if (auto token = query.get("token"); token && !m_adminToken.empty()) {
        eventsLink += "?token=" + percentEncode(*token);
    }
    for (const HostEntry& entry : hostTable()) {
        out += "<tr><td>" + htmlEscape(entry.name) + "</td><td>" + htmlEscape(entry.host) + "</td><td>" +
               htmlEscape(entry.description) + "</td></tr>\n";
    }
    out += "</table>\n<p>" + std::to_string(m_events.lastSequence()) + " requests so far. <a href=\"" +
           htmlEscape(eventsLink) + "\">Event log (JSON)</a></p>\n</body></html>\n";
    return HttpResponse::html(std::move(out));
}

} // namespace murmelo::servers
