// `murmelo window`: the demo in a desktop window — the phone's screen as the
// screen renderer paints it, repainted when it changes, mouse and keyboard
// as touches and keys, and the driver's prompt on the terminal at the same
// time. docs/window.md.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace murmelo::window {

int runWindowCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);

} // namespace murmelo::window
