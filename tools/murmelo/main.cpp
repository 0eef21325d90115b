// murmelo: runs the application on the device and serves its servers.
#include <iostream>
#include <string>
#include <vector>

#include "tools/murmelo/InfoCommand.h"

int runServeCommand(int argc, char** argv); // ServeCommand.cpp

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "serve") {
        return runServeCommand(argc - 2, argv + 2);
    }
    if (!args.empty() && args[0] == "info") {
        return murmelo::tool::runInfoCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
    }
    std::cerr << "usage: murmelo info [--home DIR] [--device KEY=VALUE]...\n"
                 "       murmelo serve [--port N] [--data DIR] [--config FILE] [--seed]\n";
    return 2;
}
