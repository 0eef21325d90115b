// SegmentedControl: a row of segments, each a title or an image, at most one
// selected. A tap on an enabled segment selects it and sends ValueChanged —
// only when the selection changes, unless the control is momentary (then
// every tap sends it, with the tapped segment selected while the actions
// run, and nothing stays selected). Selecting from code sends
// nothing. A segment of width 0 shares the room the fixed ones leave.
// Main thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/Image.h"
#include "platform/ui/Control.h"

namespace murmelo {

enum class SegmentedControlStyle { Plain, Bordered, Bar, Bezeled };

class SegmentedControl : public Control {
public:
    static constexpr int kNoSegment = -1;

    // initWithItems: with titles.
    explicit SegmentedControl(const std::vector<std::string>& titles = {});

    size_t numberOfSegments() const { return m_segments.size(); }
    void insertSegmentWithTitle(std::string title, size_t index);
    void insertSegmentWithImage(std::shared_ptr<const Image> image, size_t index);
    void removeSegmentAtIndex(size_t index);
    void removeAllSegments();
    std::optional<std::string> titleForSegmentAtIndex(size_t index) const;
    void setTitle(std::string title, size_t forSegmentAtIndex);
    void setWidth(double width, size_t forSegmentAtIndex);
    double widthForSegmentAtIndex(size_t index) const;
    void setEnabled(bool enabled, size_t forSegmentAtIndex);
    bool isEnabledForSegmentAtIndex(size_t index) const;
    using Control::setEnabled;

    int selectedSegmentIndex() const { return m_selected; }
    // kNoSegment (or any out-of-range index) deselects.
    void setSelectedSegmentIndex(int index);
    bool isMomentary() const { return m_momentary; }
    void setMomentary(bool momentary) { m_momentary = momentary; }
    SegmentedControlStyle segmentedControlStyle() const { return m_style; }
    void setSegmentedControlStyle(SegmentedControlStyle style) { m_style = style; }
    const std::optional<Color>& tintColor() const { return m_tintColor; }
    void setTintColor(std::optional<Color> tint) { m_tintColor = std::move(tint); }

    // Where a segment sits in this control's bounds.
    Rect segmentFrame(size_t index) const;

    void touchesEnded(const TouchSet& touches, const Event* event) override;
    void dump(ScreenDumpWriter& writer) const override;

private:
    struct Segment {
        std::optional<std::string> title;
        std::shared_ptr<const Image> image;
        double width = 0;
        bool enabled = true;
    };

    std::vector<Segment> m_segments;
    int m_selected = kNoSegment;
    bool m_momentary = false;
    SegmentedControlStyle m_style = SegmentedControlStyle::Plain;
    std::optional<Color> m_tintColor;
};

} // namespace murmelo
