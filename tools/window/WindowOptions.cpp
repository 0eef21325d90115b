#include "tools/window/WindowOptions.h"

#include <cmath>
#include <cstdlib>

namespace murmelo::window {

namespace {

constexpr double kMinZoom = 0.25;
constexpr double kMaxZoom = 4;

Error optionError(const std::string& what) {
    return Error("MurmeloWindowOptions", 1, what);
}

Result<double> parseZoom(const std::string& text) {
    char* end = nullptr;
    double zoom = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(zoom) || zoom < kMinZoom ||
        zoom > kMaxZoom) {
        return optionError("--zoom " + text +
                           ": expected a number from 0.25 to 4 (1 = the screen's own pixels)");
    }
    return zoom;
}

} // namespace

std::string windowUsage() {
    return "usage: murmelo window [--zoom Z] [--panel] [--home DIR] [--connect-to HOST:PORT:ADDR:PORT2]...\n"
           "         [--network none|wifi|carrier|system] [--locale LOCALE] [--device phone|pad]\n"
           "         [--screenshots DIR] [--data DIR] [--mediation PRESET]\n";
}

Result<WindowOptions> parseWindowOptions(const std::vector<std::string>& args) {
    WindowOptions options;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--panel") {
            options.panel = SidePanel::Shown;
        } else if (word == "--zoom" || word.rfind("--zoom=", 0) == 0) {
            std::string value;
            if (word == "--zoom") {
                if (i + 1 >= args.size()) {
                    return optionError("--zoom needs a value");
                }
                value = args[++i];
            } else {
                value = word.substr(7);
            }
            MURMELO_TRY_VALUE(options.zoom, parseZoom(value));
        } else {
            rest.push_back(word);
        }
    }
    MURMELO_TRY_VALUE(options.launch, driver::parseLaunchOptions(driver::LaunchKind::Demo, rest));
    if (options.launch.script) {
        return optionError("--script: the window reads its commands from the terminal");
    }
    return options;
}

} // namespace murmelo::window
