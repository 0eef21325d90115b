#include "platform/ui/ActivityIndicatorView.h"

#include "platform/ui/ScreenDump.h"

namespace murmelo {

namespace {
double sideFor(ActivityIndicatorViewStyle style) {
    return style == ActivityIndicatorViewStyle::WhiteLarge ? 37 : 20;
}
const char* styleName(ActivityIndicatorViewStyle style) {
    switch (style) {
    case ActivityIndicatorViewStyle::WhiteLarge:
        return "large white";
    case ActivityIndicatorViewStyle::Gray:
        return "gray";
    case ActivityIndicatorViewStyle::White:
        break;
    }
    return "white";
}
} // namespace

ActivityIndicatorView::ActivityIndicatorView(ActivityIndicatorViewStyle style)
    : View(Rect(0, 0, sideFor(style), sideFor(style))), m_style(style) {
    setUserInteractionEnabled(false);
    setOpaque(false);
    setHidden(true);
}

void ActivityIndicatorView::setHidesWhenStopped(bool hides) {
    m_hidesWhenStopped = hides;
    if (!m_animating) {
        setHidden(hides);
    }
}

void ActivityIndicatorView::startAnimating() {
    m_animating = true;
    if (m_hidesWhenStopped) {
        setHidden(false);
    }
}

void ActivityIndicatorView::stopAnimating() {
    m_animating = false;
    if (m_hidesWhenStopped) {
        setHidden(true);
    }
}

void ActivityIndicatorView::dump(ScreenDumpWriter& writer) const {
    writer.line(std::string("activity indicator (") + styleName(m_style) +
                (m_animating ? ", spinning)" : ")"));
}

} // namespace murmelo
