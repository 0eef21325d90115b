// LaunchOptions: the command line of `murmelo run` and `murmelo demo`.
//
//   murmelo run  [--home DIR] [--connect-to RULE]... [--network none|wifi|carrier|system]
//                [--locale LOCALE] [--device phone|pad] [--script FILE|-] [--screenshots DIR]
//   murmelo demo (the same) [--data DIR]
//
// Options take "--name VALUE" or "--name=VALUE". Pure parsing; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "platform/foundation/DeviceProfile.h"

namespace murmelo::driver {

enum class LaunchKind { Run, Demo };

struct LaunchOptions {
    LaunchKind kind = LaunchKind::Run;
    bool help = false;
    std::string home;                   // "" = the default home (run) or a fresh one (demo)
    std::vector<std::string> connectTo; // connect-to rules, as given
    std::optional<NetworkState> network;
    std::string locale; // "" = the environment's
    std::optional<UserInterfaceIdiom> device;
    std::optional<std::string> script; // "-" = standard input
    std::string screenshots;
    std::string data;      // demo: the servers' folder ("" = fresh)
    std::string mediation; // demo: the mediation preset the servers answer with ("" = as configured)
};

Result<LaunchOptions> parseLaunchOptions(LaunchKind kind, const std::vector<std::string>& args);
std::string launchUsage(LaunchKind kind);

// "de_DE" → {"de", "en"}; "en_US" → {"en"}; nothing for an unusable name.
std::optional<std::vector<std::string>> languagesForLocale(const std::string& locale);

} // namespace murmelo::driver
