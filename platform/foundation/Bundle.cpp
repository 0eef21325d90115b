#include "platform/foundation/Bundle.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>

#include "platform/core/Log.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/foundation/UserDefaults.h"

namespace murmelo {

namespace {

struct MainBundleSlot {
    std::mutex mutex;
    std::shared_ptr<Bundle> bundle;
    std::optional<std::string> path;
};

MainBundleSlot& mainSlot() {
    static MainBundleSlot* slot = new MainBundleSlot(); // never destroyed: read during exit
    return *slot;
}

std::string defaultMainBundlePath() {
    if (const char* path = std::getenv("MURMELO_BUNDLE"); path && *path) {
        return path;
    }
#ifdef MURMELO_SOURCE_DIR
    return std::string(MURMELO_SOURCE_DIR) + "/app/resources";
#else
    return "resources";
#endif
}

// Old English folder names the platform still accepts for a language code.
const char* legacyName(const std::string& code) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"en", "English"}, {"de", "German"},  {"fr", "French"}, {"ja", "Japanese"},
        {"es", "Spanish"}, {"it", "Italian"}, {"nl", "Dutch"},
    };
    for (const auto& [iso, name] : kNames) {
        if (code == iso) {
            return name;
        }
    }
    return nullptr;
}

// A resource or table name may not climb out of the bundle.
bool isSafeName(const std::string& name) {
    if (name.empty() || name.front() == '/') {
        return false;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..") {
            return false;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return true;
}

} // namespace

Bundle::Bundle(std::string path) : m_path(std::move(path)) {
    while (m_path.size() > 1 && m_path.back() == '/') {
        m_path.pop_back();
    }
    std::string infoPath = m_path + "/Info.plist";
    if (fs::fileExists(infoPath)) {
        auto info = PropertyListSerialization::propertyListWithContentsOfFile(infoPath);
        if (info && info->isDictionary()) {
            m_info = std::move(*info->asDictionary());
        } else {
            logLine("Cannot read %s: %s", infoPath.c_str(),
                    info ? "not a dictionary" : info.error().localizedDescription().c_str());
        }
    }
    if (DIR* dir = opendir(m_path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 6 && name.compare(name.size() - 6, 6, ".lproj") == 0 &&
                fs::directoryExists(m_path + "/" + name)) {
                m_localizations.push_back(name.substr(0, name.size() - 6));
            }
        }
        closedir(dir);
    }
    std::sort(m_localizations.begin(), m_localizations.end());
}

std::shared_ptr<Bundle> Bundle::mainBundle() {
    MainBundleSlot& slot = mainSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.bundle) {
        slot.bundle = std::shared_ptr<Bundle>(new Bundle(slot.path ? *slot.path : defaultMainBundlePath()));
    }
    return slot.bundle;
}

void Bundle::setMainBundlePath(const std::string& path) {
    MainBundleSlot& slot = mainSlot();
    std::lock_guard lock(slot.mutex);
    slot.path = path;
    slot.bundle.reset();
}

std::shared_ptr<Bundle> Bundle::bundleWithPath(const std::string& path) {
    if (!fs::directoryExists(path)) {
        return nullptr;
    }
    return std::shared_ptr<Bundle>(new Bundle(path));
}

