// Pango layouts for the drawing context and the font library: runs of
// styled text in one font, wrapped, truncated and aligned as the screen's
// labels are. Internal to platform/graphics. REQUIRES: the font library's
// lock held while a layout is made, measured or drawn.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <limits>
#include <memory>
#include <vector>

#include "platform/graphics/DrawingContext.h"

namespace murmelo::graphics {

struct GObjectUnref {
    void operator()(void* object) const;
};
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectUnref>;

struct LayoutSpec {
    double width = std::numeric_limits<double>::infinity(); // infinity: no wrapping
    int maxLines = 0;                                       // 0: any number
    LineBreakMode mode = LineBreakMode::WordWrap;
    TextAlignment alignment = TextAlignment::Left;
};

// `cr` null: laid out for measuring in user units; else for drawing into
// `cr` with its current transformation.
// `runStarts`, when given, receives the byte offset where each run starts
// in the layout's text.
LayoutPtr makeLayout(cairo_t* cr, const std::vector<TextRun>& runs, const Font& font, const LayoutSpec& spec,
                     std::vector<size_t>* runStarts = nullptr);
// The logical size in user units, rounded up as the platform measures.
Size layoutSize(PangoLayout* layout);

} // namespace murmelo::graphics
