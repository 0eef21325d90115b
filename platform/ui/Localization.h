// localizedString: a text of the user interface in the user's language, from
// the main bundle's strings table (NSLocalizedString and
// localizedStringForKey:value:table:). Without a translation the value is
// used when it is not empty, else the key. Thread-safe.
#pragma once

#include <optional>
#include <string>

namespace murmelo {

std::string localizedString(const std::string& key, const std::string& value = {},
                            const std::optional<std::string>& table = std::nullopt);

} // namespace murmelo
