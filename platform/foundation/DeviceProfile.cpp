#include "platform/foundation/DeviceProfile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/random.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "platform/core/Log.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Crypto.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/PropertyListSerialization.h"

namespace murmelo {

namespace {

struct CurrentProfile {
    std::mutex mutex;
    std::shared_ptr<const DeviceProfile> profile;
};

CurrentProfile& currentSlot() {
    static CurrentProfile* slot = new CurrentProfile(); // never destroyed: read during exit
    return *slot;
}

Error profileError(std::string description) {
    return Error("MurmeloDeviceErrorDomain", 1, std::move(description));
}

std::optional<bool> parseFlag(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower == "yes" || lower == "true" || lower == "1") {
        return true;
    }
    if (lower == "no" || lower == "false" || lower == "0") {
        return false;
    }
    return std::nullopt;
}

std::optional<NetworkState> parseNetwork(const std::string& text) {
    if (text == "none") {
        return NetworkState::None;
    }
    if (text == "carrier") {
        return NetworkState::Carrier;
    }
    if (text == "wifi") {
        return NetworkState::Wifi;
    }
    if (text == "host") {
        return NetworkState::Host;
    }
    return std::nullopt;
}

std::optional<UserInterfaceIdiom> parseIdiom(const std::string& text) {
    if (text == "phone") {
        return UserInterfaceIdiom::Phone;
    }
    if (text == "pad") {
        return UserInterfaceIdiom::Pad;
    }
    return std::nullopt;
}

std::vector<std::string> splitLanguages(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        out.push_back(item);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return out;
}

std::optional<double> parseNumber(const std::string& text) {
    char* end = nullptr;
    double number = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

std::string locationText(const DeviceLocation& location) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f,%.6f", location.latitude, location.longitude);
    return text;
}

} // namespace

std::optional<DeviceLocation> parseDeviceLocation(const std::string& text, double timestamp) {
    size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return std::nullopt;
    }
    auto latitude = parseNumber(text.substr(0, comma));
    auto longitude = parseNumber(text.substr(comma + 1));
    if (!latitude || !longitude || std::fabs(*latitude) > 90 || std::fabs(*longitude) > 180) {
        return std::nullopt;
    }
    return DeviceLocation{*latitude, *longitude, timestamp};
}

const char* networkStateName(NetworkState state) {
    switch (state) {
    case NetworkState::None:
        return "none";
    case NetworkState::Carrier:
        return "carrier";
    case NetworkState::Wifi:
        return "wifi";
    case NetworkState::Host:
        return "host";
    }
    return "none";
}

const char* idiomName(UserInterfaceIdiom idiom) {
    return idiom == UserInterfaceIdiom::Pad ? "pad" : "phone";
}

DeviceProfile::DeviceProfile()
    : m_uniqueIdentifier(newUniqueIdentifier()), m_preferredLanguages(languagesFromEnvironment()) {}

std::string DeviceProfile::newUniqueIdentifier() {
    std::uint8_t bytes[20];
    size_t filled = 0;
    while (filled < sizeof bytes) {
        ssize_t n = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        filled += static_cast<size_t>(n);
    }
    if (filled < sizeof bytes) {
        // No kernel randomness: still unique per machine and moment, if guessable.
        std::string seed =
            std::to_string(::time(nullptr)) + "/" + std::to_string(::getpid()) + "/" + unameMachine();
        Md5Digest a = md5(seed);
        Md5Digest b = md5(seed + "#");
        std::copy(a.begin(), a.end(), bytes);
        std::copy(b.begin(), b.begin() + 4, bytes + 16);
    }
    return hexString(bytes, sizeof bytes);
}

