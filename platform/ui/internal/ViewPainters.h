// ViewPainters: the platform look of the screen's own view classes — bars,
// bar items and their system icons, tab bars, buttons, text fields, labels,
// spinners, segmented controls, search bars, alerts — for the screen
// renderer. Each paints in the view's own coordinates, beneath its
// subviews. Main thread only (reads views); internal to platform/ui.
#pragma once

#include <optional>

#include "platform/graphics/DrawingContext.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Toolbar.h"

namespace murmelo {
class View;
}

namespace murmelo::internal {

// Whether the painter draws the view's background itself (in its own
// shape), so the renderer leaves the plain rectangle out.
bool paintsOwnBackground(const View& view);
// The platform look of the view, if it is one of the platform's classes.
void paintPlatformView(DrawingContext& context, const View& view);

// Pieces shared with the status bar and the web page painter.
void paintBarBackground(DrawingContext& context, const Rect& rect, BarStyle style,
                        const std::optional<Color>& tint);
void paintSpinner(DrawingContext& context, const Rect& rect, const Color& color);
void paintSystemIcon(DrawingContext& context, BarButtonSystemItem item, const Rect& rect, const Color& color);
// A bordered bar button (rounded, darker than the bar) with a title.
void paintBarButton(DrawingContext& context, const Rect& rect, const std::string& title, const Color& fill);

} // namespace murmelo::internal
