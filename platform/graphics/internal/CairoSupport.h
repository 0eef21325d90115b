// Small shared pieces of the drawing code: the error domain and codes, and
// owning handles for Cairo objects. Internal to platform/graphics; same
// threading as the objects they hold.
#pragma once

#include <cairo.h>

#include <memory>

namespace murmelo {
class Bitmap;
}

namespace murmelo::graphics {

inline constexpr const char* kErrorDomain = "MurmeloGraphicsErrorDomain";
inline constexpr long kErrorBadSize = 1;    // zero or refused dimensions
inline constexpr long kErrorNotAnImage = 2; // unknown format
inline constexpr long kErrorCorrupt = 3;    // a known format that does not decode
inline constexpr long kErrorEncode = 4;     // PNG encoding failed
inline constexpr long kErrorIO = 5;         // a file could not be written

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct PatternDeleter {
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternDeleter>;

// An image surface over the bitmap's own pixels (no copy). The bitmap must
// outlive the surface; a surface over a const bitmap must only be read.
SurfacePtr wrapPixels(Bitmap& bitmap);
SurfacePtr wrapPixels(const Bitmap& bitmap);

} // namespace murmelo::graphics
