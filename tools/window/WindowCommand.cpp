#include "tools/window/WindowCommand.h"

#include <vector>

#include "tools/murmelo/driver/AppWiring.h"
#include "tools/murmelo/driver/DriverCommand.h"
#include "tools/window/WindowFrontend.h"
#include "tools/window/WindowOptions.h"

namespace murmelo::window {

int runWindowCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    auto options = parseWindowOptions(std::vector<std::string>(args.begin(), args.end()));
    if (!options) {
        err << "murmelo window: " << options.error().localizedDescription() << "\n" << windowUsage();
        return 2;
    }
    if (options->launch.help) {
        out << windowUsage();
        return 0;
    }
    // Said before anything starts: a build without GTK has nothing to show.
    if (!hasWindow()) {
        err << "murmelo window: this build has no window (GTK 4 was not found when it was built); "
               "`murmelo demo` runs the app at a prompt\n";
        return 1;
    }
    driver::Frontend frontend{"window",
                              [&](driver::SessionContext& context) { return openWindow(*options, context); }};
    return driver::runDriverCommand(options->launch, driver::murmeloApplication(), out, err, &frontend);
}

} // namespace murmelo::window
