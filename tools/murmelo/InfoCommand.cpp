#include "tools/murmelo/InfoCommand.h"

#include <vector>

#include "app/product/Constants.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"

namespace murmelo::tool {

namespace {

constexpr const char* kUsage = "usage: murmelo info [--home DIR] [--device KEY=VALUE]...\n";

// Takes "--name VALUE" or "--name=VALUE" at args[i]; advances i past it.
bool takeOption(std::span<const std::string> args, size_t& i, const std::string& name, std::string& value,
                bool& missing) {
    const std::string& word = args[i];
    if (word == name) {
        if (i + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args[++i];
        return true;
    }
    if (word.rfind(name + "=", 0) == 0) {
        value = word.substr(name.size() + 1);
        return true;
    }
    return false;
}

std::string describe(const Value& value) {
    if (const Array* list = value.asArray()) {
        std::string joined;
        for (const Value& item : *list) {
            joined += (joined.empty() ? "" : ",") + item.stringValue();
        }
        return joined;
    }
    if (value.isBoolean()) {
        return value.boolValue() ? "yes" : "no";
    }
    return value.stringValue();
}

} // namespace

int runInfoCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::string homePath;
    std::vector<std::string> deviceOptions;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        bool missing = false;
        if (args[i] == "--help" || args[i] == "-h") {
            out << kUsage;
            return 0;
        }
        if (takeOption(args, i, "--home", value, missing)) {
            homePath = value;
        } else if (takeOption(args, i, "--device", value, missing)) {
            deviceOptions.push_back(value);
        } else {
            err << "murmelo info: unknown argument \"" << args[i] << "\"\n" << kUsage;
            return 2;
        }
        if (missing || value.empty()) {
            err << "murmelo info: " << args[i] << " needs a value\n" << kUsage;
            return 2;
        }
    }

    // Check the overrides before anything touches a home.
    if (auto r = DeviceProfile().applyOverrides(deviceOptions); !r) {
        err << "murmelo info: " << r.error().localizedDescription() << "\n";
        return 2;
    }
    if (!homePath.empty()) {
        if (auto r = AppHome::setCurrent(homePath); !r) {
            err << "murmelo info: cannot use the home " << homePath << ": "
                << r.error().localizedDescription() << "\n";
            return 1;
        }
    }
    auto home = AppHome::current();
    DeviceProfile profile = *DeviceProfile::current();
    if (auto r = profile.applyOverrides(deviceOptions); !r) {
        err << "murmelo info: " << r.error().localizedDescription() << "\n";
        return 2;
    }

    out << "version: " << MURMELO_VERSION << "\n";
    out << "home: " << home->path() << "\n";
    out << "documents: " << home->documentsDirectory() << "\n";
    out << "caches: " << home->cachesDirectory() << "\n";
    out << "preferences: " << home->preferencesDirectory() << "\n";
    out << "tmp: " << home->temporaryDirectory() << "\n";
    auto bundle = Bundle::mainBundle();
    out << "bundle: " << bundle->bundlePath() << "\n";
    out << "bundle identifier: " << bundle->bundleIdentifier().value_or("(none)") << "\n";
    for (const auto& [key, value] : profile.description()) {
        out << "device." << key << ": " << describe(value) << "\n";
    }
    for (const HostEntry& entry : hostTable()) {
        out << "host." << entry.name << ": " << entry.host << "\n";
    }
    return 0;
}

} // namespace murmelo::tool
