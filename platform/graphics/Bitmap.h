// Bitmap: a rectangle of pixels in memory — 32-bit ARGB with premultiplied
// alpha in native byte order (the layout Cairo draws into), rows packed
// without padding. What decoded pictures, offscreen drawing and the screen
// renderer produce; PNG encoding lives here too.
//
// A plain value that owns its pixels. Share a finished bitmap as
// std::shared_ptr<const Bitmap>; reading from several threads is safe, a
// bitmap being drawn into belongs to one thread.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo {

// One pixel, not premultiplied, components 0...255.
struct RGBA8 {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const RGBA8&) const = default;
};

class Bitmap {
public:
    // Refused sizes: anything wider or taller than this, or with more
    // pixels than kMaxPixels (64 MiB of memory). Real screens and pictures
    // stay far below; decompression bombs do not.
    static constexpr std::uint32_t kMaxSide = 8192;
    static constexpr std::uint64_t kMaxPixels = 4096ull * 4096ull;

    // A transparent bitmap; an error for a zero or refused size.
    static Result<Bitmap> create(std::uint32_t width, std::uint32_t height);
    static bool isAcceptableSize(std::uint64_t width, std::uint64_t height);

    std::uint32_t width() const { return m_width; }
    std::uint32_t height() const { return m_height; }
    // Bytes per row (always width × 4).
    std::uint32_t stride() const { return m_width * 4; }
    const std::uint32_t* pixels() const { return m_pixels.data(); }
    std::uint32_t* mutablePixels() { return m_pixels.data(); }

    // REQUIRES: x < width(), y < height().
    RGBA8 pixelAt(std::uint32_t x, std::uint32_t y) const;
    void setPixel(std::uint32_t x, std::uint32_t y, RGBA8 colour);

    // The picture as a PNG file (8-bit RGBA, not interlaced).
    Result<Data> encodePNG() const;

private:
    Bitmap(std::uint32_t width, std::uint32_t height);

    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::vector<std::uint32_t> m_pixels;
};

} // namespace murmelo
