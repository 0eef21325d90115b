#include "platform/graphics/internal/CairoSupport.h"

#include "platform/graphics/Bitmap.h"

namespace murmelo::graphics {

SurfacePtr wrapPixels(Bitmap& bitmap) {
    return SurfacePtr(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(bitmap.mutablePixels()), CAIRO_FORMAT_ARGB32, int(bitmap.width()),
        int(bitmap.height()), int(bitmap.stride())));
}

SurfacePtr wrapPixels(const Bitmap& bitmap) {
    // Cairo takes no const pointers; sources are only read.
    return wrapPixels(const_cast<Bitmap&>(bitmap));
}

} // namespace murmelo::graphics
