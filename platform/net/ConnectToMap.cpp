#include "platform/net/ConnectToMap.h"

#include <cstdlib>
#include <mutex>

#include "platform/core/Text.h"
#include "platform/net/NetError.h"
#include "platform/net/internal/NetText.h"

namespace murmelo {

using namespace net_internal;

namespace {

Error invalid(std::string_view rule, const std::string& why) {
    return netError(NetErrorCode::ConnectToRuleInvalid,
                    "Invalid connect-to rule \"" + std::string(rule) + "\": " + why);
}

bool isHostNameCharacter(char c) {
    return isASCIIAlpha(c) || isASCIIDigit(c) || c == '-' || c == '.' || c == '_';
}

// Takes a host (a name or a bracketed IPv6 literal) up to the next ':'.
// On success `rest` starts after that ':' (or is empty when `last`).
std::optional<std::string> takeHost(std::string_view& rest, bool& ok, std::string& why) {
    ok = true;
    std::string_view host;
    if (rest.starts_with('[')) {
        size_t close = rest.find(']');
        if (close == std::string_view::npos || !isIPv6Literal(rest.substr(1, close - 1))) {
            ok = false;
            why = "bad IPv6 literal";
            return std::nullopt;
        }
        host = rest.substr(0, close + 1);
        rest.remove_prefix(close + 1);
    } else {
        size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon);
        for (char c : host) {
            if (!isHostNameCharacter(c)) {
                ok = false;
                why = "bad character in host \"" + std::string(host) + "\"";
                return std::nullopt;
            }
        }
    }
    if (host.empty()) {
        return std::nullopt;
    }
    return asciiLowercase(host);
}

std::optional<int> takePort(std::string_view& rest, bool& ok, std::string& why) {
    ok = true;
    size_t colon = rest.find(':');
    std::string_view text = rest.substr(0, colon);
    rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon);
    if (text.empty()) {
        return std::nullopt;
    }
    auto port = parsePort(text);
    if (!port || *port == 0) {
        ok = false;
        why = "bad port \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    return port;
}

bool takeColon(std::string_view& rest) {
    if (!rest.starts_with(':')) {
        return false;
    }
    rest.remove_prefix(1);
    return true;
}

} // namespace

Result<ConnectToRule> ConnectToRule::parse(std::string_view text) {
    std::string_view rest = trimWhitespace(text);
    ConnectToRule rule;
    bool ok = true;
    std::string why;
    rule.host = takeHost(rest, ok, why);
    if (!ok) {
        return invalid(text, why);
    }
    if (!takeColon(rest)) {
        return invalid(text, "expected HOST:PORT:ADDR:PORT2");
    }
    rule.port = takePort(rest, ok, why);
    if (!ok) {
        return invalid(text, why);
    }
    if (!takeColon(rest)) {
        return invalid(text, "expected HOST:PORT:ADDR:PORT2");
    }
    rule.address = takeHost(rest, ok, why);
    if (!ok) {
        return invalid(text, why);
    }
    if (!takeColon(rest)) {
        return invalid(text, "expected HOST:PORT:ADDR:PORT2");
    }
    rule.targetPort = takePort(rest, ok, why);
    if (!ok) {
        return invalid(text, why);
    }
    if (!rest.empty()) {
        return invalid(text, "text after PORT2");
    }
    return rule;
}

std::string ConnectToRule::text() const {
    return host.value_or("") + ":" + (port ? std::to_string(*port) : "") + ":" + address.value_or("") + ":" +
           (targetPort ? std::to_string(*targetPort) : "");
}

ConnectToMap& ConnectToMap::shared() {
    static ConnectToMap map;
    return map;
}

Result<void> ConnectToMap::addRules(std::string_view commaSeparated) {
    std::vector<ConnectToRule> parsed;
    for (std::string_view piece : text::split(commaSeparated, ',')) {
        if (trimWhitespace(piece).empty()) {
            continue;
        }
        MURMELO_TRY_VALUE(auto rule, ConnectToRule::parse(piece));
        parsed.push_back(std::move(rule));
    }
    std::unique_lock lock(m_mutex);
    m_rules.insert(m_rules.end(), parsed.begin(), parsed.end());
    return {};
}

Result<void> ConnectToMap::addRulesFromEnvironment(const std::map<std::string, std::string>& environment) {
    auto it = environment.find(kEnvironmentVariable);
    if (it == environment.end()) {
        return {};
    }
    return addRules(it->second);
}

Result<void> ConnectToMap::addRulesFromProcessEnvironment() {
    const char* value = std::getenv(kEnvironmentVariable);
    if (!value) {
        return {};
    }
    return addRules(value);
}

void ConnectToMap::clear() {
    std::unique_lock lock(m_mutex);
    m_rules.clear();
}

std::vector<ConnectToRule> ConnectToMap::rules() const {
    std::shared_lock lock(m_mutex);
    return m_rules;
}

std::optional<ConnectToMap::Target> ConnectToMap::lookup(std::string_view host, int port) const {
    std::string name = asciiLowercase(host);
    if (isIPv6Literal(name)) {
        name = "[" + name + "]";
    }
    std::shared_lock lock(m_mutex);
    for (const ConnectToRule& rule : m_rules) {
        if ((rule.host && *rule.host != name) || (rule.port && *rule.port != port)) {
            continue;
        }
        return Target{rule.address.value_or(name), rule.targetPort.value_or(port)};
    }
    return std::nullopt;
}

std::vector<std::string> ConnectToMap::curlConnectToStrings() const {
    std::shared_lock lock(m_mutex);
    std::vector<std::string> out;
    for (const ConnectToRule& rule : m_rules) {
        out.push_back(rule.text());
    }
    return out;
}

} // namespace murmelo
