#include "platform/graphics/DrawingContext.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "platform/graphics/FontLibrary.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/internal/CairoSupport.h"
#include "platform/graphics/internal/TextLayout.h"

namespace murmelo {

namespace {

bool finite(std::initializer_list<double> values) {
    for (double v : values) {
        if (!std::isfinite(v)) {
            return false;
        }
    }
    return true;
}

bool usable(const Rect& r) {
    return finite({r.x(), r.y(), r.width(), r.height()});
}

// A source pattern over an image's pixels, mapping user space to pixels so
// the picture fills `rect`.
graphics::PatternPtr imagePattern(const Bitmap& bitmap, const Rect& rect, cairo_extend_t extend) {
    graphics::SurfacePtr surface = graphics::wrapPixels(bitmap);
    graphics::PatternPtr pattern(cairo_pattern_create_for_surface(surface.get()));
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, bitmap.width() / rect.width(), bitmap.height() / rect.height());
    cairo_matrix_translate(&m, -rect.x(), -rect.y());
    cairo_pattern_set_matrix(pattern.get(), &m);
    cairo_pattern_set_extend(pattern.get(), extend);
    cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_GOOD);
    return pattern;
}

} // namespace

std::optional<Gradient> Gradient::withColors(std::vector<Color> colors, std::vector<double> locations) {
    if (colors.empty() || (!locations.empty() && locations.size() != colors.size())) {
        return std::nullopt;
    }
    if (locations.empty()) {
        for (size_t i = 0; i < colors.size(); ++i) {
            locations.push_back(colors.size() == 1 ? 0.0 : double(i) / double(colors.size() - 1));
        }
    }
    Gradient gradient;
    gradient.m_colors = std::move(colors);
    gradient.m_locations = std::move(locations);
    return gradient;
}

struct DrawingContext::State {
    Color fill = Color::blackColor();
    Color stroke = Color::blackColor();
    double alpha = 1;
};

DrawingContext::DrawingContext(Bitmap& target, double scale)
    : m_scale(scale > 0 && std::isfinite(scale) ? scale : 1), m_size{target.width() / m_scale,
                                                                     target.height() / m_scale} {
    graphics::SurfacePtr surface = graphics::wrapPixels(target);
    m_cairo = cairo_create(surface.get());
    cairo_scale(m_cairo, m_scale, m_scale);
    cairo_set_line_width(m_cairo, 1);
    cairo_set_line_join(m_cairo, CAIRO_LINE_JOIN_MITER);
    cairo_set_line_cap(m_cairo, CAIRO_LINE_CAP_BUTT);
    m_states.emplace_back();
}

DrawingContext::~DrawingContext() {
    cairo_surface_flush(cairo_get_target(m_cairo));
    cairo_destroy(m_cairo);
}

Size DrawingContext::size() const {
    return m_size;
}

DrawingContext::State& DrawingContext::state() {
    return m_states.back();
}

const DrawingContext::State& DrawingContext::state() const {
    return m_states.back();
}

// ---- graphics state

void DrawingContext::saveGState() {
    cairo_save(m_cairo);
    m_states.push_back(state());
}

void DrawingContext::restoreGState() {
    // Never below the start of the innermost transparency layer.
    size_t floor = m_layers.empty() ? 1 : m_layers.back().stateDepth;
    if (m_states.size() <= floor) {
        return;
    }
    m_states.pop_back();
    cairo_restore(m_cairo);
}

void DrawingContext::translateCTM(double dx, double dy) {
    if (finite({dx, dy})) {
        cairo_translate(m_cairo, dx, dy);
    }
}

void DrawingContext::scaleCTM(double sx, double sy) {
    // A singular transformation would put Cairo into a lasting error state.
    if (finite({sx, sy}) && sx != 0 && sy != 0) {
        cairo_scale(m_cairo, sx, sy);
    }
}

void DrawingContext::rotateCTM(double radians) {
    if (finite({radians})) {
        cairo_rotate(m_cairo, radians);
    }
}

void DrawingContext::concatCTM(const AffineTransform& t) {
    if (!finite({t.a, t.b, t.c, t.d, t.tx, t.ty}) || !t.isInvertible()) {
        return;
    }
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_transform(m_cairo, &m);
}

