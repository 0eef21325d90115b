#include "tools/murmelo/driver/DriverCommand.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "app/product/Constants.h"
#include "platform/core/Log.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ConnectToMap.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "servers/ReferenceServers.h"
#include "tools/murmelo/driver/AppWiring.h"
#include "tools/murmelo/driver/Session.h"

namespace murmelo::driver {

namespace {

const char* commandWord(LaunchKind kind) {
    return kind == LaunchKind::Demo ? "demo" : "run";
}

Result<std::vector<std::string>> readScript(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Error::posix(errno, "open " + path);
    }
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(std::move(line));
    }
    if (in.bad()) {
        return Error::posix(errno, "read " + path);
    }
    return lines;
}

Result<std::string> makeTemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/murmelo-demo-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        return Error::posix(errno, "mkdtemp " + pattern);
    }
    return pattern;
}

std::string clip(std::string text, std::size_t limit) {
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            c = ' ';
        }
    }
    if (text.size() > limit) {
        text = text.substr(0, limit) + "...";
    }
    return text;
}

// One line per event: "#7 content POST /index.php?r=secret/create -> 200 Secret[content]=..."
std::vector<std::string> describeEvents(servers::ReferenceServers& servers, std::uint64_t after,
                                        std::uint64_t& last) {
    std::vector<std::string> lines;
    for (const servers::RecordedEvent& event : servers.events().events("", after)) {
        if (event.role == "admin") {
            last = event.sequence;
            continue;
        }
        std::string line = "#" + std::to_string(event.sequence) + " " + event.role + " " + event.method +
                           " " + event.path + (event.query.empty() ? "" : "?" + event.query) + " -> " +
                           std::to_string(event.status);
        if (!event.parts.empty()) {
            std::string fields;
            for (const servers::FormPart& part : event.parts) {
                fields += (fields.empty() ? "" : "&") + part.name + "=" + part.data;
            }
            line += " " + clip(fields, 200);
        } else if (!event.body.empty()) {
            line += " " + clip(event.body, 200);
        }
        lines.push_back(std::move(line));
        last = event.sequence;
    }
    return lines;
}

} // namespace

int runDriverCommand(LaunchKind kind, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err) {
    auto options = parseLaunchOptions(kind, args);
    if (!options) {
        err << "murmelo " << commandWord(kind) << ": " << options.error().localizedDescription() << "\n"
            << launchUsage(kind);
        return 2;
    }
    if (options->help) {
        out << launchUsage(kind);
        return 0;
    }
    auto application = murmeloApplication();
    if (!application) {
        err << "murmelo " << commandWord(kind) << ": this build does not contain the application shell\n";
        return 1;
    }
    return runDriverCommand(*options, *application, out, err);
}

