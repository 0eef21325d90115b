// TextMetrics: how much room a text takes in a font — what labels, buttons,
// bars and alerts size themselves by.
//
// The built-in measure is an estimate (an average advance of 0.5 em, 0.55 em
// in bold, and lines 1.2 em high, wrapped at blanks) so layout is the same on
// every machine. The screen renderer, which has real font metrics, installs
// its own measure with setMeasurer() — one documented process-wide setting,
// changed and used on the main thread.
#pragma once

#include <functional>
#include <limits>
#include <string_view>

#include "platform/graphics/Geometry.h"

namespace murmelo {

class TextMetrics {
public:
    // `maxLines` 0 means any number of lines; `maxWidth` infinity means one
    // line per paragraph (line breaks in the text always start a new line).
    using Measurer =
        std::function<Size(std::string_view text, const Font& font, double maxWidth, int maxLines)>;

    static Size sizeOfText(std::string_view text, const Font& font,
                           double maxWidth = std::numeric_limits<double>::infinity(), int maxLines = 0);
    static double lineHeight(const Font& font);

    // Null restores the built-in estimate.
    static void setMeasurer(Measurer measurer);

    static Size estimate(std::string_view text, const Font& font, double maxWidth, int maxLines);

    // The start of `text` that holds all that `maxLines` lines of `maxWidth`
    // can show, and a line more (so a layout that ellipsizes its last line
    // still sees that text follows): at most maxLines + 1 paragraphs and as
    // many characters as that many lines would hold at a tenth of an em
    // each. The whole text for unlimited lines or an unbounded width. Bounds
    // what is measured and laid out for a label of a few lines, however long
    // its text.
    static std::string_view shownPart(std::string_view text, const Font& font, double maxWidth, int maxLines);
};

} // namespace murmelo
