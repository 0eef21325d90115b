// NavigationBar: the bar at the top of a navigation stack — the top
// screen's title and, below the root, a back button titled with the
// previous screen's title ("Back" when it has none) that pops the stack.
//
// Main thread only. Made and owned by its navigation controller (a back
// reference the controller clears on destruction).
#pragma once

#include <string>

#include "platform/ui/Toolbar.h"
#include "platform/ui/View.h"

namespace murmelo {

class NavigationController;

class NavigationBar : public View {
public:
    static constexpr double kHeight = 44;

    explicit NavigationBar(const Rect& frame);

    BarStyle barStyle() const { return m_barStyle; }
    void setBarStyle(BarStyle style) { m_barStyle = style; }
    const std::optional<Color>& tintColor() const { return m_tintColor; }
    void setTintColor(std::optional<Color> tint) { m_tintColor = std::move(tint); }

    const std::string& topTitle() const { return m_topTitle; }
    // Nothing at the root of the stack.
    const std::optional<std::string>& backTitle() const { return m_backTitle; }
    // Where the back button sits, when there is one.
    std::optional<Rect> backButtonFrame() const;

    void touchesEnded(const TouchSet& touches, const Event* event) override;
    void dump(ScreenDumpWriter& writer) const override;

private:
    friend class NavigationController;
    void update(std::string topTitle, std::optional<std::string> backTitle);

    NavigationController* m_controller = nullptr;
    BarStyle m_barStyle = BarStyle::Default;
    std::optional<Color> m_tintColor;
    std::string m_topTitle;
    std::optional<std::string> m_backTitle;
};

} // namespace murmelo
