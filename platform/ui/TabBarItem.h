// TabBarItem: one tab of a tab bar — title, image, tag and an optional badge.
// Main thread only; owned by its view controller, shown by the tab bar.
#pragma once

#include "platform/ui/BarItem.h"

namespace murmelo {

class TabBarItem : public BarItem {
public:
    // initWithTitle:image:tag:
    TabBarItem(std::optional<std::string> title, std::shared_ptr<const Image> image, int tag) {
        setTitle(std::move(title));
        setImage(std::move(image));
        setTag(tag);
    }

    const std::optional<std::string>& badgeValue() const { return m_badgeValue; }
    void setBadgeValue(std::optional<std::string> badge) { m_badgeValue = std::move(badge); }

private:
    std::optional<std::string> m_badgeValue;
};

} // namespace murmelo
