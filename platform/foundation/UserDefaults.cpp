#include "platform/foundation/UserDefaults.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/Log.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/PropertyListSerialization.h"

namespace murmelo {

namespace {

constexpr const char* kFallbackIdentifier = "org.murmelo.Murmelo";

struct StandardSlot {
    std::mutex mutex;
    std::shared_ptr<UserDefaults> defaults;
    bool exitHookInstalled = false;
};

StandardSlot& standardSlot() {
    static StandardSlot* slot = new StandardSlot(); // never destroyed: used by the exit hook
    return *slot;
}

Dictionary deviceDomainFor(const std::vector<std::string>& languages) {
    Array list;
    for (const auto& language : languages) {
        list.emplace_back(language);
    }
    return Dictionary{{"AppleLanguages", Value(std::move(list))},
                      {"AppleLocale", Value(Locale::currentLocale().localeIdentifier())}};
}

bool isSafeFileName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

} // namespace

void flushStandardUserDefaultsAtExit() {
    std::shared_ptr<UserDefaults> defaults;
    {
        StandardSlot& slot = standardSlot();
        std::lock_guard lock(slot.mutex);
        defaults = slot.defaults;
    }
    if (defaults) {
        defaults->stopFlusher();
    }
}

std::shared_ptr<UserDefaults> UserDefaults::standardUserDefaults() {
    StandardSlot& slot = standardSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.defaults) {
        std::string identifier = Bundle::mainBundle()->bundleIdentifier().value_or(kFallbackIdentifier);
        if (!isSafeFileName(identifier)) {
            identifier = kFallbackIdentifier;
        }
        Options options;
        options.deviceDomain = deviceDomainFor(DeviceProfile::current()->preferredLanguages());
        std::string path = AppHome::current()->preferencesDirectory() + "/" + identifier + ".plist";
        slot.defaults = openAtPath(path, std::move(options));
        if (!slot.exitHookInstalled) {
            slot.exitHookInstalled = true;
            std::atexit(flushStandardUserDefaultsAtExit);
        }
    }
    return slot.defaults;
}

void UserDefaults::resetStandardUserDefaults() {
    std::shared_ptr<UserDefaults> old;
    {
        StandardSlot& slot = standardSlot();
        std::lock_guard lock(slot.mutex);
        old = std::move(slot.defaults);
    }
    if (old) {
        old->synchronize();
    }
}

std::shared_ptr<UserDefaults> UserDefaults::openAtPath(const std::string& path, Options options) {
    return std::shared_ptr<UserDefaults>(new UserDefaults(path, std::move(options)));
}

UserDefaults::UserDefaults(std::string path, Options options)
    : m_path(std::move(path)), m_saveDelay(options.saveDelay) {
    m_device = options.deviceDomain ? std::move(*options.deviceDomain)
                                    : deviceDomainFor(DeviceProfile::languagesFromEnvironment());
    load();
    m_flusher = std::thread([this] { flusherLoop(); });
}

UserDefaults::~UserDefaults() {
    stopFlusher();
}

void UserDefaults::load() {
    if (!fs::fileExists(m_path)) {
        if (fs::directoryExists(m_path)) {
            logLine("User defaults path %s is a folder; changes will not be saved", m_path.c_str());
            m_writeBlocked = true;
        }
        return;
    }
    auto bytes = fs::readFile(m_path);
    if (!bytes) {
        logLine("Cannot read user defaults %s (%s); changes will not be saved", m_path.c_str(),
                bytes.error().localizedDescription().c_str());
        m_writeBlocked = true;
        return;
    }
    auto value = PropertyListSerialization::propertyListWithData(*bytes);
    if (value && value->isDictionary()) {
        m_values = std::move(*value->asDictionary());
        return;
    }
    std::string reason = value ? "not a dictionary" : value.error().localizedDescription();
    if (auto aside = fs::moveDamagedFileAside(m_path)) {
        logLine("User defaults %s are damaged (%s); kept as %s, starting empty", m_path.c_str(),
                reason.c_str(), aside->c_str());
    } else {
        logLine("User defaults %s are damaged (%s) and cannot be moved aside; changes will not be saved",
                m_path.c_str(), reason.c_str());
        m_writeBlocked = true;
    }
}

std::optional<Value> UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    for (const Dictionary* domain : {&m_values, &m_device, &m_registration}) {
        if (const Value* value = domain->find(key)) {
            return *value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) {
        return std::nullopt;
    }
    switch (value->type()) {
    case ValueType::String:
        return value->asString()->str();
    case ValueType::Integer:
    case ValueType::Real:
    case ValueType::Decimal:
    case ValueType::Boolean:
        return value->stringValue();
    default:
        return std::nullopt;
    }
}

