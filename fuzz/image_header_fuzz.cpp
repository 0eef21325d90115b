// libFuzzer target: reading the format and size of PNG, JPEG and GIF data.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/graphics/Image.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto header = readImageHeader(std::span<const uint8_t>(data, size));
    if (header &&
        (header->pixelWidth == 0 || header->pixelHeight == 0 || header->format == ImageFormat::None)) {
        std::abort(); // a picture always has a format and a size
    }
    // An image needs a readable header and pixels that decode.
    auto image = Image::imageWithData(Data(data, data + size), 2);
    if (image && !header) {
        std::abort();
    }
    if (image &&
        (image->size().width * 2 != header->pixelWidth || image->size().height * 2 != header->pixelHeight)) {
        std::abort();
    }
    return 0;
}
