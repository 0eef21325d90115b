// `murmelo run` and `murmelo demo`: the app on the device, driven from the
// prompt or a script; the demo also runs the reference servers in-process.
//
//   murmelo run  [--home DIR] [--script FILE|-] ...   (murmelo run --help)
//   murmelo demo [--home DIR] [--data DIR] ...        (murmelo demo --help)
//
// Parse the options, then hand them to driver::runDriverCommand with the
// Murmelo application. Run on the process main thread, which they give to
// the main run loop until the session ends; write only to the given streams.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace murmelo::tool {

// `args` are the words after "run" / "demo". Return the process exit status.
int runRunCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);
int runDemoCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);

} // namespace murmelo::tool
