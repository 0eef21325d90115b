// TabBar: the row of tab items at the bottom of a tab bar controller, one
// equal slot per item, one of them selected. A tap on an item asks the
// controller to select its tab (as the user's choice).
//
// Main thread only. Made and owned by its tab bar controller, which clears
// the back reference when destroyed; the items are the screens' own, read
// when needed so a changed item shows at once.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/TabBarItem.h"
#include "platform/ui/View.h"

namespace murmelo {

class TabBarController;

class TabBar : public View {
public:
    static constexpr double kHeight = 49;

    explicit TabBar(const Rect& frame);

    // The tab items of the controller's screens, in order.
    std::vector<std::shared_ptr<TabBarItem>> items() const;
    std::optional<size_t> selectedIndex() const;
    Rect itemFrame(size_t index) const;

    void touchesEnded(const TouchSet& touches, const Event* event) override;
    void dump(ScreenDumpWriter& writer) const override;

private:
    friend class TabBarController;

    TabBarController* m_controller = nullptr;
};

} // namespace murmelo
