// DriverCommand: the body of `murmelo run` and `murmelo demo` — prepares the
// device (app home, device profile, locale, network, connect-to map), starts
// the reference servers in-process for the demo and routes every host of the
// application to them, launches the given application and hands the session
// the prompt or the script. Returns the process exit status.
//
// Runs on the process main thread, which it gives to the main run loop
// until the session ends. Owns the servers for the run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "platform/ui/Application.h"
#include "tools/murmelo/driver/LaunchOptions.h"
#include "tools/murmelo/driver/Session.h"

namespace murmelo::driver {

// What a front end beside the prompt gets: the session (to end it) and the
// servers' events.
struct SessionContext {
    Session& session;
    // The reference servers' events after a sequence number, one line each,
    // and the last sequence; unset without servers.
    std::function<std::vector<std::string>(std::uint64_t after, std::uint64_t& last)> events;
};

// A front end that shows the app beside the prompt (the `window` command).
// start() runs on the main thread once the app has launched; what it returns
// is released there after the session ends. With a front end, the end of the
// input does not end the session: the front end does (Session::end).
struct Frontend {
    std::string name; // the command word in messages
    std::function<Result<std::shared_ptr<void>>(SessionContext& context)> start;
};

// The options parsed (parseLaunchOptions); tests of the command launch their own application.
int runDriverCommand(const LaunchOptions& options, const Application::DelegateFactories& application,
                     std::ostream& out, std::ostream& err, const Frontend* frontend = nullptr);

} // namespace murmelo::driver
