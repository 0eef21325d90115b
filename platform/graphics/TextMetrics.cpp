#include "platform/graphics/TextMetrics.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <cassert>

#include "platform/core/Text.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

namespace {

TextMetrics::Measurer& installedMeasurer() {
    static TextMetrics::Measurer measurer;
    return measurer;
}

size_t codePoints(std::string_view text) {
    size_t n = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) {
            ++n;
        }
    }
    return n;
}

} // namespace

double TextMetrics::lineHeight(const Font& font) {
    return std::ceil(font.pointSize * 1.2);
}

Size TextMetrics::estimate(std::string_view text, const Font& font, double maxWidth, int maxLines) {
    const double advance = font.pointSize * (font.isBold() ? 0.55 : 0.5);
    if (text.empty()) {
        return {0, 0};
    }
    double widest = 0;
    int lines = 0;
    for (std::string_view paragraph : murmelo::text::split(text, '\n')) {
        double line = 0;
        int paragraphLines = 1;
        for (std::string_view word : murmelo::text::split(paragraph, ' ')) {
            double wordWidth = static_cast<double>(codePoints(word)) * advance;
            double withBlank = line > 0 ? line + advance + wordWidth : wordWidth;
            if (withBlank <= maxWidth || line == 0) {
                line = withBlank;
                // A single word wider than the line breaks between characters.
                while (line > maxWidth && maxWidth > advance) {
                    widest = std::max(widest, maxWidth);
                    line -= std::floor(maxWidth / advance) * advance;
                    ++paragraphLines;
                }
            } else {
                widest = std::max(widest, line);
                line = wordWidth;
                ++paragraphLines;
            }
        }
        widest = std::max(widest, line);
        lines += paragraphLines;
    }
    if (maxLines > 0) {
        lines = std::min(lines, maxLines);
    }
    return {std::ceil(std::min(widest, maxWidth)), lines * lineHeight(font)};
}

std::string_view TextMetrics::shownPart(std::string_view text, const Font& font, double maxWidth,
                                        int maxLines) {
    if (maxLines <= 0 || !std::isfinite(maxWidth) || maxWidth <= 0) {
        return text;
    }
    const double em = std::isfinite(font.pointSize) && font.pointSize >= 1 ? font.pointSize : 1;
    const double lines = static_cast<double>(maxLines) + 1;
    const double budget = lines * (std::ceil(maxWidth / (0.1 * em)) + 1);
    if (static_cast<double>(text.size()) <= budget) {
        return text; // no more characters than that, whatever the encoding
    }
    const size_t characters = static_cast<size_t>(budget);
    size_t seen = 0;
    int breaks = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) {
            continue;
        }
        if (seen == characters || (c == '\n' && ++breaks > maxLines)) {
            return text.substr(0, i);
        }
        ++seen;
    }
    return text;
}

Size TextMetrics::sizeOfText(std::string_view text, const Font& font, double maxWidth, int maxLines) {
    text = shownPart(text, font, maxWidth, maxLines);
    const auto& measurer = installedMeasurer();
    if (measurer) {
        return measurer(text, font, maxWidth, maxLines);
    }
    return estimate(text, font, maxWidth, maxLines);
}

void TextMetrics::setMeasurer(Measurer measurer) {
    assert(RunLoop::isMainThread() && "the measure is set on the main thread");
    installedMeasurer() = std::move(measurer);
}

} // namespace murmelo
