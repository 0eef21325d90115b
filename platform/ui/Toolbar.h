// Toolbar: a bar of bar button items in order, left to right. Flexible
// spaces share what room is left; fixed spaces take their width; custom
// views sit in their slot as subviews. A tap on a button item fires it.
//
// Layout (points): 6 at each end, 10 between neighbouring items that are
// not spaces; a titled item is its text (bold 12) plus 10 each side, an
// image item its image plus 8 each side, a system icon 36, a custom view its
// own width, any item with a width of its own that width.
//
// Main thread only. The toolbar shares its items with whoever made them and
// shows (owns as subviews) their custom views while they are its items.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/View.h"

namespace murmelo {

enum class BarStyle { Default = 0, Black = 1, BlackTranslucent = 2 };
const char* barStyleName(BarStyle style);

class Toolbar : public View {
public:
    static constexpr double kHeight = 44;

    Toolbar() : Toolbar(Rect(0, 0, 320, kHeight)) {}
    explicit Toolbar(const Rect& frame);

    const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return m_items; }
    void setItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated = false);

    BarStyle barStyle() const { return m_barStyle; }
    void setBarStyle(BarStyle style) { m_barStyle = style; }
    const std::optional<Color>& tintColor() const { return m_tintColor; }
    void setTintColor(std::optional<Color> tint) { m_tintColor = std::move(tint); }
    bool isTranslucent() const { return m_barStyle == BarStyle::BlackTranslucent; }

    // Where each item sits, in this bar's coordinates, in item order.
    std::vector<Rect> itemFrames() const;
    std::optional<size_t> itemIndexAtPoint(Point point) const;

    void layoutSubviews() override;
    void touchesBegan(const TouchSet& touches, const Event* event) override;
    void touchesEnded(const TouchSet& touches, const Event* event) override;
    void touchesCancelled(const TouchSet& touches, const Event* event) override;
    void dump(ScreenDumpWriter& writer) const override;

    // The items' descriptions joined by blanks, as the dump shows them.
    std::string itemsDescription() const;

private:
    double naturalWidth(const BarButtonItem& item) const;
    void placeCustomViews();

    std::vector<std::shared_ptr<BarButtonItem>> m_items;
    BarStyle m_barStyle = BarStyle::Default;
    std::optional<Color> m_tintColor;
    std::optional<size_t> m_pressedIndex;
};

} // namespace murmelo
