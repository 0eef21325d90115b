// DriverCommand: `murmelo run` and `murmelo demo` — prepares the device (app
// home, device profile, locale, network, connect-to map), starts the
// reference servers in-process for the demo and routes every host of the
// application to them, launches the application and hands the session the
// prompt or the script. Returns the process exit status.
//
// Runs on the process main thread, which it gives to the main run loop
// until the session ends. Owns the servers for the run.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/ui/Application.h"
#include "tools/murmelo/driver/LaunchOptions.h"

namespace murmelo::driver {

// `args` are the words after "run" or "demo".
int runDriverCommand(LaunchKind kind, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err);
// The same with the application given (tests of the command launch their own).
int runDriverCommand(const LaunchOptions& options, const Application::DelegateFactories& application,
                     std::ostream& out, std::ostream& err);

} // namespace murmelo::driver