std::optional<Array> UserDefaults::arrayForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value || !value->isArray()) {
        return std::nullopt;
    }
    return std::move(*value->asArray());
}

std::optional<Dictionary> UserDefaults::dictionaryForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value || !value->isDictionary()) {
        return std::nullopt;
    }
    return std::move(*value->asDictionary());
}

std::optional<Data> UserDefaults::dataForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value || !value->isData()) {
        return std::nullopt;
    }
    return *value->asData();
}

long long UserDefaults::integerForKey(const std::string& key) const {
    auto value = objectForKey(key);
    return value ? value->integerValue() : 0;
}

double UserDefaults::doubleForKey(const std::string& key) const {
    auto value = objectForKey(key);
    return value ? value->doubleValue() : 0.0;
}

bool UserDefaults::boolForKey(const std::string& key) const {
    auto value = objectForKey(key);
    return value ? value->boolValue() : false;
}

bool UserDefaults::setObject(const Value& value, const std::string& key) {
    if (value.isNull()) {
        removeObjectForKey(key);
        return true;
    }
    // Only what can be saved is accepted, so a later save cannot fail on content.
    if (auto check = PropertyListSerialization::dataWithPropertyList(Value(Dictionary{{key, value}}),
                                                                     PropertyListFormat::Binary);
        !check) {
        logLine("Attempt to set a non-property-list object %s for key %s: %s",
                value.debugDescription().c_str(), key.c_str(), check.error().localizedDescription().c_str());
        return false;
    }
    std::unique_lock lock(m_mutex);
    m_values.set(key, value);
    markChanged(lock);
    return true;
}

void UserDefaults::removeObjectForKey(const std::string& key) {
    std::unique_lock lock(m_mutex);
    if (m_values.erase(key)) {
        markChanged(lock);
    }
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
    std::lock_guard lock(m_mutex);
    for (const auto& [key, value] : defaults) {
        m_registration.set(key, value);
    }
}

Dictionary UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(m_mutex);
    Dictionary merged = m_registration;
    for (const Dictionary* domain : {&m_device, &m_values}) {
        for (const auto& [key, value] : *domain) {
            merged.set(key, value);
        }
    }
    return merged;
}

void UserDefaults::markChanged(std::unique_lock<std::mutex>& lock) {
    ++m_changes;
    if (m_stopping) {
        // No flusher any more (process exit): keep the change by writing now.
        lock.unlock();
        synchronize();
        return;
    }
    if (!m_deadline) {
        m_deadline = std::chrono::steady_clock::now() + m_saveDelay;
        m_wake.notify_all();
    }
}

bool UserDefaults::synchronize() {
    std::unique_lock lock(m_mutex);
    return save(lock);
}

// Called with m_mutex held; returns with it held. Writes happen one at a
// time under m_writeMutex so an older snapshot never lands after a newer one.
bool UserDefaults::save(std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    std::lock_guard writing(m_writeMutex);
    lock.lock();
    if (m_writeBlocked) {
        return false;
    }
    if (m_savedChanges == m_changes) {
        return true;
    }
    Dictionary snapshot = m_values;
    unsigned long long generation = m_changes;
    lock.unlock();

    Result<void> written = [&]() -> Result<void> {
        MURMELO_TRY_VALUE(auto bytes, PropertyListSerialization::dataWithPropertyList(
                                          Value(std::move(snapshot)), PropertyListFormat::Xml));
        if (auto r = fs::createDirectories(fs::parentPath(m_path)); !r) {
            return r;
        }
        return fs::writeFileAtomically(m_path, bytes, 0600);
    }();

    lock.lock();
    if (!written) {
        logLine("Cannot save user defaults %s: %s", m_path.c_str(),
                written.error().localizedDescription().c_str());
        return false;
    }
    m_savedChanges = generation;
    ++m_saveCount;
    m_savedSignal.notify_all();
    return true;
}

void UserDefaults::flusherLoop() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (!m_deadline) {
            m_wake.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < *m_deadline) {
            m_wake.wait_until(lock, *m_deadline);
            continue;
        }
        m_deadline.reset();
        save(lock);
    }
}

void UserDefaults::stopFlusher() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_deadline.reset();
    }
    m_wake.notify_all();
    if (m_flusher.joinable() && m_flusher.get_id() != std::this_thread::get_id()) {
        m_flusher.join();
    }
    synchronize();
}

bool UserDefaults::waitUntilSaved(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_savedSignal.wait_for(lock, timeout, [&] { return m_savedChanges == m_changes; });
}

size_t UserDefaults::saveCount() const {
    std::lock_guard lock(m_mutex);
    return m_saveCount;
}

} // namespace murmelo
