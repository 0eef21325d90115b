#include "platform/foundation/Locale.h"

#include <cstdlib>

namespace murmelo {

std::string Locale::identifierFromPosixName(std::string_view name) {
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return "en_US";
    }
    return std::string(name);
}

Locale Locale::currentLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            return Locale(identifierFromPosixName(value));
        }
    }
    return Locale("en_US");
}

std::string Locale::languageCode() const {
    return m_identifier.substr(0, m_identifier.find_first_of("_-"));
}

std::string Locale::countryCode() const {
    size_t underscore = m_identifier.find('_');
    if (underscore == std::string::npos) {
        return "";
    }
    std::string region = m_identifier.substr(underscore + 1);
    return region.substr(0, region.find_first_of("_-@"));
}

} // namespace murmelo
