// Geometry and appearance values of the screen: points, sizes, rectangles,
// edge insets, affine transforms, colours and fonts. Coordinates are in
// points, origin top left, y growing downwards.
//
// Plain value types; copy freely between threads. A Color may share an
// immutable pattern Image.
#pragma once

#include <memory>
#include <string>

namespace murmelo {

class Image;

// A coordinate or measure as the screen writes it: whole numbers without a
// fraction ("320"), others with up to four decimals ("0.85").
std::string formatNumber(double value);

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}
    constexpr Rect(Point o, Size s) : origin(o), size(s) {}

    bool operator==(const Rect&) const = default;

    double x() const { return origin.x; }
    double y() const { return origin.y; }
    double width() const { return size.width; }
    double height() const { return size.height; }
    // Of the standardised rectangle (negative sizes flipped).
    double minX() const;
    double minY() const;
    double maxX() const;
    double maxY() const;
    double midX() const { return (minX() + maxX()) / 2; }
    double midY() const { return (minY() + maxY()) / 2; }
    Point center() const { return {midX(), midY()}; }

    bool isEmpty() const { return size.width == 0 || size.height == 0; }
    Rect standardized() const;
    // Half-open: the left and top edges are inside, the right and bottom not.
    bool contains(Point p) const;
    bool contains(const Rect& other) const;
    bool intersects(const Rect& other) const;
    Rect intersection(const Rect& other) const; // empty at the origin when disjoint
    Rect unionWith(const Rect& other) const;
    Rect insetBy(double dx, double dy) const;
    Rect offsetBy(double dx, double dy) const;

    // "(x, y, w, h)" with integral values written without a fraction.
    std::string description() const;
};

struct EdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;
    bool operator==(const EdgeInsets&) const = default;
    Rect inset(const Rect& r) const {
        return {r.origin.x + left, r.origin.y + top, r.size.width - left - right,
                r.size.height - top - bottom};
    }
};

// x' = a·x + c·y + tx, y' = b·x + d·y + ty (the platform's layout).
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    bool operator==(const AffineTransform&) const = default;

    static AffineTransform identity() { return {}; }
    static AffineTransform translation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }
    static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static AffineTransform rotation(double radians);

    bool isIdentity() const { return *this == AffineTransform(); }
    // `this` first, then `then`.
    AffineTransform concat(const AffineTransform& then) const;
    AffineTransform translatedBy(double dx, double dy) const { return translation(dx, dy).concat(*this); }
    AffineTransform scaledBy(double sx, double sy) const { return scale(sx, sy).concat(*this); }
    // The inverse; the transform itself when it is singular.
    AffineTransform inverted() const;
    bool isInvertible() const;
    Point apply(Point p) const;
    Size apply(Size s) const; // linear part only
    // The bounding box of the transformed rectangle.
    Rect apply(const Rect& r) const;
};

// An RGBA colour (components 0...1) or a pattern of a repeated image.
class Color {
public:
    constexpr Color() = default;
    constexpr Color(double red, double green, double blue, double alpha = 1.0)
        : m_red(red), m_green(green), m_blue(blue), m_alpha(alpha) {}

    static Color colorWithWhite(double white, double alpha = 1.0) { return {white, white, white, alpha}; }
    static Color colorWithPatternImage(std::shared_ptr<const Image> image);

    static Color blackColor() { return {0, 0, 0}; }
    static Color whiteColor() { return {1, 1, 1}; }
    static Color clearColor() { return {0, 0, 0, 0}; }
    static Color grayColor() { return colorWithWhite(0.5); }
    static Color lightGrayColor() { return colorWithWhite(2.0 / 3.0); }
    static Color darkGrayColor() { return colorWithWhite(1.0 / 3.0); }
    static Color redColor() { return {1, 0, 0}; }
    static Color greenColor() { return {0, 1, 0}; }
    static Color blueColor() { return {0, 0, 1}; }

    double red() const { return m_red; }
    double green() const { return m_green; }
    double blue() const { return m_blue; }
    double alpha() const { return m_alpha; }
    const std::shared_ptr<const Image>& patternImage() const { return m_pattern; }

    Color withAlphaComponent(double alpha) const;
    bool operator==(const Color& other) const;
    // "rgba(0.5, 0.5, 0.5, 1)" or "pattern(name)".
    std::string description() const;

private:
    double m_red = 0, m_green = 0, m_blue = 0, m_alpha = 0;
    std::shared_ptr<const Image> m_pattern;
};

// A font by name and point size. The system fonts are named as the phone
// names them ("Helvetica", "Helvetica-Bold").
struct Font {
    std::string name = "Helvetica";
    double pointSize = 17;

    bool operator==(const Font&) const = default;

    static Font systemFontOfSize(double size) { return {"Helvetica", size}; }
    static Font boldSystemFontOfSize(double size) { return {"Helvetica-Bold", size}; }
    static Font fontWithName(std::string name, double size) { return {std::move(name), size}; }
    bool isBold() const;
};

} // namespace murmelo
