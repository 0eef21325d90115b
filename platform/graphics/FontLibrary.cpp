#include "platform/graphics/FontLibrary.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>

#include "platform/core/Log.h"
#include "platform/graphics/TextMetrics.h"
#include "platform/graphics/internal/TextLayout.h"

namespace murmelo {

namespace {

// The families the pinned set is made of: the mapped ones, plus DejaVu Sans
// whose wide coverage serves as the fallback for other scripts.
const char* const kPinnedFamilies[] = {"Liberation Sans", "Liberation Serif", "Liberation Mono",
                                       "DejaVu Sans", "DejaVu Serif"};

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Adds the files of `family` from the system's fontconfig to `pinned`.
bool addFamilyFiles(FcConfig* system, FcConfig* pinned, const char* family) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(system, pattern, objects);
    bool found = false;
    if (fonts) {
        for (int i = 0; i < fonts->nfont; ++i) {
            FcChar8* file = nullptr;
            if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) == FcResultMatch &&
                FcConfigAppFontAddFile(pinned, file)) {
                found = true;
            }
        }
        FcFontSetDestroy(fonts);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found;
}

} // namespace

FontFace FontLibrary::faceForFontName(std::string_view name) {
    FontFace face;
    face.bold = contains(name, "Bold");
    face.italic = contains(name, "Italic") || contains(name, "Oblique");
    if (startsWith(name, "Georgia")) {
        face.family = "DejaVu Serif";
    } else if (startsWith(name, "Trebuchet")) {
        face.family = "DejaVu Sans";
    } else if (startsWith(name, "Times")) {
        face.family = "Liberation Serif";
    } else if (startsWith(name, "Courier")) {
        face.family = "Liberation Mono";
    } else {
        face.family = "Liberation Sans"; // Helvetica, Arial and the unknown
    }
    return face;
}

FontLibrary& FontLibrary::shared() {
    static FontLibrary* library = new FontLibrary(); // never destroyed: fonts outlive every drawing
    return *library;
}

FontLibrary::FontLibrary() {
    FcConfig* system = FcInitLoadConfigAndFonts();
    FcConfig* pinned = FcConfigCreate();
    for (const char* family : kPinnedFamilies) {
        if (!addFamilyFiles(system, pinned, family)) {
            m_missing.emplace_back(family);
        }
    }
    PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (m_missing.empty()) {
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), pinned);
    } else {
        std::string list;
        for (const auto& family : m_missing) {
            list += (list.empty() ? "" : ", ") + family;
        }
        logLine("fonts: %s not installed; drawing with the machine's fonts", list.c_str());
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), system);
    }
    FcConfigDestroy(pinned);
    FcConfigDestroy(system);
    m_fontMap = map;
}

PangoFontDescription* FontLibrary::describe(const Font& font) {
    FontFace face = faceForFontName(font.name);
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, face.family.c_str());
    pango_font_description_set_weight(description, face.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(description, face.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    // Points are the drawing's user units.
    double size =
        font.pointSize > 0 && std::isfinite(font.pointSize) ? std::min(font.pointSize, 1000.0) : 1.0;
    pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
    return description;
}

Size FontLibrary::sizeOfText(std::string_view text, const Font& font, double maxWidth, int maxLines) {
    std::lock_guard guard(m_lock);
    graphics::LayoutSpec spec;
    spec.width = maxWidth;
    spec.maxLines = maxLines;
    spec.mode = LineBreakMode::WordWrap;
    auto layout = graphics::makeLayout(nullptr, {plainRun(text)}, font, spec);
    return graphics::layoutSize(layout.get());
}

void FontLibrary::installTextMeasurer() {
    TextMetrics::setMeasurer([](std::string_view text, const Font& font, double maxWidth, int maxLines) {
        return FontLibrary::shared().sizeOfText(text, font, maxWidth, maxLines);
    });
}

} // namespace murmelo

// fontconfig keeps the fonts it scanned for the life of the process, in
// structures linked by offsets rather than pointers, so the leak checker
// cannot see they are still held. Weak: the servers say the same.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
