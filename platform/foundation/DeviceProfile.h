// DeviceProfile: what the device says about itself — model, system name and
// version, the unique identifier, the screen, the idiom, the hardware
// machine name, the user's preferred languages, the simulated network, the
// location service (on or off, and the last known fix) and whether the
// platform's iAd banner class is present.
//
// A home keeps its profile in Library/Preferences/device-profile.plist. A
// fresh home gets phone defaults (an iPhone with a scale-2 screen on
// "iPhone OS" 4.3.3, Wi-Fi, languages from the environment) and a new
// identifier of 40 lower-case hexadecimal digits from the system's random
// source, and the file is written at once, so the identifier stays the
// same across launches. The machine name is the host's `uname` machine
// unless overridden (as on the simulator), and is only stored when it is.
//
// DeviceProfile is a value type. current() is the documented single
// instance for the current AppHome, loaded on first use; setCurrent()
// replaces it (the murmelo command after --device overrides) and
// resetCurrent() drops it (tests, after a home change). Thread-safe.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo {

enum class UserInterfaceIdiom { Phone, Pad };
// The network the device reports: None, Carrier and Wifi are simulated (the
// reachability source answers from the state alone); Host reads the Linux
// host's routes and links.
enum class NetworkState { None, Carrier, Wifi, Host };

// A location fix: degrees, and when it was taken (seconds since 1970).
struct DeviceLocation {
    double latitude = 0;
    double longitude = 0;
    double timestamp = 0;
    bool operator==(const DeviceLocation&) const = default;
};

class DeviceProfile {
public:
    // Phone defaults with a new identifier (not saved).
    DeviceProfile();

    static std::shared_ptr<const DeviceProfile> current();
    static void setCurrent(DeviceProfile profile);
    static void resetCurrent();

    // Reads the profile at `path`, filling missing entries with defaults;
    // creates and saves it when missing. A damaged file is moved aside to
    // "<path>.damaged" (logged) and replaced by a fresh profile.
    static Result<DeviceProfile> loadOrCreate(const std::string& path);
    static std::string pathInHome(const std::string& homePath);

    Result<void> save(const std::string& path) const;

    // "key=value" options, all or nothing. Keys: name, model, systemName,
    // systemVersion, uniqueIdentifier, screenReportsScale (yes/no),
    // screenScale, idiom (phone/pad), machine, preferredLanguages
    // (comma-separated), network (none/carrier/wifi/host), iAd (yes/no),
    // locationServices (yes/no), location ("LAT,LON" in degrees, taken now;
    // "none" forgets it).
    Result<void> applyOverrides(const std::vector<std::string>& options);

    const std::string& name() const { return m_name; }
    const std::string& model() const { return m_model; }
    const std::string& systemName() const { return m_systemName; }
    const std::string& systemVersion() const { return m_systemVersion; }
    const std::string& uniqueIdentifier() const { return m_uniqueIdentifier; }
    bool screenReportsScale() const { return m_screenReportsScale; }
    double screenScale() const { return m_screenScale; }
    UserInterfaceIdiom userInterfaceIdiom() const { return m_idiom; }
    // The override when set, else the host's uname machine.
    std::string machine() const;
    const std::vector<std::string>& preferredLanguages() const { return m_preferredLanguages; }
    NetworkState networkState() const { return m_networkState; }
    bool iAdAvailable() const { return m_iAdAvailable; }
    bool locationServicesEnabled() const { return m_locationServicesEnabled; }
    const std::optional<DeviceLocation>& lastLocation() const { return m_lastLocation; }

    // Every entry as the file stores it (the machine always included), in a
    // fixed order; for `murmelo info`.
    Dictionary description() const;

    static std::string newUniqueIdentifier();
    static bool isValidUniqueIdentifier(const std::string& text);
    static std::string unameMachine();
    // The environment locale's language then "en" ("de_DE.UTF-8" → de, en).
    static std::vector<std::string> languagesFromEnvironment();

private:
    Dictionary toDictionary() const;
    // Takes what it understands from a stored dictionary; false when an
    // entry is present but unusable (it is then left at its default).
    bool readDictionary(const Dictionary& stored);
    Result<void> applyOne(const std::string& key, const std::string& value);

    std::string m_name = "iPhone";
    std::string m_model = "iPhone";
    std::string m_systemName = "iPhone OS";
    std::string m_systemVersion = "4.3.3";
    std::string m_uniqueIdentifier;
    bool m_screenReportsScale = true;
    double m_screenScale = 2.0;
    UserInterfaceIdiom m_idiom = UserInterfaceIdiom::Phone;
    std::string m_machineOverride; // empty: the host's
    std::vector<std::string> m_preferredLanguages;
    NetworkState m_networkState = NetworkState::Wifi;
    bool m_iAdAvailable = true;
    bool m_locationServicesEnabled = true;
    std::optional<DeviceLocation> m_lastLocation;
};

// "LAT,LON" with latitude in -90..90 and longitude in -180..180.
std::optional<DeviceLocation> parseDeviceLocation(const std::string& text, double timestamp);

const char* networkStateName(NetworkState state);
const char* idiomName(UserInterfaceIdiom idiom);

} // namespace murmelo