bool DeviceProfile::isValidUniqueIdentifier(const std::string& text) {
    return text.size() == 40 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::string DeviceProfile::unameMachine() {
    utsname info{};
    if (::uname(&info) != 0) {
        return "unknown";
    }
    return info.machine;
}

std::vector<std::string> DeviceProfile::languagesFromEnvironment() {
    std::string code = Locale::currentLocale().languageCode();
    std::vector<std::string> languages;
    if (!code.empty() && code != "en") {
        languages.push_back(code);
    }
    languages.push_back("en");
    return languages;
}

std::string DeviceProfile::machine() const {
    return m_machineOverride.empty() ? unameMachine() : m_machineOverride;
}

Dictionary DeviceProfile::toDictionary() const {
    Array languages;
    for (const auto& language : m_preferredLanguages) {
        languages.emplace_back(language);
    }
    Dictionary d{
        {"name", Value(m_name)},
        {"model", Value(m_model)},
        {"systemName", Value(m_systemName)},
        {"systemVersion", Value(m_systemVersion)},
        {"uniqueIdentifier", Value(m_uniqueIdentifier)},
        {"screenReportsScale", Value(m_screenReportsScale)},
        {"screenScale", Value(m_screenScale)},
        {"idiom", Value(idiomName(m_idiom))},
        {"preferredLanguages", Value(std::move(languages))},
        {"network", Value(networkStateName(m_networkState))},
        {"iAd", Value(m_iAdAvailable)},
        {"locationServices", Value(m_locationServicesEnabled)},
        {"location", Value(m_lastLocation ? locationText(*m_lastLocation) : std::string("none"))},
    };
    if (m_lastLocation) {
        d.set("locationTimestamp", Value(m_lastLocation->timestamp));
    }
    if (!m_machineOverride.empty()) {
        d.set("machine", Value(m_machineOverride));
    }
    return d;
}

Dictionary DeviceProfile::description() const {
    Dictionary d = toDictionary();
    d.set("machine", Value(machine()));
    return d;
}

bool DeviceProfile::readDictionary(const Dictionary& stored) {
    bool complete = true;
    auto text = [&](const char* key, std::string& field) {
        if (const Value* v = stored.find(key)) {
            if (v->isString() && !v->asString()->empty()) {
                field = *v->asString();
            } else {
                complete = false;
            }
        } else {
            complete = false;
        }
    };
    text("name", m_name);
    text("model", m_model);
    text("systemName", m_systemName);
    text("systemVersion", m_systemVersion);
    std::string identifier;
    text("uniqueIdentifier", identifier);
    if (isValidUniqueIdentifier(identifier)) {
        m_uniqueIdentifier = identifier;
    } else {
        complete = false;
    }
    if (const Value* v = stored.find("machine"); v && v->isString()) {
        m_machineOverride = *v->asString();
    }
    if (const Value* v = stored.find("screenReportsScale"); v && v->isBoolean()) {
        m_screenReportsScale = v->boolValue();
    } else {
        complete = false;
    }
    if (const Value* v = stored.find("screenScale"); v && v->isNumber() && v->doubleValue() > 0) {
        m_screenScale = v->doubleValue();
    } else {
        complete = false;
    }
    std::string idiom;
    text("idiom", idiom);
    if (auto parsed = parseIdiom(idiom)) {
        m_idiom = *parsed;
    } else {
        complete = false;
    }
    std::string network;
    text("network", network);
    if (auto parsed = parseNetwork(network)) {
        m_networkState = *parsed;
    } else {
        complete = false;
    }
    auto flag = [&](const char* key, bool& field) {
        if (const Value* v = stored.find(key); v && v->isBoolean()) {
            field = v->boolValue();
        } else {
            complete = false;
        }
    };
    flag("iAd", m_iAdAvailable);
    flag("locationServices", m_locationServicesEnabled);
    std::string location;
    text("location", location);
    if (location != "none") {
        const Value* taken = stored.find("locationTimestamp");
        m_lastLocation = parseDeviceLocation(location, taken && taken->isNumber() ? taken->doubleValue() : 0);
        complete = complete && m_lastLocation.has_value();
    }
    const Value* languages = stored.find("preferredLanguages");
    std::vector<std::string> list;
    if (languages && languages->isArray()) {
        for (const Value& item : *languages->asArray()) {
            if (item.isString() && !item.asString()->empty()) {
                list.push_back(item.asString()->str());
            }
        }
    }
    if (!list.empty()) {
        m_preferredLanguages = std::move(list);
    } else {
        complete = false;
    }
    return complete;
}

std::string DeviceProfile::pathInHome(const std::string& homePath) {
    return homePath + "/Library/Preferences/device-profile.plist";
}

Result<void> DeviceProfile::save(const std::string& path) const {
    MURMELO_TRY_VOID(fs::createDirectories(fs::parentPath(path)));
    return PropertyListSerialization::writePropertyListToFile(Value(toDictionary()), path,
                                                              PropertyListFormat::Xml, 0600);
}

Result<DeviceProfile> DeviceProfile::loadOrCreate(const std::string& path) {
    DeviceProfile profile;
    if (fs::fileExists(path)) {
        auto stored = PropertyListSerialization::propertyListWithContentsOfFile(path);
        if (stored && stored->isDictionary()) {
            if (profile.readDictionary(*stored->asDictionary())) {
                return profile;
            }
            // Fill in what was missing and keep the rest.
            MURMELO_TRY_VOID(profile.save(path));
            return profile;
        }
        auto aside = fs::moveDamagedFileAside(path);
        if (!aside) {
            return profileError("the device profile " + path + " is damaged and cannot be moved aside");
        }
        logLine("The device profile %s is damaged (%s); kept as %s, starting a fresh one", path.c_str(),
                stored ? "not a dictionary" : stored.error().localizedDescription().c_str(), aside->c_str());
    }
    MURMELO_TRY_VOID(profile.save(path));
    return profile;
}

std::shared_ptr<const DeviceProfile> DeviceProfile::current() {
    CurrentProfile& slot = currentSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.profile) {
        std::string path = pathInHome(AppHome::current()->path());
        auto loaded = loadOrCreate(path);
        if (loaded) {
            slot.profile = std::make_shared<const DeviceProfile>(std::move(*loaded));
        } else {
            logLine("Cannot keep the device profile: %s; using defaults for this run",
                    loaded.error().localizedDescription().c_str());
            slot.profile = std::make_shared<const DeviceProfile>();
        }
    }
    return slot.profile;
}

