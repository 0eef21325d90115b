#include "tools/murmelo/driver/DriverCommand.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/product/Constants.h"
#include "platform/core/Log.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ConnectToMap.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "servers/Credentials.h"
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
    for (const servers::RecordedEvent& recorded : servers.events().events("", after)) {
        // A person at the demo sees what the admin host would show.
        const servers::RecordedEvent event = servers::maskCredentials(recorded);
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

// What the run failed at, as the line the command prints after its prefix.
Error launchError(const std::string& what) {
    return Error("MurmeloDriver", 1, what);
}

struct Folders {
    std::string home; // "" = the default home
    std::string data; // the demo servers' folder
};

// The demo gets fresh folders for what was not given.
Result<Folders> chooseFolders(const LaunchOptions& options) {
    Folders folders{options.home, options.data};
    if (options.kind != LaunchKind::Demo || (!folders.home.empty() && !folders.data.empty())) {
        return folders;
    }
    auto folder = makeTemporaryFolder();
    if (!folder) {
        return launchError(folder.error().localizedDescription());
    }
    if (folders.home.empty()) {
        folders.home = *folder + "/home";
    }
    if (folders.data.empty()) {
        folders.data = *folder + "/servers";
    }
    return folders;
}

// The locale, the app home and the device profile of this run: the home's
// profile with the options on top (not saved).
Result<DeviceProfile> prepareDevice(const LaunchOptions& options, const std::string& home) {
    if (!options.locale.empty()) {
        // The device reads its locale from the environment.
        ::setenv("LC_ALL", options.locale.c_str(), 1);
        ::setenv("LANG", options.locale.c_str(), 1);
    }
    // The default home is chosen here too, so a home that cannot be made
    // ready stops the run with its reason instead of a half-working app.
    const std::string chosenHome = home.empty() ? AppHome::defaultPath() : home;
    if (auto chosen = AppHome::setCurrent(chosenHome); !chosen) {
        return launchError("cannot use the home " + chosenHome + ": " +
                           chosen.error().localizedDescription());
    }
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
        return launchError(applied.error().localizedDescription());
    }
    ReachabilityDeviceSource::shared().setNetworkState(profile.networkState());
    DeviceProfile::setCurrent(profile);
    return profile;
}

Result<std::unique_ptr<servers::ReferenceServers>> startDemoServers(const std::string& data,
                                                                    const std::string& mediation) {
    servers::ReferenceServers::Options serverOptions;
    serverOptions.dataDirectory = data;
    if (!mediation.empty()) {
        if (auto applied = serverOptions.config.applyMediationPreset(mediation); !applied) {
            return launchError("--mediation: " + applied.error().localizedDescription());
        }
    }
    serverOptions.port = 0;
    serverOptions.seed = true;
    serverOptions.logRequests = false;
    auto started = servers::ReferenceServers::start(serverOptions);
    if (!started) {
        return launchError("the reference servers did not start: " + started.error().localizedDescription());
    }
    return std::move(*started);
}

// The connect-to map: the first matching rule wins, so the command line's
// go in first, then the demo's (routeDemoHosts), then the environment's.
Result<void> routeCommandLineHosts(const LaunchOptions& options) {
    for (const std::string& rules : options.connectTo) {
        if (auto added = ConnectToMap::shared().addRules(rules); !added) {
            return launchError("--connect-to " + rules + ": " + added.error().localizedDescription());
        }
    }
    return {};
}

// Every host of the app to the demo's servers (none outside the demo), then
// the environment's rules.
Result<void> routeDemoAndEnvironmentHosts(const servers::ReferenceServers* servers) {
    ConnectToMap& map = ConnectToMap::shared();
    if (servers) {
        for (const HostEntry& entry : hostTable()) {
            std::string rule = std::string(entry.host) + "::127.0.0.1:" + std::to_string(servers->port());
            if (auto added = map.addRules(rule); !added) {
                return launchError("connect-to " + rule + ": " + added.error().localizedDescription());
            }
        }
    }
    if (auto added = map.addRulesFromProcessEnvironment(); !added) {
        return launchError(std::string(ConnectToMap::kEnvironmentVariable) + ": " +
                           added.error().localizedDescription());
    }
    return {};
}

