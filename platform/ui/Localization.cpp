#include "platform/ui/Localization.h"

#include "platform/foundation/Bundle.h"

namespace murmelo {

std::string localizedString(const std::string& key, const std::string& value,
                            const std::optional<std::string>& table) {
    auto bundle = Bundle::mainBundle();
    if (!bundle) {
        return value.empty() ? key : value;
    }
    return bundle->localizedStringForKey(key, value, table);
}

} // namespace murmelo