void DeviceProfile::setCurrent(DeviceProfile profile) {
    CurrentProfile& slot = currentSlot();
    std::lock_guard lock(slot.mutex);
    slot.profile = std::make_shared<const DeviceProfile>(std::move(profile));
}

void DeviceProfile::resetCurrent() {
    CurrentProfile& slot = currentSlot();
    std::lock_guard lock(slot.mutex);
    slot.profile.reset();
}

Result<void> DeviceProfile::applyOne(const std::string& key, const std::string& value) {
    auto bad = [&](const char* expected) {
        return profileError("device option " + key + "=" + value + ": expected " + expected);
    };
    if (key == "name" || key == "model" || key == "systemName" || key == "systemVersion" ||
        key == "machine") {
        if (value.empty()) {
            return bad("a non-empty text");
        }
        std::string& field = key == "name"            ? m_name
                             : key == "model"         ? m_model
                             : key == "systemName"    ? m_systemName
                             : key == "systemVersion" ? m_systemVersion
                                                      : m_machineOverride;
        field = value;
    } else if (key == "uniqueIdentifier") {
        if (!isValidUniqueIdentifier(value)) {
            return bad("40 lower-case hexadecimal digits");
        }
        m_uniqueIdentifier = value;
    } else if (key == "screenReportsScale" || key == "iAd" || key == "locationServices") {
        auto flag = parseFlag(value);
        if (!flag) {
            return bad("yes or no");
        }
        (key == "iAd"                ? m_iAdAvailable
         : key == "locationServices" ? m_locationServicesEnabled
                                     : m_screenReportsScale) = *flag;
    } else if (key == "screenScale") {
        auto scale = parseNumber(value);
        if (!scale || *scale <= 0) {
            return bad("a positive number");
        }
        m_screenScale = *scale;
    } else if (key == "location") {
        if (value == "none") {
            m_lastLocation.reset();
        } else if (auto location = parseDeviceLocation(value, static_cast<double>(::time(nullptr)))) {
            m_lastLocation = location;
        } else {
            return bad("LAT,LON in degrees or none");
        }
    } else if (key == "idiom") {
        auto idiom = parseIdiom(value);
        if (!idiom) {
            return bad("phone or pad");
        }
        m_idiom = *idiom;
    } else if (key == "network") {
        auto network = parseNetwork(value);
        if (!network) {
            return bad("none, carrier, wifi or host");
        }
        m_networkState = *network;
    } else if (key == "preferredLanguages") {
        auto languages = splitLanguages(value);
        if (std::any_of(languages.begin(), languages.end(), [](const std::string& l) { return l.empty(); })) {
            return bad("a comma-separated list of language names");
        }
        m_preferredLanguages = std::move(languages);
    } else {
        return profileError("unknown device option \"" + key + "\"");
    }
    return Result<void>::success();
}

Result<void> DeviceProfile::applyOverrides(const std::vector<std::string>& options) {
    DeviceProfile changed = *this;
    for (const std::string& option : options) {
        size_t equals = option.find('=');
        if (equals == std::string::npos || equals == 0) {
            return profileError("device option \"" + option + "\" is not key=value");
        }
        if (auto r = changed.applyOne(option.substr(0, equals), option.substr(equals + 1)); !r) {
            return r;
        }
    }
    *this = std::move(changed);
    return Result<void>::success();
}

} // namespace murmelo
