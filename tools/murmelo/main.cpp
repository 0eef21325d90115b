// murmelo: runs the application on the device and serves its servers.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/murmelo/InfoCommand.h"
#include "tools/murmelo/RunCommand.h"
#include "tools/murmelo/ServeCommand.h"
#include "tools/murmelo/WindowLauncher.h"

namespace {

constexpr const char* kUsage =
    "usage: murmelo demo [--script FILE|-] [--home DIR] ... (murmelo demo --help)\n"
    "       murmelo run [--script FILE|-] [--home DIR] ...  (murmelo run --help)\n"
    "       murmelo window [--zoom Z] [--panel] ...        (murmelo window --help)\n"
    "       murmelo serve [--port N] [--address A] ...     (murmelo serve --help)\n"
    "       murmelo info [--home DIR] [--device KEY=VALUE]...\n";

// How the process leaves after a subcommand.
enum class Exit {
    Return,
    // The app's background workers and single instances live for the whole
    // process, as on the phone: leave without tearing them down (what must
    // last was written when it changed).
    Immediately,
};

struct Subcommand {
    std::string_view name;
    int (*run)(std::span<const std::string> args, std::ostream& out, std::ostream& err);
    Exit exit;
};

constexpr Subcommand kSubcommands[] = {
    {"demo", murmelo::tool::runDemoCommand, Exit::Immediately},
    {"run", murmelo::tool::runRunCommand, Exit::Immediately},
    {"window", murmelo::tool::runWindowLauncher, Exit::Return},
    {"serve", murmelo::tool::runServeCommand, Exit::Return},
    {"info", murmelo::tool::runInfoCommand, Exit::Return},
};

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    for (const Subcommand& subcommand : kSubcommands) {
        if (args[0] != subcommand.name) {
            continue;
        }
        int status = subcommand.run(std::span<const std::string>(args).subspan(1), std::cout, std::cerr);
        if (subcommand.exit == Exit::Immediately) {
            std::cout.flush();
            std::cerr.flush();
            std::fflush(nullptr);
            std::_Exit(status);
        }
        return status;
    }
    if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return 0;
    }
    std::cerr << kUsage;
    return 2;
}
