// DrawingContext: a 2-D drawing surface with the calls the app's views use
// to draw themselves, named after the platform's (CGContextMoveToPoint →
// moveToPoint, CGContextAddArc → addArc, UIImage drawInRect: → drawImage,
// NSString drawInRect:withFont: → drawText). Drawn over Cairo into a
// Bitmap.
//
// Coordinates are the screen's: points, origin top left, y growing down;
// the context maps them to pixels by its scale. Angles are in radians from
// the positive x axis towards positive y. addArc's `clockwise` keeps the
// platform's meaning in this flipped space: 0 sweeps with growing angles,
// which on the screen turns clockwise (right, then down, then left); 1
// sweeps the other way.
//
// Paths are built with move/line/arc/rect calls and consumed by fillPath,
// strokePath or clip, as on the platform. saveGState/restoreGState save
// colours, line width, alpha, transformation and clip.
//
// One thread at a time; the context draws into a bitmap it does not own,
// which must outlive it. Images and patterns drawn are only read while the
// call runs.
//
//   DrawingContext context(bitmap, 2);
//   context.setFillColor(Color(0, 0, 0, 0.85));
//   context.moveToPoint(11, 1);
//   context.addArc(169, 11, 10, 3 * M_PI / 2, 0, 0);
//   ...
//   context.closePath();
//   context.fillPath();
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Flags.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/TextStyle.h"

typedef struct _cairo cairo_t;

namespace murmelo {

class Image;

// A colour ramp: colours at locations 0...1 in increasing order
// (CGGradientCreateWithColorComponents).
class Gradient {
public:
    // `locations` empty spaces the colours evenly; otherwise one per colour.
    // Nothing when there are no colours or the counts differ.
    static std::optional<Gradient> withColors(std::vector<Color> colors, std::vector<double> locations = {});

    const std::vector<Color>& colors() const { return m_colors; }
    const std::vector<double>& locations() const { return m_locations; }

private:
    std::vector<Color> m_colors;
    std::vector<double> m_locations;
};

// kCGGradientDrawsBeforeStartLocation / AfterEndLocation.
enum class GradientDrawingOptions : unsigned { None = 0, DrawsBeforeStart = 1, DrawsAfterEnd = 2 };
template <> struct EnableFlags<GradientDrawingOptions> : std::true_type {};

// A run of text drawn in one style within a paragraph.
struct TextRun {
    std::string text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::optional<Color> color; // nothing: the fill colour
    double scale = 1;           // relative to the paragraph's font size
};
inline TextRun plainRun(std::string_view text) {
    TextRun run;
    run.text = std::string(text);
    return run;
}

class DrawingContext {
public:
    // Draws into `target`, `scale` pixels per point.
    DrawingContext(Bitmap& target, double scale);
    ~DrawingContext();
    DrawingContext(const DrawingContext&) = delete;
    DrawingContext& operator=(const DrawingContext&) = delete;

    double scale() const { return m_scale; }
    // The drawable area in points.
    Size size() const;

    // ---- graphics state
    void saveGState();
    void restoreGState(); // an unmatched restore is ignored
    void translateCTM(double dx, double dy);
    void scaleCTM(double sx, double sy);
    void rotateCTM(double radians);
    void concatCTM(const AffineTransform& transform);
    // Alpha applied to everything drawn from now on (CGContextSetAlpha).
    void setAlpha(double alpha);
    double alpha() const;
    void setLineWidth(double width);
    void setFillColor(const Color& color); // a pattern colour tiles its image
    void setStrokeColor(const Color& color);
    void setGrayFillColor(double white, double alpha);
    void setGrayStrokeColor(double white, double alpha);
    void setRGBFillColor(double red, double green, double blue, double alpha);
    void setRGBStrokeColor(double red, double green, double blue, double alpha);
    const Color& fillColor() const;

    // ---- paths
    void beginPath();
    void moveToPoint(double x, double y);
    void addLineToPoint(double x, double y);
    // A line from the current point (if any) to the arc's start, then the
    // arc around (x, y); see the header comment for `clockwise`.
    void addArc(double x, double y, double radius, double startAngle, double endAngle, int clockwise);
    // CGContextAddArcToPoint: a corner rounded towards (x2, y2).
    void addArcToPoint(double x1, double y1, double x2, double y2, double radius);
    void addCurveToPoint(double cp1x, double cp1y, double cp2x, double cp2y, double x, double y);
    void addRect(const Rect& rect);
    void addEllipseInRect(const Rect& rect);
    // A closed rectangle with corners of `radius` (clamped to half the
    // shorter side), drawn clockwise from the top edge.
    void addRoundedRect(const Rect& rect, double radius);
    void closePath();
    bool isPathEmpty() const;
    std::optional<Point> currentPoint() const;

    // ---- painting; each consumes the path
    void fillPath();   // non-zero winding
    void eoFillPath(); // even-odd
    void strokePath();
    // Narrows the clip to the path (non-zero winding).
    void clip();
    void clipToRect(const Rect& rect);
    // A rectangle alone; the path is left as it was.
    void fillRect(const Rect& rect);
    void strokeRect(const Rect& rect);
    // Makes the rectangle transparent.
    void clearRect(const Rect& rect);

    // Between `start` and `end`, clipped to the current clip.
    void drawLinearGradient(const Gradient& gradient, Point start, Point end,
                            GradientDrawingOptions options = GradientDrawingOptions::None);

    // ---- images (upright, as UIImage draws; nothing for an image without pixels)
    void drawImage(const Image& image, const Rect& rect);
    void drawImageAtPoint(const Image& image, Point point);
    // The image's alpha as a mask painted with `color` (bar icons).
    void drawImageAsMask(const Image& image, const Rect& rect, const Color& color);

    // ---- text, in the fill colour; the room taken is returned
    Size drawText(std::string_view text, const Rect& rect, const Font& font,
                  TextAlignment alignment = TextAlignment::Left, LineBreakMode mode = LineBreakMode::WordWrap,
                  int numberOfLines = 0);
    Size drawTextAtPoint(std::string_view text, Point point, const Font& font);
    Size drawRuns(const std::vector<TextRun>& runs, const Rect& rect, const Font& font,
                  TextAlignment alignment = TextAlignment::Left);
    // What drawRuns would take within `width`.
    static Size sizeOfRuns(const std::vector<TextRun>& runs, const Font& font, double width);
    // The run whose text is drawn at `point` (relative to the paragraph's
    // top left) when drawRuns lays them out within `width`; nothing
    // between lines, past their ends or outside the paragraph.
    static std::optional<size_t> runAtPoint(const std::vector<TextRun>& runs, const Font& font, double width,
                                            Point point);

    // ---- transparency layers: drawing between begin and end is composited
    // as one picture with the alpha in effect at begin.
    void beginTransparencyLayer();
    void endTransparencyLayer();

    // ---- unwinding what someone else's drawing left open
    struct Mark {
        size_t states = 0;
        size_t layers = 0;
    };
    Mark mark() const;
    // Ends the layers and restores the states begun since `mark`.
    void unwindTo(Mark mark);

private:
    struct State;
    State& state();
    const State& state() const;
    void paintPath(bool fill, bool evenOdd);
    void withSource(const Color& color, double alpha);

    double m_scale;
    Size m_size;
    cairo_t* m_cairo = nullptr;
    std::vector<State> m_states;
    struct Layer {
        double alpha;
        size_t stateDepth;
    };
    std::vector<Layer> m_layers;
};

} // namespace murmelo
