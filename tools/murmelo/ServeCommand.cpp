#include "tools/murmelo/ServeCommand.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <optional>
#include <sstream>
#include <string>
#include <variant>

#include "app/product/Constants.h"
#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "servers/ReferenceServers.h"
#include "servers/http/Json.h"

namespace murmelo::tool {

namespace {

constexpr const char* kUsage =
    "usage: murmelo serve [--port N] [--address A] [--listen A:N] [--data DIR] [--config FILE] [--seed]\n"
    "                     [--store sqlite:PATH|postgresql://...] [--store-connections N]\n"
    "                     [--admin-token T] [--duration SECONDS] [--quiet] [--mediation PRESET]\n";

// "127.0.0.1:8081", "[::1]:8081" → address and port.
bool parseListen(const std::string& text, std::string& address, long& port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    char* end = nullptr;
    std::string digits = text.substr(colon + 1);
    long value = std::strtol(digits.c_str(), &end, 10);
    if (digits.empty() || !end || *end != '\0' || value < 0 || value > 65535 || host.empty()) {
        return false;
    }
    address = host;
    port = value;
    return true;
}

bool parseNumber(const std::string& text, long min, long max, long& out) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (!end || *end != '\0' || value < min || value > max) {
        return false;
    }
    out = value;
    return true;
}

Result<servers::ServerConfig> loadConfig(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Error::posix(errno, "open " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto value = servers::parseJson(text.str());
    if (!value) {
        return Error("MurmeloServerConfig", 1, path + ": not JSON: " + value.error().localizedDescription());
    }
    return servers::ServerConfig::fromValue(*value);
}

struct ServeOptions {
    servers::ReferenceServers::Options servers;
    long duration = 0; // seconds; 0 = until a signal
};

// The options, or the exit status when they are not usable (the reason is
// written to `err`).
std::variant<ServeOptions, int> parseServeOptions(std::span<const std::string> args, std::ostream& err) {
    ServeOptions parsed;
    servers::ReferenceServers::Options& options = parsed.servers;
    options.port = 8080;
    options.dataDirectory = "murmelo-data";
    std::optional<std::string> adminToken; // wins over the configuration file's, whatever the order
    std::optional<std::string> mediation;  // applied to the configuration file's set-up, whatever the order
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool hasValue = i + 1 < args.size();
        long number = 0;
        if (arg == "--port" && hasValue && parseNumber(args[i + 1], 0, 65535, number)) {
            options.port = static_cast<int>(number);
            ++i;
        } else if (arg == "--address" && hasValue) {
            options.bindAddress = args[++i];
        } else if (arg == "--listen" && hasValue && parseListen(args[i + 1], options.bindAddress, number)) {
            options.port = static_cast<int>(number);
            ++i;
        } else if (arg == "--store" && hasValue) {
            options.store = args[++i];
        } else if (arg == "--store-connections" && hasValue && parseNumber(args[i + 1], 1, 1000, number)) {
            options.storeConnections = static_cast<size_t>(number);
            ++i;
        } else if (arg == "--data" && hasValue) {
            options.dataDirectory = args[++i];
        } else if (arg == "--config" && hasValue) {
            auto config = loadConfig(args[++i]);
            if (!config) {
                err << "murmelo serve: " << config.error().localizedDescription() << "\n";
                return 1;
            }
            options.config = std::move(*config);
        } else if (arg == "--duration" && hasValue && parseNumber(args[i + 1], 1, 31'536'000, number)) {
            parsed.duration = number;
            ++i;
        } else if (arg == "--admin-token" && hasValue) {
            adminToken = args[++i];
        } else if (arg == "--mediation" && hasValue) {
            mediation = args[++i];
        } else if (arg == "--seed") {
            options.seed = true;
        } else if (arg == "--quiet") {
            options.logRequests = false;
        } else {
            err << kUsage;
            return 2;
        }
    }
    if (adminToken) {
        options.config.adminToken = *adminToken;
    }
    if (mediation) {
        if (auto applied = options.config.applyMediationPreset(*mediation); !applied) {
            err << "murmelo serve: " << applied.error().localizedDescription() << "\n";
            return 2;
        }
    }
    return parsed;
}

void printWhereServersListen(std::ostream& out, const servers::ReferenceServers::Options& options,
                             const servers::ReferenceServers& running) {
    int port = running.port();
    out << "Murmelo reference servers on http://" << options.bindAddress << ":" << port << " (data in "
        << options.dataDirectory;
    if (!options.store.empty()) {
        // The URL may carry a password: the scheme says enough.
        out << ", content in " << options.store.substr(0, options.store.find(':')) << " storage";
    }
    out << ")\n";
    for (const HostEntry& entry : hostTable()) {
        out << "  " << std::left << std::setw(20) << entry.name << " " << std::setw(36) << entry.host << " "
            << entry.description << "\n";
    }
    out << "Send requests with the Host header of a role, e.g.\n"
        << "  curl -H 'Host: " << kContentServerHost << "' http://" << options.bindAddress << ":" << port
        << "/index.php\n";
    if (running.adminToken().empty()) {
        out << "The admin host (event log) is open to whoever reaches this address.\n";
    } else if (options.config.adminToken.empty()) {
        out << "Admin token (Authorization: Bearer TOKEN, or ?token=TOKEN): " << running.adminToken() << "\n";
    } else {
        out << "The admin host wants the configured token.\n";
    }
    out.flush();
}

// Until one of `stopSignals` arrives or `duration` seconds (0: no limit) pass.
void waitForStop(const sigset_t& stopSignals, long duration) {
    double deadline = duration > 0 ? Clock::monotonic() + static_cast<double>(duration) : 0;
    for (;;) {
        timespec tick{1, 0};
        int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) {
            logLine("serve: stopping on signal %d", signal);
            return;
        }
        if (deadline > 0 && Clock::monotonic() >= deadline) {
            return;
        }
    }
}

} // namespace

int runServeCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    auto parsed = parseServeOptions(args, err);
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }
    const ServeOptions& options = std::get<ServeOptions>(parsed);

    // Worker threads inherit this mask, so the signals reach only the wait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto running = servers::ReferenceServers::start(options.servers);
    if (!running) {
        err << "murmelo serve: " << running.error().localizedDescription() << "\n";
        return 1;
    }
    printWhereServersListen(out, options.servers, **running);
    // Whoever reads a redirected output (a supervisor, a script waiting for
    // the port of --port 0) needs it now, not when the servers stop.
    out.flush();
    waitForStop(stopSignals, options.duration);
    (*running)->stop();
    return 0;
}

} // namespace murmelo::tool
