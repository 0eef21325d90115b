#include "platform/ui/NavigationBar.h"

#include "platform/graphics/TextMetrics.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

NavigationBar::NavigationBar(const Rect& frame) : View(frame) {}

void NavigationBar::update(std::string topTitle, std::optional<std::string> backTitle) {
    m_topTitle = std::move(topTitle);
    m_backTitle = std::move(backTitle);
    setNeedsDisplay();
}

std::optional<Rect> NavigationBar::backButtonFrame() const {
    if (!m_backTitle) {
        return std::nullopt;
    }
    double width = TextMetrics::sizeOfText(*m_backTitle, Font::boldSystemFontOfSize(12)).width + 24;
    return Rect(5, (bounds().size.height - 30) / 2, width, 30);
}

void NavigationBar::touchesEnded(const TouchSet& touches, const Event*) {
    auto back = backButtonFrame();
    if (!back || touches.empty() || !m_controller) {
        return;
    }
    Point p = touches.front().locationInView(this);
    if (Rect(back->origin.x, 0, back->size.width, bounds().size.height).contains(p)) {
        (void)m_controller->popViewControllerAnimated(true);
    }
}

void NavigationBar::dump(ScreenDumpWriter& writer) const {
    std::string text = "navigation bar: " + ScreenDumpWriter::quote(m_topTitle);
    if (m_backTitle) {
        text += " back " + ScreenDumpWriter::quote(*m_backTitle);
    }
    writer.line(text);
}

} // namespace murmelo
