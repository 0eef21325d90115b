// WebPagePainter: a loaded page drawn as a person reads it in the web
// view's frame — headings, paragraphs, list items, quotes and rules in
// reading order; links underlined in blue and numbered "[1]", "[2]", ... as
// the text dump numbers them; form fields as boxes showing their values
// (passwords as dots, placeholders in grey), checkboxes, selects and
// buttons with their titles; pictures decoded when their bytes are at hand,
// otherwise boxes with their alternative text. Everything is clipped to the
// frame; what does not fit is cut off at the bottom, as a screen would.
//
// No state; call on the thread that owns the context.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/graphics/DrawingContext.h"
#include "platform/graphics/Image.h"
#include "platform/web/WebPage.h"

namespace murmelo {

struct WebPaintOptions {
    // Pictures of the page by absolute address; others draw as boxes.
    std::map<std::string, std::shared_ptr<const Image>> images;
    // How far the page is scrolled up, in points.
    double scrollOffset = 0;
    // The field that has the keyboard (form, field), drawn with a focus ring.
    std::optional<std::pair<std::size_t, std::size_t>> focusedField;
};

// What a finger lands on: a link (its text or its number) or a form field
// (text boxes, checkboxes, selects and buttons alike).
struct WebPageTarget {
    enum class Kind { Link, Field };
    Kind kind = Kind::Link;
    std::size_t linkIndex = 0; // Link: into page.links
    std::size_t formIndex = 0; // Field: into page.forms and its fields
    std::size_t fieldIndex = 0;
    bool operator==(const WebPageTarget&) const = default;
};

// Paints `page` into `frame` (in the context's coordinates). Answers the
// height the whole page takes at that width.
double paintWebPage(DrawingContext& context, const WebPage& page, const Rect& frame,
                    const WebPaintOptions& options = {});

// The height the whole page takes at `width`, as paintWebPage lays it out.
double webPageHeight(const WebPage& page, double width);
// What is drawn at `point` (page coordinates: the top left of the unscrolled
// page at `width`); nothing for text, pictures and empty space.
std::optional<WebPageTarget> webPageTargetAt(const WebPage& page, double width, Point point);

// "#rrggbb" or "#rgb" as a colour; nothing for anything else.
std::optional<Color> colorFromHex(std::string_view text);

} // namespace murmelo
