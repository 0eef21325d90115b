#include "platform/ui/SegmentedControl.h"

#include <algorithm>

#include "platform/core/Value.h"
#include "platform/graphics/TextMetrics.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

namespace {
constexpr double kSegmentHeight = 30;
}

SegmentedControl::SegmentedControl(const std::vector<std::string>& titles) : Control(Rect()) {
    double width = 0;
    for (const auto& title : titles) {
        m_segments.push_back({title, nullptr, 0, true});
        width += TextMetrics::sizeOfText(title, Font::boldSystemFontOfSize(13)).width + 20;
    }
    setFrame(Rect(0, 0, width, kSegmentHeight));
}

void SegmentedControl::insertSegmentWithTitle(std::string title, size_t index) {
    index = std::min(index, m_segments.size());
    m_segments.insert(m_segments.begin() + static_cast<long>(index), {std::move(title), nullptr, 0, true});
    if (m_selected >= static_cast<int>(index)) {
        ++m_selected;
    }
    setNeedsDisplay();
}

void SegmentedControl::insertSegmentWithImage(std::shared_ptr<const Image> image, size_t index) {
    index = std::min(index, m_segments.size());
    m_segments.insert(m_segments.begin() + static_cast<long>(index),
                      {std::nullopt, std::move(image), 0, true});
    if (m_selected >= static_cast<int>(index)) {
        ++m_selected;
    }
    setNeedsDisplay();
}

void SegmentedControl::removeSegmentAtIndex(size_t index) {
    if (index >= m_segments.size()) {
        return;
    }
    m_segments.erase(m_segments.begin() + static_cast<long>(index));
    if (m_selected == static_cast<int>(index)) {
        m_selected = kNoSegment;
    } else if (m_selected > static_cast<int>(index)) {
        --m_selected;
    }
    setNeedsDisplay();
}

void SegmentedControl::removeAllSegments() {
    m_segments.clear();
    m_selected = kNoSegment;
    setNeedsDisplay();
}

std::optional<std::string> SegmentedControl::titleForSegmentAtIndex(size_t index) const {
    return index < m_segments.size() ? m_segments[index].title : std::nullopt;
}

void SegmentedControl::setTitle(std::string title, size_t index) {
    if (index < m_segments.size()) {
        m_segments[index].title = std::move(title);
        m_segments[index].image.reset();
    }
}

void SegmentedControl::setWidth(double width, size_t index) {
    if (index < m_segments.size()) {
        m_segments[index].width = std::max(0.0, width);
    }
}

double SegmentedControl::widthForSegmentAtIndex(size_t index) const {
    return index < m_segments.size() ? m_segments[index].width : 0;
}

void SegmentedControl::setEnabled(bool enabled, size_t index) {
    if (index < m_segments.size()) {
        m_segments[index].enabled = enabled;
    }
}

bool SegmentedControl::isEnabledForSegmentAtIndex(size_t index) const {
    return index < m_segments.size() && m_segments[index].enabled;
}

void SegmentedControl::setSelectedSegmentIndex(int index) {
    m_selected = index >= 0 && index < static_cast<int>(m_segments.size()) ? index : kNoSegment;
    setNeedsDisplay();
}

Rect SegmentedControl::segmentFrame(size_t index) const {
    if (index >= m_segments.size()) {
        return {};
    }
    double fixed = 0;
    size_t automatic = 0;
    for (const auto& segment : m_segments) {
        if (segment.width > 0) {
            fixed += segment.width;
        } else {
            ++automatic;
        }
    }
    double share =
        automatic ? std::max(0.0, bounds().size.width - fixed) / static_cast<double>(automatic) : 0;
    double x = bounds().origin.x;
    for (size_t i = 0; i < index; ++i) {
        x += m_segments[i].width > 0 ? m_segments[i].width : share;
    }
    double width = m_segments[index].width > 0 ? m_segments[index].width : share;
    return {x, bounds().origin.y, width, bounds().size.height};
}

void SegmentedControl::touchesEnded(const TouchSet& touches, const Event* event) {
    bool tracked = isTracking();
    Control::touchesEnded(touches, event);
    if (!tracked || !isEnabled() || touches.empty()) {
        return;
    }
    Point p = touches.front().locationInView(this);
    for (size_t i = 0; i < m_segments.size(); ++i) {
        if (!segmentFrame(i).contains(p)) {
            continue;
        }
        if (!m_segments[i].enabled) {
            return;
        }
        int index = static_cast<int>(i);
        if (m_momentary) {
            // The tapped segment is selected while its action runs, then released.
            m_selected = index;
            sendActionsForControlEvents(ControlEvents::ValueChanged);
            m_selected = kNoSegment;
        } else if (index != m_selected) {
            m_selected = index;
            setNeedsDisplay();
            sendActionsForControlEvents(ControlEvents::ValueChanged);
        }
        return;
    }
}

void SegmentedControl::dump(ScreenDumpWriter& writer) const {
    std::string text = "segments:";
    for (size_t i = 0; i < m_segments.size(); ++i) {
        const auto& segment = m_segments[i];
        text += " [";
        if (m_selected == static_cast<int>(i)) {
            text += "*";
        }
        if (segment.title) {
            text += ScreenDumpWriter::quote(*segment.title);
        } else if (segment.image) {
            text += "image " + segment.image->name();
        }
        if (segment.width > 0) {
            text += " width " + formatNumber(segment.width);
        }
        if (!segment.enabled) {
            text += " disabled";
        }
        text += "]";
    }
    writer.line(text + stateSuffix());
}

} // namespace murmelo
