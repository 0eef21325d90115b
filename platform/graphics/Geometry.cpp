#include "platform/graphics/Geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/core/Value.h"
#include "platform/graphics/Image.h"

namespace murmelo {

std::string formatNumber(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[64];
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.4f", value);
        std::string text = buffer;
        while (!text.empty() && text.back() == '0') {
            text.pop_back();
        }
        if (!text.empty() && text.back() == '.') {
            text.pop_back();
        }
        return text == "-0" ? "0" : text;
    }
    std::string text = buffer;
    return text == "-0" ? "0" : text;
}

double Rect::minX() const {
    return size.width < 0 ? origin.x + size.width : origin.x;
}
double Rect::minY() const {
    return size.height < 0 ? origin.y + size.height : origin.y;
}
double Rect::maxX() const {
    return size.width < 0 ? origin.x : origin.x + size.width;
}
double Rect::maxY() const {
    return size.height < 0 ? origin.y : origin.y + size.height;
}

Rect Rect::standardized() const {
    return {minX(), minY(), std::fabs(size.width), std::fabs(size.height)};
}

bool Rect::contains(Point p) const {
    return !isEmpty() && p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& other) const {
    Rect o = other.standardized();
    return !isEmpty() && o.minX() >= minX() && o.maxX() <= maxX() && o.minY() >= minY() && o.maxY() <= maxY();
}

bool Rect::intersects(const Rect& other) const {
    return !intersection(other).isEmpty();
}

Rect Rect::intersection(const Rect& other) const {
    double x1 = std::max(minX(), other.minX());
    double y1 = std::max(minY(), other.minY());
    double x2 = std::min(maxX(), other.maxX());
    double y2 = std::min(maxY(), other.maxY());
    if (x2 <= x1 || y2 <= y1) {
        return {};
    }
    return {x1, y1, x2 - x1, y2 - y1};
}

Rect Rect::unionWith(const Rect& other) const {
    if (isEmpty()) {
        return other.standardized();
    }
    if (other.isEmpty()) {
        return standardized();
    }
    double x1 = std::min(minX(), other.minX());
    double y1 = std::min(minY(), other.minY());
    double x2 = std::max(maxX(), other.maxX());
    double y2 = std::max(maxY(), other.maxY());
    return {x1, y1, x2 - x1, y2 - y1};
}

Rect Rect::insetBy(double dx, double dy) const {
    Rect s = standardized();
    return {s.origin.x + dx, s.origin.y + dy, s.size.width - 2 * dx, s.size.height - 2 * dy};
}

Rect Rect::offsetBy(double dx, double dy) const {
    return {origin.x + dx, origin.y + dy, size.width, size.height};
}

std::string Rect::description() const {
    std::string out = "(";
    out += formatNumber(origin.x) + ", " + formatNumber(origin.y) + ", " + formatNumber(size.width) + ", " +
           formatNumber(size.height) + ")";
    return out;
}

AffineTransform AffineTransform::rotation(double radians) {
    double c = std::cos(radians);
    double s = std::sin(radians);
    return {c, s, -s, c, 0, 0};
}

AffineTransform AffineTransform::concat(const AffineTransform& t) const {
    return {a * t.a + b * t.c, a * t.b + b * t.d,          c * t.a + d * t.c,
            c * t.b + d * t.d, tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
}

bool AffineTransform::isInvertible() const {
    return a * d - b * c != 0;
}

AffineTransform AffineTransform::inverted() const {
    double det = a * d - b * c;
    if (det == 0) {
        return *this;
    }
    return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
}

Point AffineTransform::apply(Point p) const {
    return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty};
}

Size AffineTransform::apply(Size s) const {
    return {a * s.width + c * s.height, b * s.width + d * s.height};
}

Rect AffineTransform::apply(const Rect& r) const {
    Rect s = r.standardized();
    Point corners[4] = {apply(Point{s.minX(), s.minY()}), apply(Point{s.maxX(), s.minY()}),
                        apply(Point{s.minX(), s.maxY()}), apply(Point{s.maxX(), s.maxY()})};
    double x1 = corners[0].x, x2 = corners[0].x, y1 = corners[0].y, y2 = corners[0].y;
    for (const auto& p : corners) {
        x1 = std::min(x1, p.x);
        x2 = std::max(x2, p.x);
        y1 = std::min(y1, p.y);
        y2 = std::max(y2, p.y);
    }
    return {x1, y1, x2 - x1, y2 - y1};
}

Color Color::colorWithPatternImage(std::shared_ptr<const Image> image) {
    Color color(0, 0, 0, 1);
    color.m_pattern = std::move(image);
    return color;
}

Color Color::withAlphaComponent(double alpha) const {
    Color copy = *this;
    copy.m_alpha = alpha;
    return copy;
}

bool Color::operator==(const Color& other) const {
    return m_red == other.m_red && m_green == other.m_green && m_blue == other.m_blue &&
           m_alpha == other.m_alpha && m_pattern == other.m_pattern;
}

std::string Color::description() const {
    if (m_pattern) {
        return "pattern(" + m_pattern->name() + ")";
    }
    return "rgba(" + formatNumber(m_red) + ", " + formatNumber(m_green) + ", " + formatNumber(m_blue) + ", " +
           formatNumber(m_alpha) + ")";
}

bool Font::isBold() const {
    return name.find("Bold") != std::string::npos;
}

} // namespace murmelo
