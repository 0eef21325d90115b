// libFuzzer target: decoding PNG, JPEG and GIF bytes into pixels. Bad bytes
// must give an error, never a crash, a hang or an oversized allocation; a
// picture that decodes must encode and decode again to the same size and
// draw scaled without trouble.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/graphics/DrawingContext.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/ImageDecoder.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bitmap = decodeImage(std::span<const uint8_t>(data, size));
    if (!bitmap) {
        return 0;
    }
    if (!Bitmap::isAcceptableSize(bitmap->width(), bitmap->height())) {
        std::abort();
    }
    auto png = bitmap->encodePNG();
    if (!png) {
        std::abort();
    }
    auto again = decodeImage(*png);
    if (!again || again->width() != bitmap->width() || again->height() != bitmap->height()) {
        std::abort();
    }
    auto image = Image::imageWithData(Data(data, data + size));
    if (!image || !image->bitmap()) {
        std::abort();
    }
    auto target = Bitmap::create(16, 16);
    DrawingContext context(*target, 1);
    context.drawImage(*image, Rect(0, 0, 16, 16));
    context.setFillColor(Color::colorWithPatternImage(image));
    context.fillRect(Rect(0, 0, 16, 16));
    return 0;
}
