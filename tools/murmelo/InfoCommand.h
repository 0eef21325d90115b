// `murmelo info`: prints the version, the app home and its folders, the main
// bundle and the device profile, one "key: value" per line.
//
//   murmelo info [--home DIR] [--device KEY=VALUE]...
//
// --home chooses the app home (created when missing); --device overrides a
// profile entry for this run only (see DeviceProfile::applyOverrides).
// Runs on the calling thread; writes only to the given streams.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace murmelo::tool {

// `args` are the words after "info". Returns the process exit status.
int runInfoCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);

} // namespace murmelo::tool
