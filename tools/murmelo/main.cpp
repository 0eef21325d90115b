// murmelo: runs the application on the device and serves its servers.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/murmelo/InfoCommand.h"
#include "tools/murmelo/driver/DriverCommand.h"

int runServeCommand(int argc, char** argv); // ServeCommand.cpp

namespace {

constexpr const char* kUsage =
    "usage: murmelo demo [--script FILE|-] [--home DIR] ... (murmelo demo --help)\n"
    "       murmelo run [--script FILE|-] [--home DIR] ...  (murmelo run --help)\n"
    "       murmelo serve [--port N] [--data DIR] [--config FILE] [--seed]\n"
    "       murmelo info [--home DIR] [--device KEY=VALUE]...\n";

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "serve") {
        return runServeCommand(argc - 2, argv + 2);
    }
    if (!args.empty() && args[0] == "info") {
        return murmelo::tool::runInfoCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
    }
    if (!args.empty() && (args[0] == "run" || args[0] == "demo")) {
        auto kind = args[0] == "demo" ? murmelo::driver::LaunchKind::Demo : murmelo::driver::LaunchKind::Run;
        int status =
            murmelo::driver::runDriverCommand(kind, {args.begin() + 1, args.end()}, std::cout, std::cerr);
        // The app's background workers and single instances live for the
        // whole process, as on the phone: leave without tearing them down
        // (what must last was written when it changed).
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    if (!args.empty() && (args[0] == "help" || args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    std::cerr << kUsage;
    return 2;
}
