// `murmelo serve`: runs the reference servers in the foreground until
// interrupted (or for --duration seconds).
//
//   murmelo serve [--port N] [--address A] [--data DIR] [--config FILE] [--seed]
//                 [--duration SECONDS] [--quiet]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include "app/product/Constants.h"
#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "servers/ReferenceServers.h"
#include "servers/http/Json.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: murmelo serve [--port N] [--address A] [--data DIR] [--config FILE] [--seed]\n"
                 "                     [--duration SECONDS] [--quiet]\n");
    return 2;
}

bool parseNumber(const char* text, long min, long max, long& out) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (!end || *end != '\0' || value < min || value > max) {
        return false;
    }
    out = value;
    return true;
}

murmelo::Result<murmelo::servers::ServerConfig> loadConfig(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return murmelo::Error::posix(errno, "open " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto value = murmelo::servers::parseJson(text.str());
    if (!value) {
        return murmelo::Error("MurmeloServerConfig", 1,
                              path + ": not JSON: " + value.error().localizedDescription());
    }
    return murmelo::servers::ServerConfig::fromValue(*value);
}

} // namespace

int runServeCommand(int argc, char** argv) {
    murmelo::servers::ReferenceServers::Options options;
    options.port = 8080;
    options.dataDirectory = "murmelo-data";
    long duration = 0;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        long number = 0;
        if (arg == "--port" && hasValue && parseNumber(argv[i + 1], 0, 65535, number)) {
            options.port = static_cast<int>(number);
            ++i;
        } else if (arg == "--address" && hasValue) {
            options.bindAddress = argv[++i];
        } else if (arg == "--data" && hasValue) {
            options.dataDirectory = argv[++i];
        } else if (arg == "--config" && hasValue) {
            auto config = loadConfig(argv[++i]);
            if (!config) {
                std::fprintf(stderr, "murmelo serve: %s\n", config.error().localizedDescription().c_str());
                return 1;
            }
            options.config = std::move(*config);
        } else if (arg == "--duration" && hasValue && parseNumber(argv[i + 1], 1, 31'536'000, number)) {
            duration = number;
            ++i;
        } else if (arg == "--seed") {
            options.seed = true;
        } else if (arg == "--quiet") {
            options.logRequests = false;
        } else {
            return usage();
        }
    }

    // Worker threads inherit this mask, so the signals reach only the wait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto servers = murmelo::servers::ReferenceServers::start(options);
    if (!servers) {
        std::fprintf(stderr, "murmelo serve: %s\n", servers.error().localizedDescription().c_str());
        return 1;
    }
    std::printf("Murmelo reference servers on http://%s:%d (data in %s)\n", options.bindAddress.c_str(),
                (*servers)->port(), options.dataDirectory.c_str());
    for (const murmelo::HostEntry& entry : murmelo::hostTable()) {
        std::printf("  %-20s %-36s %s\n", std::string(entry.name).c_str(), std::string(entry.host).c_str(),
                    std::string(entry.description).c_str());
    }
    std::printf("Send requests with the Host header of a role, e.g.\n"
                "  curl -H 'Host: %s' http://%s:%d/index.php\n",
                std::string(murmelo::kContentServerHost).c_str(), options.bindAddress.c_str(),
                (*servers)->port());
    std::fflush(stdout);

    double deadline = duration > 0 ? murmelo::Clock::monotonic() + static_cast<double>(duration) : 0;
    for (;;) {
        timespec tick{1, 0};
        int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) {
            murmelo::logLine("serve: stopping on signal %d", signal);
            break;
        }
        if (deadline > 0 && murmelo::Clock::monotonic() >= deadline) {
            break;
        }
    }
    (*servers)->stop();
    return 0;
}
