#include "tools/murmelo/ServeCommand.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>

#include "app/shell/Constants.h"
#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "servers/ReferenceServers.h"
#include "servers/http/Json.h"

namespace murmelo::tool {

namespace {

constexpr const char* kUsage =
    "usage: murmelo serve [--port N] [--address A] [--data DIR] [--config FILE] [--seed]\n"
    "                     [--duration SECONDS] [--quiet]\n";

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

} // namespace

int runServeCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    servers::ReferenceServers::Options options;
    options.port = 8080;
    options.dataDirectory = "murmelo-data";
    long duration = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool hasValue = i + 1 < args.size();
        long number = 0;
        if (arg == "--port" && hasValue && parseNumber(args[i + 1], 0, 65535, number)) {
            options.port = static_cast<int>(number);
            ++i;
        } else if (arg == "--address" && hasValue) {
            options.bindAddress = args[++i];
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
            duration = number;
            ++i;
        } else if (arg == "--seed") {
            options.seed = true;
        } else if (arg == "--quiet") {
            options.logRequests = false;
        } else {
            err << kUsage;
            return 2;
        }
    }

    // Worker threads inherit this mask, so the signals reach only the wait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto running = servers::ReferenceServers::start(options);
    if (!running) {
        err << "murmelo serve: " << running.error().localizedDescription() << "\n";
        return 1;
    }
    out << "Murmelo reference servers on http://" << options.bindAddress << ":" << (*running)->port()
        << " (data in " << options.dataDirectory << ")\n";
    for (const HostEntry& entry : hostTable()) {
        out << "  " << std::left << std::setw(20) << entry.name << " " << std::setw(36) << entry.host << " "
            << entry.description << "\n";
    }
    out << "Send requests with the Host header of a role, e.g.\n"
        << "  curl -H 'Host: " << kContentServerHost << "' http://" << options.bindAddress << ":"
        << (*running)->port() << "/index.php\n";
    out.flush();

    double deadline = duration > 0 ? Clock::monotonic() + static_cast<double>(duration) : 0;
    for (;;) {
        timespec tick{1, 0};
        int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) {
            logLine("serve: stopping on signal %d", signal);
            break;
        }
        if (deadline > 0 && Clock::monotonic() >= deadline) {
            break;
        }
    }
    (*running)->stop();
    return 0;
}

} // namespace murmelo::tool
