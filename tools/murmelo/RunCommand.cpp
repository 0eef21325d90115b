#include "tools/murmelo/RunCommand.h"

#include <vector>

#include "tools/murmelo/driver/AppWiring.h"
#include "tools/murmelo/driver/DriverCommand.h"
#include "tools/murmelo/driver/LaunchOptions.h"

namespace murmelo::tool {

namespace {

int runLaunchCommand(driver::LaunchKind kind, std::span<const std::string> args, std::ostream& out,
                     std::ostream& err) {
    auto options = driver::parseLaunchOptions(kind, std::vector<std::string>(args.begin(), args.end()));
    if (!options) {
        err << "murmelo " << (kind == driver::LaunchKind::Demo ? "demo" : "run") << ": "
            << options.error().localizedDescription() << "\n"
            << driver::launchUsage(kind);
        return 2;
    }
    if (options->help) {
        out << driver::launchUsage(kind);
        return 0;
    }
    return driver::runDriverCommand(*options, driver::murmeloApplication(), out, err);
}

} // namespace

int runRunCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    return runLaunchCommand(driver::LaunchKind::Run, args, out, err);
}

int runDemoCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    return runLaunchCommand(driver::LaunchKind::Demo, args, out, err);
}

} // namespace murmelo::tool
