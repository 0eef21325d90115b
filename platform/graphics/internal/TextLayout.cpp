#include "platform/graphics/internal/TextLayout.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "platform/graphics/FontLibrary.h"
#include "platform/graphics/TextMetrics.h"

namespace murmelo::graphics {

namespace {

// Pango wants valid UTF-8 without NULs; anything else becomes U+FFFD.
std::string sanitized(std::string_view text) {
    std::string withoutNul;
    withoutNul.reserve(text.size());
    for (char c : text) {
        if (c != '\0') {
            withoutNul += c;
        }
    }
    if (g_utf8_validate(withoutNul.data(), gssize(withoutNul.size()), nullptr)) {
        return withoutNul;
    }
    gchar* valid = g_utf8_make_valid(withoutNul.data(), gssize(withoutNul.size()));
    std::string result(valid);
    g_free(valid);
    return result;
}

guint16 channel(double value) {
    return guint16(std::lround(std::clamp(value, 0.0, 1.0) * 65535));
}

void addAttribute(PangoAttrList* list, PangoAttribute* attribute, size_t start, size_t end) {
    attribute->start_index = guint(start);
    attribute->end_index = guint(end);
    pango_attr_list_insert(list, attribute);
}

PangoAlignment pangoAlignment(TextAlignment alignment) {
    switch (alignment) {
    case TextAlignment::Center:
        return PANGO_ALIGN_CENTER;
    case TextAlignment::Right:
        return PANGO_ALIGN_RIGHT;
    case TextAlignment::Left:
        break;
    }
    return PANGO_ALIGN_LEFT;
}

} // namespace

void GObjectUnref::operator()(void* object) const {
    g_object_unref(object);
}

LayoutPtr makeLayout(cairo_t* cr, const std::vector<TextRun>& runs, const Font& font, const LayoutSpec& spec,
                     std::vector<size_t>* runStarts) {
    PangoFontMap* map = FontLibrary::shared().fontMap();
    PangoContext* context = pango_font_map_create_context(map);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(context, 72);
    pango_context_set_round_glyph_positions(context, FALSE);
    if (cr) {
        pango_cairo_update_context(cr, context);
    }
    LayoutPtr layout(pango_layout_new(context));
    g_object_unref(context);

    // Only what a few lines can show is laid out: shaping a long text whole
    // would take seconds for a handful of lines.
    const bool limited = spec.maxLines > 0 && spec.mode != LineBreakMode::Clip;
    std::string text;
    PangoAttrList* attributes = pango_attr_list_new();
    for (const TextRun& run : runs) {
        size_t start = text.size();
        if (runStarts) {
            runStarts->push_back(start);
        }
        std::string_view runText = run.text;
        if (limited) {
            runText = TextMetrics::shownPart(runText, font, spec.width, spec.maxLines);
        }
        text += sanitized(runText);
        size_t end = text.size();
        if (start == end) {
            continue;
        }
        if (run.bold) {
            addAttribute(attributes, pango_attr_weight_new(PANGO_WEIGHT_BOLD), start, end);
        }
        if (run.italic) {
            addAttribute(attributes, pango_attr_style_new(PANGO_STYLE_ITALIC), start, end);
        }
        if (run.underline) {
            addAttribute(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), start, end);
        }
        if (run.color) {
            addAttribute(attributes,
                         pango_attr_foreground_new(channel(run.color->red()), channel(run.color->green()),
                                                   channel(run.color->blue())),
                         start, end);
            addAttribute(attributes, pango_attr_foreground_alpha_new(channel(run.color->alpha())), start,
                         end);
        }
        if (run.scale != 1 && run.scale > 0) {
            addAttribute(attributes, pango_attr_scale_new(run.scale), start, end);
        }
    }
    PangoFontDescription* description = FontLibrary::describe(font);
    pango_layout_set_font_description(layout.get(), description);
    pango_font_description_free(description);
    pango_layout_set_text(layout.get(), text.data(), int(text.size()));
    pango_layout_set_attributes(layout.get(), attributes);
    pango_attr_list_unref(attributes);

    pango_layout_set_alignment(layout.get(), pangoAlignment(spec.alignment));
    bool wraps = spec.mode == LineBreakMode::WordWrap || spec.mode == LineBreakMode::CharacterWrap;
    if (std::isfinite(spec.width) && spec.width > 0 && spec.mode != LineBreakMode::Clip) {
        pango_layout_set_width(layout.get(), int(std::min(spec.width, 1e6) * PANGO_SCALE));
        pango_layout_set_wrap(layout.get(), spec.mode == LineBreakMode::CharacterWrap ? PANGO_WRAP_CHAR
                                                                                      : PANGO_WRAP_WORD_CHAR);
        PangoEllipsizeMode ellipsize = PANGO_ELLIPSIZE_END;
        if (spec.mode == LineBreakMode::HeadTruncation) {
            ellipsize = PANGO_ELLIPSIZE_START;
        } else if (spec.mode == LineBreakMode::MiddleTruncation) {
            ellipsize = PANGO_ELLIPSIZE_MIDDLE;
        }
        if (spec.maxLines > 0) {
            // A limited number of lines: the last one shown ends in "…".
            pango_layout_set_ellipsize(layout.get(), ellipsize);
            pango_layout_set_height(layout.get(), -spec.maxLines);
        } else if (!wraps) {
            pango_layout_set_ellipsize(layout.get(), ellipsize);
            pango_layout_set_height(layout.get(), -1);
        }
    }
    return layout;
}

Size layoutSize(PangoLayout* layout) {
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return {std::ceil(double(logical.width) / PANGO_SCALE), std::ceil(double(logical.height) / PANGO_SCALE)};
}

} // namespace murmelo::graphics
