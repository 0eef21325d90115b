#include "platform/graphics/Bitmap.h"

#include <cairo.h>

#include "platform/graphics/internal/CairoSupport.h"

namespace murmelo {

Bitmap::Bitmap(std::uint32_t width, std::uint32_t height)
    : m_width(width), m_height(height), m_pixels(std::size_t(width) * height, 0) {}

bool Bitmap::isAcceptableSize(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

Result<Bitmap> Bitmap::create(std::uint32_t width, std::uint32_t height) {
    if (!isAcceptableSize(width, height)) {
        return Error(graphics::kErrorDomain, graphics::kErrorBadSize,
                     "bitmap of " + std::to_string(width) + " by " + std::to_string(height) +
                         " pixels refused");
    }
    return Bitmap(width, height);
}

RGBA8 Bitmap::pixelAt(std::uint32_t x, std::uint32_t y) const {
    std::uint32_t p = m_pixels[std::size_t(y) * m_width + x];
    std::uint8_t a = std::uint8_t(p >> 24);
    if (a == 0) {
        return {};
    }
    auto unpremultiply = [a](std::uint32_t c) { return std::uint8_t((c * 255 + a / 2) / a); };
    return {unpremultiply((p >> 16) & 0xFF), unpremultiply((p >> 8) & 0xFF), unpremultiply(p & 0xFF), a};
}

void Bitmap::setPixel(std::uint32_t x, std::uint32_t y, RGBA8 c) {
    auto premultiply = [&c](std::uint32_t v) { return (v * c.a + 127) / 255; };
    m_pixels[std::size_t(y) * m_width + x] =
        (std::uint32_t(c.a) << 24) | (premultiply(c.r) << 16) | (premultiply(c.g) << 8) | premultiply(c.b);
}

namespace {

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<Data*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

Result<Data> Bitmap::encodePNG() const {
    graphics::SurfacePtr surface = graphics::wrapPixels(*this);
    Data out;
    cairo_status_t status = cairo_surface_write_to_png_stream(surface.get(), appendBytes, &out);
    if (status != CAIRO_STATUS_SUCCESS) {
        return Error(graphics::kErrorDomain, graphics::kErrorEncode,
                     std::string("PNG encoding failed: ") + cairo_status_to_string(status));
    }
    return out;
}

} // namespace murmelo
