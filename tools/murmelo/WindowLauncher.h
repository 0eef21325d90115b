// `murmelo window`: hands over to murmelo-window, the executable beside this
// one that links GTK, so that the other commands never load it.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace murmelo::tool {

// Replaces this process with murmelo-window and the same arguments; returns
// (status 1, with the reason on `err`) only when that cannot be done.
int runWindowLauncher(std::span<const std::string> args, std::ostream& out, std::ostream& err);

} // namespace murmelo::tool
