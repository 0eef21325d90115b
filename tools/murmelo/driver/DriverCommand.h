// DriverCommand: the body of `murmelo run` and `murmelo demo` — prepares the
// device (app home, device profile, locale, network, connect-to map), starts
// the reference servers in-process for the demo and routes every host of the
// application to them, launches the given application and hands the session
// the prompt or the script. Returns the process exit status.
//
// Runs on the process main thread, which it gives to the main run loop
// until the session ends. Owns the servers for the run.
#pragma once

#include <ostream>

#include "platform/ui/Application.h"
#include "tools/murmelo/driver/LaunchOptions.h"

namespace murmelo::driver {

// The options parsed (parseLaunchOptions); tests of the command launch their own application.
int runDriverCommand(const LaunchOptions& options, const Application::DelegateFactories& application,
                     std::ostream& out, std::ostream& err);

} // namespace murmelo::driver
