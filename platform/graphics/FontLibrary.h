// FontLibrary: the fonts text is drawn and measured with. The phone's font
// names map to installed families — Helvetica (the system font) and Arial to
// Liberation Sans, Georgia to DejaVu Serif, Trebuchet MS to DejaVu Sans,
// Times to Liberation Serif, Courier to Liberation Mono; "-Bold",
// "-Italic" and "-Oblique" pick the style; an unknown name falls back to
// Liberation Sans.
//
// Rendering is pinned: a private fontconfig setup holds only those
// families' files (found through the system's fontconfig once), without the
// machine's own substitution rules, and glyphs are drawn greyscale-
// antialiased without hinting. So the same packages draw the same pixels
// on every machine. When a family is missing (bootstrap not run) the
// machine's whole font set is used instead and that is logged once.
//
// shared() is the one library, made on first use and never destroyed.
// Pango's font map is not thread-safe: every use of it — measuring,
// laying out, drawing text — holds lock().
#pragma once

#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/Geometry.h"

typedef struct _PangoFontMap PangoFontMap;
typedef struct _PangoFontDescription PangoFontDescription;

namespace murmelo {

struct FontFace {
    std::string family;
    bool bold = false;
    bool italic = false;
    bool operator==(const FontFace&) const = default;
};

class FontLibrary {
public:
    static FontLibrary& shared();

    // The installed face a phone font name stands for.
    static FontFace faceForFontName(std::string_view name);

    // Families the pinned set wanted and did not find (empty when pinned).
    const std::vector<std::string>& missingFamilies() const { return m_missing; }

    // The room a text takes, with real glyph metrics (wrapping at word
    // boundaries within maxWidth; maxLines 0 = any number).
    Size sizeOfText(std::string_view text, const Font& font,
                    double maxWidth = std::numeric_limits<double>::infinity(), int maxLines = 0);
    // Makes TextMetrics measure with these fonts instead of its estimate.
    // Changes layout of every label from then on; call on the main thread.
    void installTextMeasurer();

    std::recursive_mutex& lock() { return m_lock; }
    // REQUIRES: lock() held by the caller for any use of the map.
    PangoFontMap* fontMap() const { return m_fontMap; }
    // A new description for the font (free with pango_font_description_free).
    static PangoFontDescription* describe(const Font& font);

private:
    FontLibrary();

    std::recursive_mutex m_lock;
    PangoFontMap* m_fontMap = nullptr; // lives as long as the process
    std::vector<std::string> m_missing;
};

} // namespace murmelo
