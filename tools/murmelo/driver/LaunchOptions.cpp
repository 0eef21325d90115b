#include "tools/murmelo/driver/LaunchOptions.h"

#include <cctype>

#include "platform/net/ConnectToMap.h"

namespace murmelo::driver {

namespace {

Error optionError(const std::string& what) {
    return Error("MurmeloDriverOptions", 1, what);
}

} // namespace

std::string launchUsage(LaunchKind kind) {
    std::string name = kind == LaunchKind::Demo ? "demo" : "run";
    std::string text =
        "usage: murmelo " + name +
        " [--home DIR] [--connect-to HOST:PORT:ADDR:PORT2]...\n"
        "         [--network none|wifi|carrier|system] [--locale LOCALE] [--device phone|pad]\n"
        "         [--script FILE|-] [--screenshots DIR]";
    if (kind == LaunchKind::Demo) {
        text += " [--data DIR] [--mediation PRESET]";
    }
    return text + "\n";
}

std::optional<std::vector<std::string>> languagesForLocale(const std::string& locale) {
    std::size_t letters = 0;
    while (letters < locale.size() && std::isalpha(static_cast<unsigned char>(locale[letters]))) {
        ++letters;
    }
    if (letters < 2 || letters > 3) {
        return std::nullopt;
    }
    for (std::size_t i = letters; i < locale.size(); ++i) {
        char c = locale[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.' && c != '@') {
            return std::nullopt;
        }
    }
    if (letters < locale.size() && locale[letters] != '_' && locale[letters] != '-' &&
        locale[letters] != '.') {
        return std::nullopt;
    }
    std::string language;
    for (std::size_t i = 0; i < letters; ++i) {
        language += static_cast<char>(std::tolower(static_cast<unsigned char>(locale[i])));
    }
    if (language == "en") {
        return std::vector<std::string>{"en"};
    }
    return std::vector<std::string>{language, "en"};
}

Result<LaunchOptions> parseLaunchOptions(LaunchKind kind, const std::vector<std::string>& args) {
    LaunchOptions options;
    options.kind = kind;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            options.help = true;
            continue;
        }
        std::string name = word;
        std::optional<std::string> value;
        if (std::size_t equals = word.find('='); word.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
        }
        static const char* const kKnown[] = {"--home",        "--connect-to", "--network",
                                             "--locale",      "--device",     "--script",
                                             "--screenshots", "--data",       "--mediation"};
        bool known = false;
        for (const char* candidate : kKnown) {
            known = known || name == candidate;
        }
        if (!known || ((name == "--data" || name == "--mediation") && kind != LaunchKind::Demo)) {
            return optionError("unknown argument \"" + word + "\"");
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                return optionError(name + " needs a value");
            }
            value = args[++i];
        }
        if (value->empty()) {
            return optionError(name + " needs a value");
        }
        if (name == "--home") {
            options.home = *value;
        } else if (name == "--connect-to") {
            // Checked now so a typo stops the command before anything starts.
            std::string_view rest = *value;
            while (true) {
                std::size_t comma = rest.find(',');
                if (auto rule = ConnectToRule::parse(rest.substr(0, comma)); !rule) {
                    return optionError("--connect-to " + *value + ": " + rule.error().localizedDescription());
                }
                if (comma == std::string_view::npos) {
                    break;
                }
                rest.remove_prefix(comma + 1);
            }
            options.connectTo.push_back(*value);
        } else if (name == "--network") {
            if (*value == "none") {
                options.network = NetworkState::None;
            } else if (*value == "wifi") {
                options.network = NetworkState::Wifi;
            } else if (*value == "carrier") {
                options.network = NetworkState::Carrier;
            } else if (*value == "system") {
                options.network = NetworkState::Host;
            } else {
                return optionError("--network " + *value + ": expected none, wifi, carrier or system");
            }
        } else if (name == "--locale") {
            if (!languagesForLocale(*value)) {
                return optionError("--locale " + *value + ": expected a name like en_US or de_DE");
            }
            options.locale = *value;
        } else if (name == "--device") {
            if (*value == "phone") {
                options.device = UserInterfaceIdiom::Phone;
            } else if (*value == "pad") {
                options.device = UserInterfaceIdiom::Pad;
            } else {
                return optionError("--device " + *value + ": expected phone or pad");
            }
        } else if (name == "--script") {
            options.script = *value;
        } else if (name == "--screenshots") {
            options.screenshots = *value;
        } else if (name == "--mediation") {
            options.mediation = *value;
        } else {
            options.data = *value;
        }
    }
    return options;
}

} // namespace murmelo::driver
