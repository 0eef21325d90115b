// Helpers for the servers' tests: reference servers on an ephemeral loopback
// port with a fresh data directory, and a real HTTP client (libcurl) that
// reaches any role by its host name through a connect-to mapping, so URLs,
// Host headers and cookie domains are the ones the application uses.
// Every request has a 10-second bound.
#pragma once

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "servers/ReferenceServers.h"
#include "tests/support/postgres_scratch.h"
#include "tests/support/temporary_directory.h"

namespace murmelo::servers::test {

struct Reply {
    long status = 0;
    std::string body;
    std::multimap<std::string, std::string> headers; // names lower-case
    std::string error;                               // curl's, when the exchange failed

    std::string header(const std::string& name) const {
        auto found = headers.find(name);
        return found == headers.end() ? "" : found->second;
    }
};

class Client {
public:
    explicit Client(int port) : m_curl(curl_easy_init()) {
        m_connectTo = curl_slist_append(nullptr, ("::127.0.0.1:" + std::to_string(port)).c_str());
        curl_easy_setopt(m_curl, CURLOPT_COOKIEFILE, ""); // in-memory cookie jar, like the device's store
    }
    ~Client() {
        curl_slist_free_all(m_connectTo);
        curl_easy_cleanup(m_curl);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    Reply get(const std::string& url, const std::vector<std::string>& headers = {}) {
        return send("GET", url, nullptr, headers);
    }
    Reply post(const std::string& url, const std::string& body,
               const std::string& contentType = "application/x-www-form-urlencoded",
               const std::vector<std::string>& headers = {}) {
        std::vector<std::string> all = headers;
        all.push_back("Content-Type: " + contentType);
        return send("POST", url, &body, all);
    }
    Reply send(const std::string& method, const std::string& url, const std::string* body,
               const std::vector<std::string>& headers) {
        Reply reply;
        curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_curl, CURLOPT_CONNECT_TO, m_connectTo);
        curl_easy_setopt(m_curl, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, 10L);
        curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 0L);
        if (body) {
            curl_easy_setopt(m_curl, CURLOPT_POST, 1L);
            curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, body->data());
            curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        } else {
            curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
        }
        curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST,
                         method == "GET" || method == "POST" ? nullptr : method.c_str());
        curl_slist* list = nullptr;
        for (const std::string& h : headers) {
            list = curl_slist_append(list, h.c_str());
        }
        curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &Client::onBody);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &reply.body);
        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &Client::onHeader);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, &reply.headers);
        CURLcode rc = curl_easy_perform(m_curl);
        if (rc != CURLE_OK) {
            reply.error = curl_easy_strerror(rc);
        }
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &reply.status);
        curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
        curl_slist_free_all(list);
        return reply;
    }
    // Forgets every cookie (a new device).
    void clearCookies() { curl_easy_setopt(m_curl, CURLOPT_COOKIELIST, "ALL"); }

private:
    static size_t onBody(char* data, size_t size, size_t count, void* target) {
        static_cast<std::string*>(target)->append(data, size * count);
        return size * count;
    }
    static size_t onHeader(char* data, size_t size, size_t count, void* target) {
        std::string line(data, size * count);
        auto colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            std::string value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') {
                value.erase(0, 1);
            }
            while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
                value.pop_back();
            }
            static_cast<std::multimap<std::string, std::string>*>(target)->emplace(name, value);
        }
        return size * count;
    }

    CURL* m_curl;
    curl_slist* m_connectTo;
};

// The content stores a suite runs against (INSTANTIATE_TEST_SUITE_P with
// kStores and storeName).
enum class Store { Sqlite, Postgres };
inline const Store kStores[] = {Store::Sqlite, Store::Postgres};
inline std::string storeName(const ::testing::TestParamInfo<Store>& info) {
    return info.param == Store::Sqlite ? "Sqlite" : "Postgres";
}

// The ReferenceServers::Options::store of a fresh, empty store of `kind`:
// "" for the servers' own SQLite file, a schema of its own on the test run's
// PostgreSQL. Skips the test (fails it where PostgreSQL is required) when
// PostgreSQL is not there.
#define MURMELO_FRESH_STORE(kind, into)                                                                      \
    do {                                                                                                     \
        (into).clear();                                                                                      \
        if ((kind) == ::murmelo::servers::test::Store::Postgres) {                                           \
            ::murmelo::test::ScratchPostgres& scratchServer = ::murmelo::test::ScratchPostgres::shared();    \
            MURMELO_SKIP_WITHOUT_POSTGRES(scratchServer);                                                    \
            (into) = scratchServer.freshUrl();                                                               \
            ASSERT_FALSE((into).empty()) << "no schema on the test PostgreSQL";                              \
        }                                                                                                    \
    } while (false)

// Servers with a fresh data directory, stopped at the end of the test. The
// content lives in `store` (ReferenceServers::Options::store; "" the data
// directory's SQLite file).
class ServersFixture : public ::testing::Test {
protected:
    void SetUp() override { startServers(ServerConfig::defaults()); }

    void startServers(ServerConfig config, bool seed = false,
                      const std::function<void(ReferenceServers::Options&)>& adjust = {}) {
        client.reset();
        servers.reset();
        ReferenceServers::Options options;
        options.dataDirectory = directory.path() + "/data";
        options.config = std::move(config);
        options.seed = seed;
        options.store = store;
        options.logRequests = false;
        options.http.workerThreads = 16;
        if (adjust) {
            adjust(options);
        }
        auto started = ReferenceServers::start(options);
        ASSERT_TRUE(started) << started.error().localizedDescription();
        servers = std::move(*started);
        client = std::make_unique<Client>(servers->port());
    }

    static std::string content(const std::string& pathAndQuery) {
        return "http://secrets.murmelo.example/" + pathAndQuery;
    }

    murmelo::test::TemporaryDirectory directory;
    std::string store;
    std::unique_ptr<ReferenceServers> servers;
    std::unique_ptr<Client> client;
};

// Reference servers in a forked process of their own, killed with SIGKILL
// when this goes away. port() is -1 when they did not start within 20 s.
class ServerProcess {
public:
    explicit ServerProcess(const ReferenceServers::Options& options) {
        int channel[2];
        if (pipe(channel) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            close(channel[0]);
            auto started = ReferenceServers::start(options);
            int port = started ? (*started)->port() : -1;
            (void)!write(channel[1], &port, sizeof port);
            for (;;) {
                pause(); // until killed
            }
        }
        close(channel[1]);
        pollfd ready{channel[0], POLLIN, 0};
        if (m_pid > 0 && poll(&ready, 1, 20000) == 1) {
            (void)!read(channel[0], &m_port, sizeof m_port);
        }
        close(channel[0]);
    }
    ~ServerProcess() { kill9(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return m_port; }
    // Kills and reaps the process: its wait status, or nothing when it was
    // already gone.
    std::optional<int> kill9() {
        if (m_pid <= 0) {
            return std::nullopt;
        }
        kill(m_pid, SIGKILL);
        int status = 0;
        const bool reaped = waitpid(m_pid, &status, 0) == m_pid;
        m_pid = 0;
        return reaped ? std::optional<int>(status) : std::nullopt;
    }

private:
    pid_t m_pid = 0;
    int m_port = -1;
};

} // namespace murmelo::servers::test
