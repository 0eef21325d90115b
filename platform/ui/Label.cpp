#include "platform/ui/Label.h"

#include <limits>

#include "platform/graphics/TextMetrics.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

Label::Label(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
    setBackgroundColor(Color::whiteColor());
}

void Label::setText(std::string text) {
    m_text = std::move(text);
    setNeedsDisplay();
}

void Label::setFont(Font font) {
    m_font = std::move(font);
    setNeedsDisplay();
}

Size Label::sizeThatFits(Size size) const {
    double width =
        m_numberOfLines == 1 || size.width <= 0 ? std::numeric_limits<double>::infinity() : size.width;
    return TextMetrics::sizeOfText(m_text, m_font, width, m_numberOfLines);
}

void Label::dump(ScreenDumpWriter& writer) const {
    if (m_text.empty()) {
        return;
    }
    writer.line("label " + ScreenDumpWriter::quote(m_text));
}

} // namespace murmelo
