// ConnectToMap: sends connections for a host and port to another address,
// like curl's --connect-to, while the URL, the Host header and the cookies
// stay those of the original host. This is how the app, whose host names are
// its own constants, reaches the reference servers on loopback.
//
//   auto& map = ConnectToMap::shared();
//   (void)map.addRules("content.murmelo.example:80:127.0.0.1:18080,::127.0.0.1:18081");
//   map.lookup("content.murmelo.example", 80);  // {"127.0.0.1", 18080}
//
// A rule is "HOST:PORT:ADDR:PORT2". An empty HOST or PORT matches any; an
// empty ADDR or PORT2 keeps the original. HOST and ADDR may be IPv6 literals
// in brackets. The first rule that matches wins. Rules come from the
// command line (each option one or more comma-separated rules) and from the
// environment variable MURMELO_CONNECT_TO (comma-separated).
//
// Thread-safe: lookups may run on any thread while rules are added.
#pragma once

#include <map>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"

namespace murmelo {

struct ConnectToRule {
    std::optional<std::string> host;    // lower-case; nothing = any host
    std::optional<int> port;            // nothing = any port
    std::optional<std::string> address; // nothing = the original host
    std::optional<int> targetPort;      // nothing = the original port

    static Result<ConnectToRule> parse(std::string_view text);
    // The rule in curl's CURLOPT_CONNECT_TO form.
    std::string text() const;
    bool operator==(const ConnectToRule&) const = default;
};

class ConnectToMap {
public:
    static constexpr const char* kEnvironmentVariable = "MURMELO_CONNECT_TO";

    struct Target {
        std::string address; // IPv6 keeps its brackets
        int port = 0;
        bool operator==(const Target&) const = default;
    };

    ConnectToMap() = default;
    ConnectToMap(const ConnectToMap&) = delete;
    ConnectToMap& operator=(const ConnectToMap&) = delete;

    // The process-wide map the HTTP transport consults.
    static ConnectToMap& shared();

    // Adds comma-separated rules; nothing is added if one of them is invalid.
    Result<void> addRules(std::string_view commaSeparated);
    // Adds the rules of MURMELO_CONNECT_TO from `environment` (absent = none).
    Result<void> addRulesFromEnvironment(const std::map<std::string, std::string>& environment);
    Result<void> addRulesFromProcessEnvironment();
    void clear();

    std::vector<ConnectToRule> rules() const;
    // Where to connect for host:port; nothing when no rule applies.
    std::optional<Target> lookup(std::string_view host, int port) const;
    // Every rule as a CURLOPT_CONNECT_TO entry, in order.
    std::vector<std::string> curlConnectToStrings() const;

private:
    mutable std::shared_mutex m_mutex;
    std::vector<ConnectToRule> m_rules;
};

} // namespace murmelo