int runDriverCommand(const LaunchOptions& options, const Application::DelegateFactories& application,
                     std::ostream& out, std::ostream& err) {
    const std::string prefix = std::string("murmelo ") + commandWord(options.kind) + ": ";
    auto fail = [&](const std::string& what) {
        err << prefix << what << "\n";
        return 1;
    };

    std::optional<std::vector<std::string>> scriptLines;
    if (options.script && *options.script != "-") {
        auto lines = readScript(*options.script);
        if (!lines) {
            return fail("cannot read the script: " + lines.error().localizedDescription());
        }
        scriptLines = std::move(*lines);
    }

    std::string home = options.home;
    std::string data = options.data;
    if (options.kind == LaunchKind::Demo && (home.empty() || data.empty())) {
        auto folder = makeTemporaryFolder();
        if (!folder) {
            return fail(folder.error().localizedDescription());
        }
        home = home.empty() ? *folder + "/home" : home;
        data = data.empty() ? *folder + "/servers" : data;
    }

    if (!options.locale.empty()) {
        // The device reads its locale from the environment.
        ::setenv("LC_ALL", options.locale.c_str(), 1);
        ::setenv("LANG", options.locale.c_str(), 1);
    }
    if (!home.empty()) {
        if (auto chosen = AppHome::setCurrent(home); !chosen) {
            return fail("cannot use the home " + home + ": " + chosen.error().localizedDescription());
        }
    }

    // The profile of this run: the home's, with the options on top (not saved).
    std::vector<std::string> overrides;
    if (options.network) {
        overrides.push_back(std::string("network=") + networkStateName(*options.network));
    }
    if (options.device) {
        overrides.push_back(std::string("idiom=") + idiomName(*options.device));
    }
    if (!options.locale.empty()) {
        std::string joined;
        // Kept in a local: a range-for over `*temporary` would walk a destroyed optional.
        const auto languages = languagesForLocale(options.locale);
        for (const std::string& language : *languages) {
            joined += (joined.empty() ? "" : ",") + language;
        }
        overrides.push_back("preferredLanguages=" + joined);
    }
    DeviceProfile profile = *DeviceProfile::current();
    if (auto applied = profile.applyOverrides(overrides); !applied) {
        return fail(applied.error().localizedDescription());
    }
    ReachabilityDeviceSource::shared().setNetworkState(profile.networkState());
    DeviceProfile::setCurrent(profile);

    // The first matching rule wins: the command line, then the demo's, then
    // the environment's.
    ConnectToMap& map = ConnectToMap::shared();
    for (const std::string& rules : options.connectTo) {
        if (auto added = map.addRules(rules); !added) {
            return fail("--connect-to " + rules + ": " + added.error().localizedDescription());
        }
    }
    std::unique_ptr<servers::ReferenceServers> servers;
    if (options.kind == LaunchKind::Demo) {
        servers::ReferenceServers::Options serverOptions;
        serverOptions.dataDirectory = data;
        serverOptions.port = 0;
        serverOptions.seed = true;
        serverOptions.logRequests = false;
        auto started = servers::ReferenceServers::start(serverOptions);
        if (!started) {
            return fail("the reference servers did not start: " + started.error().localizedDescription());
        }
        servers = std::move(*started);
        for (const HostEntry& entry : hostTable()) {
            std::string rule = std::string(entry.host) + "::127.0.0.1:" + std::to_string(servers->port());
            if (auto added = map.addRules(rule); !added) {
                return fail("connect-to " + rule + ": " + added.error().localizedDescription());
            }
        }
    }
    if (auto added = map.addRulesFromProcessEnvironment(); !added) {
        return fail(std::string(ConnectToMap::kEnvironmentVariable) + ": " +
                    added.error().localizedDescription());
    }

    Application& app = Application::sharedApplication();
    // Addresses the app hands to the system are shown, not opened.
    app.setOpenURLHandler([](const URL& url) {
        logLine("murmelo: the app opens %s outside itself", url.absoluteString().c_str());
        return true;
    });

    const bool interactive = !options.script.has_value();
    if (interactive) {
        if (servers) {
            out << "Murmelo demo: the reference servers listen on http://127.0.0.1:" << servers->port()
                << "/ (every host of the app is routed there)\n"
                << "  server data: " << data << "\n";
        } else {
            out << "Murmelo:\n";
        }
        out << "  app home:    " << AppHome::current()->path() << "\n"
            << "  device:      " << idiomName(profile.userInterfaceIdiom()) << ", network "
            << networkStateName(profile.networkState()) << "\n"
            << "Commands (one per line; \"help\" lists them, \"quit\" leaves):\n"
            << "  screen, tab 1, links, follow 2, fill NAME VALUE, submit, back, alert 0, settle, events\n";
        out.flush();
    }

    if (auto launched = app.launch(application); !launched) {
        return fail("the application did not launch: " + launched.error().localizedDescription());
    }

    Session::Options sessionOptions;
    sessionOptions.mode = interactive ? SessionMode::Interactive : SessionMode::Script;
    sessionOptions.screenshotsDirectory = options.screenshots;
    sessionOptions.screenshot = screenRenderer();
    if (servers) {
        servers::ReferenceServers* running = servers.get();
        sessionOptions.events = [running](std::uint64_t after, std::uint64_t& last) {
            return describeEvents(*running, after, last);
        };
    }
    int status = 0;
    {
        Session session(std::move(sessionOptions), out, err);
        if (scriptLines) {
            status = session.runLines(std::move(*scriptLines), *options.script);
        } else {
            status = session.runFromFd(STDIN_FILENO, options.script ? "stdin" : "the prompt");
        }
    }
    out.flush();

    app.terminate();
    (void)UserDefaults::standardUserDefaults()->synchronize();
    if (servers) {
        servers->stop();
    }
    return status;
}

} // namespace murmelo::driver
