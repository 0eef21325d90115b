// Label: a text in a font and colour, aligned, on one or more lines.
// Labels let touches through to what is behind them (no user interaction)
// and start with a white background, as on the phone.
// Main thread only.
#pragma once

#include <optional>
#include <string>

#include "platform/graphics/TextStyle.h"
#include "platform/ui/View.h"

namespace murmelo {

class Label : public View {
public:
    explicit Label(const Rect& frame = {});

    const std::string& text() const { return m_text; }
    void setText(std::string text);
    const Font& font() const { return m_font; }
    void setFont(Font font);
    const Color& textColor() const { return m_textColor; }
    void setTextColor(Color color) { m_textColor = std::move(color); }
    TextAlignment textAlignment() const { return m_alignment; }
    void setTextAlignment(TextAlignment alignment) { m_alignment = alignment; }
    // 0: as many lines as the text needs.
    int numberOfLines() const { return m_numberOfLines; }
    void setNumberOfLines(int lines) { m_numberOfLines = lines < 0 ? 0 : lines; }
    LineBreakMode lineBreakMode() const { return m_lineBreakMode; }
    void setLineBreakMode(LineBreakMode mode) { m_lineBreakMode = mode; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // The room the text needs within the given width.
    Size sizeThatFits(Size size) const override;
    void dump(ScreenDumpWriter& writer) const override;

private:
    std::string m_text;
    Font m_font = Font::systemFontOfSize(17);
    Color m_textColor = Color::blackColor();
    TextAlignment m_alignment = TextAlignment::Left;
    int m_numberOfLines = 1;
    LineBreakMode m_lineBreakMode = LineBreakMode::TailTruncation;
    bool m_enabled = true;
};

} // namespace murmelo
