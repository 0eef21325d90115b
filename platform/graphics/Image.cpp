#include "platform/graphics/Image.h"

#include <cstring>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/FileSystem.h"
#include "platform/graphics/ImageDecoder.h"

namespace murmelo {

namespace {

constexpr std::uint32_t kMaxDimension = 1u << 24; // beyond any real picture; keeps sizes finite

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
std::uint32_t bigEndian16(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 8) | p[1];
}

Error headerError(const char* what) {
    return Error("ImageErrorDomain", 1, what);
}

Result<ImageHeader> checked(ImageFormat format, std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension) {
        return headerError("image has no usable size");
    }
    return ImageHeader{format, width, height};
}

Result<ImageHeader> readPNG(std::span<const std::uint8_t> b) {
    // Signature, then the first chunk must be a 13-byte IHDR.
    if (b.size() < 24) {
        return headerError("truncated PNG header");
    }
    if (bigEndian32(&b[8]) != 13 || std::memcmp(&b[12], "IHDR", 4) != 0) {
        return headerError("PNG without IHDR");
    }
    return checked(ImageFormat::PNG, bigEndian32(&b[16]), bigEndian32(&b[20]));
}

Result<ImageHeader> readGIF(std::span<const std::uint8_t> b) {
    if (b.size() < 10) {
        return headerError("truncated GIF header");
    }
    return checked(ImageFormat::GIF, b[6] | (std::uint32_t(b[7]) << 8), b[8] | (std::uint32_t(b[9]) << 8));
}

bool isStartOfFrame(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

Result<ImageHeader> readJPEG(std::span<const std::uint8_t> b) {
    size_t i = 2;
    while (i < b.size()) {
        if (b[i] != 0xFF) {
            return headerError("JPEG segment without marker");
        }
        while (i < b.size() && b[i] == 0xFF) {
            ++i; // fill bytes
        }
        if (i >= b.size()) {
            break;
        }
        std::uint8_t marker = b[i++];
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            continue; // no length
        }
        if (marker == 0xD9 || marker == 0xDA) {
            return headerError("JPEG without frame header");
        }
        if (i + 2 > b.size()) {
            break;
        }
        std::uint32_t length = bigEndian16(&b[i]);
        if (length < 2) {
            return headerError("JPEG segment of bad length");
        }
        if (isStartOfFrame(marker)) {
            if (length < 7 || i + 7 > b.size()) {
                break;
            }
            return checked(ImageFormat::JPEG, bigEndian16(&b[i + 5]), bigEndian16(&b[i + 3]));
        }
        i += length;
    }
    return headerError("truncated JPEG");
}

double scaleFromFileName(const std::string& path) {
    auto slash = path.rfind('/');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    return file.find("@2x.") != std::string::npos ? 2.0 : 1.0;
}

} // namespace

const char* imageFormatName(ImageFormat format) {
    switch (format) {
    case ImageFormat::PNG:
        return "png";
    case ImageFormat::JPEG:
        return "jpeg";
    case ImageFormat::GIF:
        return "gif";
    case ImageFormat::None:
        break;
    }
    return "none";
}

Result<ImageHeader> readImageHeader(std::span<const std::uint8_t> b) {
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (b.size() >= 8 && std::memcmp(b.data(), png, 8) == 0) {
        return readPNG(b);
    }
    if (b.size() >= 6 &&
        (std::memcmp(b.data(), "GIF87a", 6) == 0 || std::memcmp(b.data(), "GIF89a", 6) == 0)) {
        return readGIF(b);
    }
    if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
        return readJPEG(b);
    }
    return headerError("not a PNG, JPEG or GIF image");
}

std::shared_ptr<const Image> Image::fromBytes(std::string name, Data bytes, double scale,
                                              std::optional<std::string> path) {
    auto header = readImageHeader(bytes);
    if (!header) {
        return nullptr;
    }
    auto pixels = decodeImage(bytes);
    if (!pixels) {
        return nullptr;
    }
    if (!(scale > 0)) {
        scale = 1;
    }
    std::shared_ptr<Image> image(new Image());
    image->m_name = std::move(name);
    image->m_scale = scale;
    image->m_size = {header->pixelWidth / scale, header->pixelHeight / scale};
    image->m_format = header->format;
    image->m_path = std::move(path);
    image->m_data = std::move(bytes);
    image->m_bitmap = std::make_shared<const Bitmap>(std::move(*pixels));
    return image;
}

std::shared_ptr<const Image> Image::imageNamed(const std::string& name) {
    if (name.empty()) {
        return nullptr;
    }
    auto bundle = Bundle::mainBundle();
    if (!bundle) {
        return nullptr;
    }
    // The main screen's scale, as Screen::scale() reads it from the device
    // profile; a screen that does not answer the scale query counts as 1.
    auto profile = DeviceProfile::current();
    double screenScale = profile && profile->screenReportsScale() ? profile->screenScale() : 1.0;
    auto path = bundle->pathForImageNamed(name, screenScale);
    if (!path) {
        return nullptr;
    }
    auto image = imageWithContentsOfFile(*path);
    if (!image) {
        return nullptr;
    }
    auto named = std::shared_ptr<Image>(new Image(*image));
    named->m_name = name;
    return named;
}

std::shared_ptr<const Image> Image::imageWithContentsOfFile(const std::string& path) {
    auto contents = fs::readFile(path);
    if (!contents) {
        return nullptr;
    }
    auto slash = path.rfind('/');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    return fromBytes(file, Data(contents->begin(), contents->end()), scaleFromFileName(path), path);
}

std::shared_ptr<const Image> Image::imageWithData(Data data, double scale) {
    return fromBytes("", std::move(data), scale, std::nullopt);
}

std::shared_ptr<const Image> Image::imageWithSize(std::string name, Size size, double scale) {
    std::shared_ptr<Image> image(new Image());
    image->m_name = std::move(name);
    image->m_size = size;
    image->m_scale = scale > 0 ? scale : 1;
    return image;
}

std::shared_ptr<const Image> Image::imageWithBitmap(std::shared_ptr<const Bitmap> bitmap, double scale,
                                                    std::string name) {
    if (!bitmap) {
        return nullptr;
    }
    std::shared_ptr<Image> image(new Image());
    image->m_name = std::move(name);
    image->m_scale = scale > 0 ? scale : 1;
    image->m_size = {bitmap->width() / image->m_scale, bitmap->height() / image->m_scale};
    image->m_bitmap = std::move(bitmap);
    return image;
}

Result<Data> imagePNGRepresentation(const Image& image) {
    if (!image.bitmap()) {
        return Error("ImageErrorDomain", 2, "image without pixels");
    }
    return image.bitmap()->encodePNG();
}

} // namespace murmelo
