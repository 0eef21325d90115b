// Bundle: the app's resources folder — its Info.plist, its localised strings
// tables (<lang>.lproj/<table>.strings) and its files and images.
//
// The main bundle is a documented single instance. Its folder is chosen by
// setMainBundlePath() at start-up (tests point it at a temporary folder);
// otherwise $MURMELO_BUNDLE, otherwise the source tree's app/resources.
// A bundle is immutable apart from a cache of loaded tables; thread-safe.
// Bundles are shared (std::shared_ptr); replacing the main bundle leaves
// holders of the old one with a working object.
//
// Localisation: the table is looked for in this order — each language of
// the user's list (AppleLanguages in the standard user defaults: exact
// name, then "-"/"_" variants, then the language code, then the old English
// names such as "German"), the development region (CFBundleDevelopmentRegion,
// else "en"), "Base", and finally the bundle root. The first table file
// found is the one used, as on the platform: a key missing there yields
// `value` when that is not empty, otherwise the key itself.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/core/Value.h"
#include "platform/foundation/StringsFile.h"

namespace murmelo {

class Bundle {
public:
    static std::shared_ptr<Bundle> mainBundle();
    static void setMainBundlePath(const std::string& path);
    // A bundle over any folder; nothing when it is not a folder.
    static std::shared_ptr<Bundle> bundleWithPath(const std::string& path);

    const std::string& bundlePath() const { return m_path; }
    const std::string& resourcePath() const { return m_path; }

    // Info.plist (XML or binary); empty when missing or unreadable.
    const Dictionary& infoDictionary() const { return m_info; }
    std::optional<Value> objectForInfoDictionaryKey(const std::string& key) const;
    std::optional<std::string> bundleIdentifier() const;
    std::string developmentRegion() const;
    // Names of the .lproj folders, without the extension, sorted.
    const std::vector<std::string>& localizations() const { return m_localizations; }

    // `value` and `table` may be nothing or empty (table → "Localizable").
    std::string localizedStringForKey(const std::string& key, const std::optional<std::string>& value,
                                      const std::optional<std::string>& table) const;
    // The same with an explicit language list instead of the user's.
    std::string localizedStringForKey(const std::string& key, const std::optional<std::string>& value,
                                      const std::optional<std::string>& table,
                                      const std::vector<std::string>& languages) const;

    // The root folder first, then the .lproj folders in the user's order.
    // `type` may be empty (then `name` carries any extension) or start with ".".
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type) const;
    // "name" → name@2x.png on a screen of scale 2 or more (falling back to
    // name.png), name.png otherwise (falling back to name@2x.png).
    std::optional<std::string> pathForImageNamed(const std::string& name, double screenScale) const;

    // The localisation folders to search for the given languages, best first.
    std::vector<std::string> searchOrder(const std::vector<std::string>& languages) const;

private:
    explicit Bundle(std::string path);
    std::shared_ptr<const StringsTable> table(const std::string& localization, const std::string& name) const;
    std::vector<std::string> userLanguages() const;

    std::string m_path;
    Dictionary m_info;
    std::vector<std::string> m_localizations;

    mutable std::mutex m_mutex;
    // "<lproj>/<table>" → table; null when missing or unreadable.
    mutable std::unordered_map<std::string, std::shared_ptr<const StringsTable>> m_tables;
};

} // namespace murmelo
