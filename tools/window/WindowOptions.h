// WindowOptions: the command line of `murmelo window` — the demo's options
// (built-in servers, --connect-to, --home, --network, --device, --locale,
// ...) and the window's own:
//
//   murmelo window [--zoom Z] [--panel] [demo options]
//
// --zoom: window pixels per pixel of the phone's screen (0.25 to 4; default
// 1, which shows the screen renderer's pixels one to one). --panel: a side
// panel with the screen as text and the servers' events. The window reads
// commands from the terminal, so --script is refused. Pure parsing; any thread.
#pragma once

#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "tools/murmelo/driver/LaunchOptions.h"

namespace murmelo::window {

enum class SidePanel { Hidden, Shown };

struct WindowOptions {
    driver::LaunchOptions launch;
    double zoom = 1;
    SidePanel panel = SidePanel::Hidden;
};

Result<WindowOptions> parseWindowOptions(const std::vector<std::string>& args);
std::string windowUsage();

} // namespace murmelo::window
