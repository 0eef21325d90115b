#include "platform/ui/TabBar.h"

#include "platform/ui/ScreenDump.h"
#include "platform/ui/TabBarController.h"

namespace murmelo {

TabBar::TabBar(const Rect& frame) : View(frame) {}

std::vector<std::shared_ptr<TabBarItem>> TabBar::items() const {
    std::vector<std::shared_ptr<TabBarItem>> result;
    if (m_controller) {
        for (const auto& controller : m_controller->viewControllers()) {
            result.push_back(controller->tabBarItem());
        }
    }
    return result;
}

std::optional<size_t> TabBar::selectedIndex() const {
    return m_controller ? m_controller->selectedIndex() : std::nullopt;
}

Rect TabBar::itemFrame(size_t index) const {
    size_t count = m_controller ? m_controller->viewControllers().size() : 0;
    if (index >= count) {
        return {};
    }
    double width = bounds().size.width / static_cast<double>(count);
    return {bounds().origin.x + width * static_cast<double>(index), bounds().origin.y, width,
            bounds().size.height};
}

void TabBar::touchesEnded(const TouchSet& touches, const Event*) {
    if (touches.empty() || !m_controller) {
        return;
    }
    Point p = touches.front().locationInView(this);
    auto all = items();
    for (size_t i = 0; i < all.size(); ++i) {
        if (itemFrame(i).contains(p)) {
            if (all[i]->isEnabled()) {
                m_controller->userSelectedTab(i);
            }
            return;
        }
    }
}

void TabBar::dump(ScreenDumpWriter& writer) const {
    std::string text = "tabs:";
    auto all = items();
    auto selected = selectedIndex();
    for (size_t i = 0; i < all.size(); ++i) {
        const auto& item = *all[i];
        text += " [";
        if (selected == i) {
            text += "*";
        }
        text += ScreenDumpWriter::quote(item.title().value_or(""));
        if (item.tag() != 0) {
            text += " #" + std::to_string(item.tag());
        }
        if (item.badgeValue()) {
            text += " badge " + ScreenDumpWriter::quote(*item.badgeValue());
        }
        if (!item.isEnabled()) {
            text += " disabled";
        }
        text += "]";
    }
    writer.line(text);
}

} // namespace murmelo