std::optional<Value> Bundle::objectForInfoDictionaryKey(const std::string& key) const {
    if (const Value* value = m_info.find(key)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<std::string> Bundle::bundleIdentifier() const {
    const Value* value = m_info.find("CFBundleIdentifier");
    if (value && value->isString() && !value->asString()->empty()) {
        return value->asString()->str();
    }
    return std::nullopt;
}

std::string Bundle::developmentRegion() const {
    const Value* value = m_info.find("CFBundleDevelopmentRegion");
    if (value && value->isString() && !value->asString()->empty()) {
        return value->asString()->str();
    }
    return "en";
}

std::vector<std::string> Bundle::searchOrder(const std::vector<std::string>& languages) const {
    std::vector<std::string> order;
    auto add = [&](const std::string& candidate) {
        if (std::find(m_localizations.begin(), m_localizations.end(), candidate) != m_localizations.end() &&
            std::find(order.begin(), order.end(), candidate) == order.end()) {
            order.push_back(candidate);
            return true;
        }
        return false;
    };
    auto addLanguage = [&](const std::string& language) {
        std::string dashed = language;
        std::replace(dashed.begin(), dashed.end(), '_', '-');
        std::string underscored = language;
        std::replace(underscored.begin(), underscored.end(), '-', '_');
        std::string code = language.substr(0, language.find_first_of("-_"));
        const char* legacy = legacyName(code);
        // Only the best available form of each language is taken.
        add(language) || add(dashed) || add(underscored) || add(code) || (legacy && add(legacy));
    };
    for (const std::string& language : languages) {
        addLanguage(language);
    }
    addLanguage(developmentRegion());
    add("Base");
    return order;
}

std::vector<std::string> Bundle::userLanguages() const {
    std::vector<std::string> languages;
    auto list = UserDefaults::standardUserDefaults()->arrayForKey("AppleLanguages");
    if (list) {
        for (const Value& item : *list) {
            if (const ValueString* text = item.asString()) {
                languages.push_back(text->str());
            }
        }
    }
    return languages;
}

std::shared_ptr<const StringsTable> Bundle::table(const std::string& localization,
                                                  const std::string& name) const {
    std::string relative = (localization.empty() ? "" : localization + ".lproj/") + name + ".strings";
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_tables.find(relative); it != m_tables.end()) {
            return it->second;
        }
    }
    std::shared_ptr<const StringsTable> loaded;
    std::string path = m_path + "/" + relative;
    if (fs::fileExists(path)) {
        auto bytes = fs::readFile(path);
        auto parsed = bytes ? parseStringsFile(*bytes) : Result<StringsTable>(bytes.error());
        if (parsed) {
            loaded = std::make_shared<const StringsTable>(std::move(*parsed));
        } else {
            logLine("Cannot read the strings table %s: %s", path.c_str(),
                    parsed.error().localizedDescription().c_str());
        }
    }
    std::lock_guard lock(m_mutex);
    return m_tables.emplace(relative, std::move(loaded)).first->second;
}

std::string Bundle::localizedStringForKey(const std::string& key, const std::optional<std::string>& value,
                                          const std::optional<std::string>& table) const {
    return localizedStringForKey(key, value, table, userLanguages());
}

std::string Bundle::localizedStringForKey(const std::string& key, const std::optional<std::string>& value,
                                          const std::optional<std::string>& tableName,
                                          const std::vector<std::string>& languages) const {
    std::string name = tableName && !tableName->empty() ? *tableName : "Localizable";
    auto fallback = [&] { return value && !value->empty() ? *value : key; };
    if (!isSafeName(name)) {
        return fallback();
    }
    std::vector<std::string> order = searchOrder(languages);
    order.push_back(""); // the bundle root
    for (const std::string& localization : order) {
        if (auto strings = table(localization, name)) {
            auto it = strings->find(key);
            return it != strings->end() ? it->second : fallback();
        }
    }
    return fallback();
}

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type) const {
    std::string file = name;
    if (!type.empty()) {
        file += type.front() == '.' ? type : "." + type;
    }
    if (!isSafeName(file)) {
        return std::nullopt;
    }
    std::vector<std::string> folders{""};
    for (const std::string& localization : searchOrder(userLanguages())) {
        folders.push_back(localization + ".lproj/");
    }
    for (const std::string& folder : folders) {
        std::string path = m_path + "/" + folder + file;
        if (fs::fileExists(path)) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> Bundle::pathForImageNamed(const std::string& name, double screenScale) const {
    std::string base = name;
    std::string extension = "png";
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && name.find('/', dot) == std::string::npos && dot > 0) {
        base = name.substr(0, dot);
        extension = name.substr(dot + 1);
    }
    std::string retina = base + "@2x";
    const std::string& first = screenScale >= 2 ? retina : base;
    const std::string& second = screenScale >= 2 ? base : retina;
    if (auto path = pathForResource(first, extension)) {
        return path;
    }
    return pathForResource(second, extension);
}

} // namespace murmelo