void DrawingContext::setAlpha(double alpha) {
    state().alpha = std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1.0;
}

double DrawingContext::alpha() const {
    return state().alpha;
}

void DrawingContext::setLineWidth(double width) {
    if (finite({width}) && width >= 0) {
        cairo_set_line_width(m_cairo, width);
    }
}

void DrawingContext::setFillColor(const Color& color) {
    state().fill = color;
}

void DrawingContext::setStrokeColor(const Color& color) {
    state().stroke = color;
}

void DrawingContext::setGrayFillColor(double white, double alpha) {
    state().fill = Color::colorWithWhite(white, alpha);
}

void DrawingContext::setGrayStrokeColor(double white, double alpha) {
    state().stroke = Color::colorWithWhite(white, alpha);
}

void DrawingContext::setRGBFillColor(double red, double green, double blue, double alpha) {
    state().fill = Color(red, green, blue, alpha);
}

void DrawingContext::setRGBStrokeColor(double red, double green, double blue, double alpha) {
    state().stroke = Color(red, green, blue, alpha);
}

const Color& DrawingContext::fillColor() const {
    return state().fill;
}

// ---- paths

void DrawingContext::beginPath() {
    cairo_new_path(m_cairo);
}

void DrawingContext::moveToPoint(double x, double y) {
    if (finite({x, y})) {
        cairo_move_to(m_cairo, x, y);
    }
}

void DrawingContext::addLineToPoint(double x, double y) {
    if (!finite({x, y})) {
        return;
    }
    if (cairo_has_current_point(m_cairo)) {
        cairo_line_to(m_cairo, x, y);
    } else {
        cairo_move_to(m_cairo, x, y);
    }
}

void DrawingContext::addArc(double x, double y, double radius, double startAngle, double endAngle,
                            int clockwise) {
    if (!finite({x, y, radius, startAngle, endAngle}) || radius < 0) {
        return;
    }
    // In this y-down space growing angles turn clockwise on the screen, which
    // is what the platform's flag 0 gives in its flipped views.
    if (clockwise == 0) {
        cairo_arc(m_cairo, x, y, radius, startAngle, endAngle);
    } else {
        cairo_arc_negative(m_cairo, x, y, radius, startAngle, endAngle);
    }
}

void DrawingContext::addArcToPoint(double x1, double y1, double x2, double y2, double radius) {
    if (!finite({x1, y1, x2, y2, radius}) || radius < 0) {
        return;
    }
    double x0 = x1;
    double y0 = y1;
    if (cairo_has_current_point(m_cairo)) {
        cairo_get_current_point(m_cairo, &x0, &y0);
    } else {
        cairo_move_to(m_cairo, x1, y1);
        return;
    }
    // The circle of `radius` touching both lines (p0→p1 and p1→p2).
    double ux = x0 - x1, uy = y0 - y1, vx = x2 - x1, vy = y2 - y1;
    double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
    if (lu == 0 || lv == 0 || radius == 0) {
        cairo_line_to(m_cairo, x1, y1);
        return;
    }
    ux /= lu, uy /= lu, vx /= lv, vy /= lv;
    double cross = ux * vy - uy * vx;
    double angle = std::acos(std::clamp(ux * vx + uy * vy, -1.0, 1.0));
    if (std::fabs(cross) < 1e-12 || angle == 0) {
        cairo_line_to(m_cairo, x1, y1);
        return;
    }
    double distance = radius / std::tan(angle / 2);
    double t1x = x1 + ux * distance, t1y = y1 + uy * distance;
    double t2x = x1 + vx * distance, t2y = y1 + vy * distance;
    double bx = ux + vx, by = uy + vy;
    double lb = std::hypot(bx, by);
    double centre = radius / std::sin(angle / 2);
    double cx = x1 + bx / lb * centre, cy = y1 + by / lb * centre;
    double a1 = std::atan2(t1y - cy, t1x - cx);
    double a2 = std::atan2(t2y - cy, t2x - cx);
    cairo_line_to(m_cairo, t1x, t1y);
    // The short way round, whichever direction that is.
    if (cross > 0) {
        cairo_arc_negative(m_cairo, cx, cy, radius, a1, a2);
    } else {
        cairo_arc(m_cairo, cx, cy, radius, a1, a2);
    }
}