void printWelcome(std::ostream& out, const servers::ReferenceServers* servers, const std::string& data,
                  const DeviceProfile& profile) {
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

// The session over the launched app: the script file's lines, else standard input.
int runSession(const LaunchOptions& options, std::optional<std::vector<std::string>> scriptLines,
               servers::ReferenceServers* servers, const Frontend* frontend, const std::string& prefix,
               std::ostream& out, std::ostream& err) {
    Session::Options sessionOptions;
    sessionOptions.mode = options.script ? SessionMode::Script : SessionMode::Interactive;
    sessionOptions.inputEnd = frontend ? InputEnd::StopsReading : InputEnd::EndsSession;
    sessionOptions.screenshotsDirectory = options.screenshots;
    sessionOptions.screenshot = screenRenderer();
    sessionOptions.present = formPresenter();
    if (servers) {
        sessionOptions.events = [servers](std::uint64_t after, std::uint64_t& last) {
            return describeEvents(*servers, after, last);
        };
    }
    Session session(std::move(sessionOptions), out, err);
    std::shared_ptr<void> shown;
    if (frontend) {
        SessionContext context{session, {}};
        if (servers) {
            context.events = [servers](std::uint64_t after, std::uint64_t& last) {
                return describeEvents(*servers, after, last);
            };
        }
        auto started = frontend->start(context);
        if (!started) {
            err << prefix << started.error().localizedDescription() << "\n";
            return 1;
        }
        shown = std::move(*started);
    }
    if (scriptLines) {
        return session.runLines(std::move(*scriptLines), *options.script);
    }
    return session.runFromFd(STDIN_FILENO, options.script ? "stdin" : "the prompt");
}

} // namespace

int runDriverCommand(const LaunchOptions& options, const Application::DelegateFactories& application,
                     std::ostream& out, std::ostream& err, const Frontend* frontend) {
    const std::string prefix =
        std::string("murmelo ") + (frontend ? frontend->name.c_str() : commandWord(options.kind)) + ": ";
    auto fail = [&](const Error& error) {
        err << prefix << error.localizedDescription() << "\n";
        return 1;
    };

    std::optional<std::vector<std::string>> scriptLines;
    if (options.script && *options.script != "-") {
        auto lines = readScript(*options.script);
        if (!lines) {
            return fail(launchError("cannot read the script: " + lines.error().localizedDescription()));
        }
        scriptLines = std::move(*lines);
    }
    auto folders = chooseFolders(options);
    if (!folders) {
        return fail(folders.error());
    }
    auto profile = prepareDevice(options, folders->home);
    if (!profile) {
        return fail(profile.error());
    }
    if (auto routed = routeCommandLineHosts(options); !routed) {
        return fail(routed.error());
    }
    std::unique_ptr<servers::ReferenceServers> servers;
    if (options.kind == LaunchKind::Demo) {
        auto started = startDemoServers(folders->data, options.mediation);
        if (!started) {
            return fail(started.error());
        }
        servers = std::move(*started);
    }
    if (auto routed = routeDemoAndEnvironmentHosts(servers.get()); !routed) {
        return fail(routed.error());
    }

    Application& app = Application::sharedApplication();
    // Addresses the app hands to the system are shown, not opened.
    app.setOpenURLHandler([](const URL& url) {
        logLine("murmelo: the app opens %s outside itself", url.absoluteString().c_str());
        return true;
    });
    if (!options.script) {
        printWelcome(out, servers.get(), folders->data, *profile);
    }
    if (auto launched = app.launch(application); !launched) {
        return fail(
            launchError("the application did not launch: " + launched.error().localizedDescription()));
    }

    int status = runSession(options, std::move(scriptLines), servers.get(), frontend, prefix, out, err);
    out.flush();

    app.terminate();
    (void)UserDefaults::standardUserDefaults()->synchronize();
    if (servers) {
        servers->stop();
    }
    return status;
}

} // namespace murmelo::driver