void DrawingContext::addCurveToPoint(double cp1x, double cp1y, double cp2x, double cp2y, double x, double y) {
    if (!finite({cp1x, cp1y, cp2x, cp2y, x, y})) {
        return;
    }
    if (!cairo_has_current_point(m_cairo)) {
        cairo_move_to(m_cairo, cp1x, cp1y);
    }
    cairo_curve_to(m_cairo, cp1x, cp1y, cp2x, cp2y, x, y);
}

void DrawingContext::addRect(const Rect& rect) {
    if (usable(rect)) {
        cairo_rectangle(m_cairo, rect.x(), rect.y(), rect.width(), rect.height());
    }
}

void DrawingContext::addEllipseInRect(const Rect& rect) {
    Rect r = rect.standardized();
    if (!usable(r) || r.isEmpty()) {
        return;
    }
    cairo_new_sub_path(m_cairo);
    cairo_save(m_cairo);
    cairo_translate(m_cairo, r.midX(), r.midY());
    cairo_scale(m_cairo, r.width() / 2, r.height() / 2);
    cairo_arc(m_cairo, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(m_cairo);
    cairo_close_path(m_cairo);
}

void DrawingContext::addRoundedRect(const Rect& rect, double radius) {
    Rect r = rect.standardized();
    if (!usable(r) || !finite({radius})) {
        return;
    }
    double rr = std::clamp(radius, 0.0, std::min(r.width(), r.height()) / 2);
    cairo_new_sub_path(m_cairo);
    cairo_move_to(m_cairo, r.minX() + rr, r.minY());
    cairo_arc(m_cairo, r.maxX() - rr, r.minY() + rr, rr, 3 * M_PI / 2, 2 * M_PI);
    cairo_arc(m_cairo, r.maxX() - rr, r.maxY() - rr, rr, 0, M_PI / 2);
    cairo_arc(m_cairo, r.minX() + rr, r.maxY() - rr, rr, M_PI / 2, M_PI);
    cairo_arc(m_cairo, r.minX() + rr, r.minY() + rr, rr, M_PI, 3 * M_PI / 2);
    cairo_close_path(m_cairo);
}

void DrawingContext::closePath() {
    if (cairo_has_current_point(m_cairo)) {
        cairo_close_path(m_cairo);
    }
}

bool DrawingContext::isPathEmpty() const {
    cairo_path_t* path = cairo_copy_path(m_cairo);
    bool empty = path->num_data == 0;
    cairo_path_destroy(path);
    return empty;
}

std::optional<Point> DrawingContext::currentPoint() const {
    if (!cairo_has_current_point(m_cairo)) {
        return std::nullopt;
    }
    double x = 0, y = 0;
    cairo_get_current_point(m_cairo, &x, &y);
    return Point{x, y};
}

// ---- painting

// Sets the Cairo source for `color`; `alpha` is folded into solid colours
// (patterns are painted through a group by the caller).
void DrawingContext::withSource(const Color& color, double alpha) {
    if (const auto& image = color.patternImage()) {
        if (image->bitmap()) {
            Rect tile(0, 0, image->size().width, image->size().height);
            graphics::PatternPtr pattern = imagePattern(*image->bitmap(), tile, CAIRO_EXTEND_REPEAT);
            cairo_set_source(m_cairo, pattern.get());
            return;
        }
        cairo_set_source_rgba(m_cairo, 0, 0, 0, 0); // a pattern without pixels shows nothing
        return;
    }
    cairo_set_source_rgba(m_cairo, color.red(), color.green(), color.blue(), color.alpha() * alpha);
}

void DrawingContext::paintPath(bool fill, bool evenOdd) {
    const Color& color = fill ? state().fill : state().stroke;
    double alpha = state().alpha;
    bool pattern = color.patternImage() != nullptr;
    cairo_save(m_cairo);
    cairo_set_fill_rule(m_cairo, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    if (pattern && alpha < 1) {
        // Patterns carry no alpha of their own: paint them through a group.
        cairo_push_group(m_cairo);
        withSource(color, 1);
        fill ? cairo_fill(m_cairo) : cairo_stroke(m_cairo);
        cairo_pop_group_to_source(m_cairo);
        cairo_paint_with_alpha(m_cairo, alpha);
    } else {
        withSource(color, alpha);
        fill ? cairo_fill(m_cairo) : cairo_stroke(m_cairo);
    }
    cairo_restore(m_cairo); // also drops the source, which may point into an image
    cairo_new_path(m_cairo);
}

void DrawingContext::fillPath() {
    paintPath(true, false);
}

void DrawingContext::eoFillPath() {
    paintPath(true, true);
}

void DrawingContext::strokePath() {
    paintPath(false, false);
}

void DrawingContext::clip() {
    cairo_set_fill_rule(m_cairo, CAIRO_FILL_RULE_WINDING);
    cairo_clip(m_cairo);
}

void DrawingContext::clipToRect(const Rect& rect) {
    if (!usable(rect)) {
        return;
    }
    cairo_path_t* path = cairo_copy_path(m_cairo);
    cairo_new_path(m_cairo);
    cairo_rectangle(m_cairo, rect.x(), rect.y(), rect.width(), rect.height());
    cairo_clip(m_cairo);
    cairo_append_path(m_cairo, path);
    cairo_path_destroy(path);
}

void DrawingContext::fillRect(const Rect& rect) {
    if (!usable(rect)) {
        return;
    }
    cairo_path_t* path = cairo_copy_path(m_cairo);
    cairo_new_path(m_cairo);
    cairo_rectangle(m_cairo, rect.x(), rect.y(), rect.width(), rect.height());
    paintPath(true, false);
    cairo_append_path(m_cairo, path);
    cairo_path_destroy(path);
}

void DrawingContext::strokeRect(const Rect& rect) {
    if (!usable(rect)) {
        return;
    }
    cairo_path_t* path = cairo_copy_path(m_cairo);
    cairo_new_path(m_cairo);
    cairo_rectangle(m_cairo, rect.x(), rect.y(), rect.width(), rect.height());
    paintPath(false, false);
    cairo_append_path(m_cairo, path);
    cairo_path_destroy(path);
}

void DrawingContext::clearRect(const Rect& rect) {
    if (!usable(rect)) {
        return;
    }
    cairo_path_t* path = cairo_copy_path(m_cairo);
    cairo_save(m_cairo);
    cairo_new_path(m_cairo);
    cairo_rectangle(m_cairo, rect.x(), rect.y(), rect.width(), rect.height());
    cairo_set_operator(m_cairo, CAIRO_OPERATOR_CLEAR);
    cairo_fill(m_cairo);
    cairo_restore(m_cairo);
    cairo_new_path(m_cairo);
    cairo_append_path(m_cairo, path);
    cairo_path_destroy(path);
}

void DrawingContext::drawLinearGradient(const Gradient& gradient, Point start, Point end,
                                        GradientDrawingOptions options) {
    if (!finite({start.x, start.y, end.x, end.y}) || start == end) {
        return;
    }
    bool before = (options & GradientDrawingOptions::DrawsBeforeStart) != GradientDrawingOptions::None;
    bool after = (options & GradientDrawingOptions::DrawsAfterEnd) != GradientDrawingOptions::None;
    graphics::PatternPtr pattern(cairo_pattern_create_linear(start.x, start.y, end.x, end.y));
    for (size_t i = 0; i < gradient.colors().size(); ++i) {
        const Color& c = gradient.colors()[i];
        cairo_pattern_add_color_stop_rgba(pattern.get(), std::clamp(gradient.locations()[i], 0.0, 1.0),
                                          c.red(), c.green(), c.blue(), c.alpha() * state().alpha);
    }
    cairo_pattern_set_extend(pattern.get(), before || after ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    cairo_path_t* path = cairo_copy_path(m_cairo);
    cairo_save(m_cairo);
    if (before != after) {
        // Padding on one side only: keep the half-plane on that side of the
        // far end's perpendicular.
        double dx = end.x - start.x, dy = end.y - start.y;
        double length = std::hypot(dx, dy);
        dx /= length, dy /= length;
        Point edge = before ? end : start;
        double sign = before ? -1 : 1;
        const double far = 1e6;
        cairo_new_path(m_cairo);
        cairo_move_to(m_cairo, edge.x - dy * far, edge.y + dx * far);
        cairo_line_to(m_cairo, edge.x + dy * far, edge.y - dx * far);
        cairo_line_to(m_cairo, edge.x + dy * far + sign * dx * far, edge.y - dx * far + sign * dy * far);
        cairo_line_to(m_cairo, edge.x - dy * far + sign * dx * far, edge.y + dx * far + sign * dy * far);
        cairo_close_path(m_cairo);
        cairo_clip(m_cairo);
    }
    cairo_set_source(m_cairo, pattern.get());
    cairo_paint(m_cairo);
    cairo_restore(m_cairo);
    cairo_new_path(m_cairo);
    cairo_append_path(m_cairo, path);
    cairo_path_destroy(path);
}

// ---- images

void DrawingContext::drawImage(const Image& image, const Rect& rect) {
    Rect r = rect.standardized();
    if (!image.bitmap() || !usable(r) || r.isEmpty()) {
        return;
    }
    graphics::PatternPtr pattern = imagePattern(*image.bitmap(), r, CAIRO_EXTEND_PAD);
    cairo_path_t* path = cairo_copy_path(m_cairo);
    cairo_save(m_cairo);
    cairo_new_path(m_cairo);
    cairo_rectangle(m_cairo, r.x(), r.y(), r.width(), r.height());
    cairo_clip(m_cairo);
    cairo_set_source(m_cairo, pattern.get());
    cairo_paint_with_alpha(m_cairo, state().alpha);
    cairo_restore(m_cairo);
    cairo_new_path(m_cairo);
    cairo_append_path(m_cairo, path);
    cairo_path_destroy(path);
}

void DrawingContext::drawImageAtPoint(const Image& image, Point point) {
    drawImage(image, Rect(point, image.size()));
}

void DrawingContext::drawImageAsMask(const Image& image, const Rect& rect, const Color& color) {
    Rect r = rect.standardized();
    if (!image.bitmap() || !usable(r) || r.isEmpty()) {
        return;
    }
    graphics::PatternPtr mask = imagePattern(*image.bitmap(), r, CAIRO_EXTEND_NONE);
    cairo_save(m_cairo);
    cairo_set_source_rgba(m_cairo, color.red(), color.green(), color.blue(), color.alpha() * state().alpha);
    cairo_mask(m_cairo, mask.get());
    cairo_restore(m_cairo);
}

// ---- text

Size DrawingContext::drawText(std::string_view text, const Rect& rect, const Font& font,
                              TextAlignment alignment, LineBreakMode mode, int numberOfLines) {
    if (!usable(rect)) {
        return {};
    }
    std::lock_guard guard(FontLibrary::shared().lock());
    graphics::LayoutSpec spec;
    spec.width = rect.width();
    spec.maxLines = numberOfLines;
    spec.mode = mode;
    spec.alignment = alignment;
    cairo_path_t* path = cairo_copy_path(m_cairo);
    cairo_save(m_cairo);
    cairo_new_path(m_cairo);
    if (mode == LineBreakMode::Clip && rect.width() > 0) {
        cairo_rectangle(m_cairo, rect.x(), rect.y(), rect.width(), rect.height());
        cairo_clip(m_cairo);
    }
    withSource(state().fill, state().alpha);
    auto layout = graphics::makeLayout(m_cairo, {plainRun(text)}, font, spec);
    Size size = graphics::layoutSize(layout.get());
    double x = rect.x();
    if (mode == LineBreakMode::Clip) {
        // Unwrapped: alignment within the rectangle is ours to do.
        if (alignment == TextAlignment::Center) {
            x += (rect.width() - size.width) / 2;
        } else if (alignment == TextAlignment::Right) {
            x += rect.width() - size.width;
        }
    }
    cairo_move_to(m_cairo, x, rect.y());
    pango_cairo_show_layout(m_cairo, layout.get());
    cairo_restore(m_cairo);
    cairo_new_path(m_cairo);
    cairo_append_path(m_cairo, path);
    cairo_path_destroy(path);
    return size;
}

Size DrawingContext::drawTextAtPoint(std::string_view text, Point point, const Font& font) {
    return drawText(text, Rect(point.x, point.y, std::numeric_limits<double>::infinity(), 0), font,
                    TextAlignment::Left, LineBreakMode::WordWrap, 0);
}

Size DrawingContext::drawRuns(const std::vector<TextRun>& runs, const Rect& rect, const Font& font,
                              TextAlignment alignment) {
    if (!finite({rect.x(), rect.y()})) {
        return {};
    }
    std::lock_guard guard(FontLibrary::shared().lock());
    graphics::LayoutSpec spec;
    spec.width = rect.width();
    spec.alignment = alignment;
    cairo_save(m_cairo);
    withSource(state().fill, state().alpha);
    auto layout = graphics::makeLayout(m_cairo, runs, font, spec);
    Size size = graphics::layoutSize(layout.get());
    cairo_path_t* path = cairo_copy_path(m_cairo);
    cairo_new_path(m_cairo);
    cairo_move_to(m_cairo, rect.x(), rect.y());
    pango_cairo_show_layout(m_cairo, layout.get());
    cairo_new_path(m_cairo);
    cairo_append_path(m_cairo, path);
    cairo_path_destroy(path);
    cairo_restore(m_cairo);
    return size;
}

Size DrawingContext::sizeOfRuns(const std::vector<TextRun>& runs, const Font& font, double width) {
    std::lock_guard guard(FontLibrary::shared().lock());
    graphics::LayoutSpec spec;
    spec.width = width;
    auto layout = graphics::makeLayout(nullptr, runs, font, spec);
    return graphics::layoutSize(layout.get());
}

std::optional<size_t> DrawingContext::runAtPoint(const std::vector<TextRun>& runs, const Font& font,
                                                 double width, Point point) {
    if (!finite({point.x, point.y}) || std::fabs(point.x) > 1e6 || std::fabs(point.y) > 1e6) {
        return std::nullopt;
    }
    std::lock_guard guard(FontLibrary::shared().lock());
    graphics::LayoutSpec spec;
    spec.width = width;
    std::vector<size_t> starts;
    auto layout = graphics::makeLayout(nullptr, runs, font, spec, &starts);
    int index = 0;
    int trailing = 0;
    if (!pango_layout_xy_to_index(layout.get(), int(point.x * PANGO_SCALE), int(point.y * PANGO_SCALE),
                                  &index, &trailing)) {
        return std::nullopt;
    }
    auto after = std::upper_bound(starts.begin(), starts.end(), size_t(index));
    if (after == starts.begin()) {
        return std::nullopt;
    }
    // Runs that made no text share their start with the next; the last of them owns it.
    return size_t(after - starts.begin()) - 1;
}

// ---- transparency layers

void DrawingContext::beginTransparencyLayer() {
    double alpha = state().alpha;
    saveGState();
    m_layers.push_back({alpha, m_states.size()});
    state().alpha = 1;
    cairo_push_group(m_cairo);
}

void DrawingContext::endTransparencyLayer() {
    if (m_layers.empty()) {
        return;
    }
    Layer top = m_layers.back();
    while (m_states.size() > top.stateDepth) {
        restoreGState(); // saves left open inside the layer
    }
    double alpha = top.alpha;
    graphics::PatternPtr layer(cairo_pop_group(m_cairo));
    m_layers.pop_back();
    restoreGState();
    cairo_save(m_cairo);
    cairo_set_source(m_cairo, layer.get());
    cairo_paint_with_alpha(m_cairo, alpha);
    cairo_restore(m_cairo);
}

DrawingContext::Mark DrawingContext::mark() const {
    return {m_states.size(), m_layers.size()};
}

void DrawingContext::unwindTo(Mark mark) {
    while (m_layers.size() > mark.layers) {
        endTransparencyLayer();
    }
    while (m_states.size() > std::max<size_t>(mark.states, 1)) {
        size_t before = m_states.size();
        restoreGState();
        if (m_states.size() == before) {
            break;
        }
    }
}

} // namespace murmelo
