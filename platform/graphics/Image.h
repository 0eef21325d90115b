// Image: a picture the screen can show — named from the app's bundle, read
// from a file, made from downloaded bytes, or drawn in code with a size.
//
// An image knows its name, its size in points, its scale (2 for "@2x"
// files), its pixels and, when it came from bytes, those bytes and their
// format. PNG, JPEG and GIF bytes are decoded when the image is made, so
// bytes that do not decode give no image at all (never a crash); an image
// of a size only (imageWithSize) has no pixels.
//
// Immutable and shared (std::shared_ptr<const Image>); thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/core/Result.h"
#include "platform/core/Value.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Geometry.h"

namespace murmelo {

enum class ImageFormat { None, PNG, JPEG, GIF };

const char* imageFormatName(ImageFormat format);

struct ImageHeader {
    ImageFormat format = ImageFormat::None;
    std::uint32_t pixelWidth = 0;
    std::uint32_t pixelHeight = 0;
};

// Reads the format and pixel size from the first bytes of PNG, JPEG or GIF
// data. Untrusted input: anything else, truncated or zero-sized is an error.
Result<ImageHeader> readImageHeader(std::span<const std::uint8_t> bytes);

class Image {
public:
    // "name" or "name.png" from the main bundle, preferring "name@2x.png" on
    // a screen of scale 2 (see Bundle::pathForImageNamed). Nothing when no
    // such file exists or it is not a picture.
    static std::shared_ptr<const Image> imageNamed(const std::string& name);
    // Nothing when the file cannot be read or is not a picture. A file name
    // with "@2x." has scale 2.
    static std::shared_ptr<const Image> imageWithContentsOfFile(const std::string& path);
    // Nothing when the bytes are not a picture.
    static std::shared_ptr<const Image> imageWithData(Data data, double scale = 1);
    // An image of the given size in points without pixels (a stand-in
    // where only the size matters).
    static std::shared_ptr<const Image> imageWithSize(std::string name, Size size, double scale = 1);
    // An image of drawn pixels (an offscreen drawing context makes these);
    // its size is the bitmap's divided by the scale.
    static std::shared_ptr<const Image> imageWithBitmap(std::shared_ptr<const Bitmap> bitmap,
                                                        double scale = 1, std::string name = {});

    // The name it was asked for, the file name, or the given name.
    const std::string& name() const { return m_name; }
    Size size() const { return m_size; }
    double scale() const { return m_scale; }
    const std::optional<std::string>& path() const { return m_path; }
    ImageFormat format() const { return m_format; }
    // The encoded bytes, when the image was made from bytes or a file.
    const Data& data() const { return m_data; }
    // The decoded or drawn pixels; null for an image of a size only.
    const std::shared_ptr<const Bitmap>& bitmap() const { return m_bitmap; }

private:
    Image() = default;
    static std::shared_ptr<const Image> fromBytes(std::string name, Data bytes, double scale,
                                                  std::optional<std::string> path);

    std::string m_name;
    Size m_size;
    double m_scale = 1;
    std::optional<std::string> m_path;
    ImageFormat m_format = ImageFormat::None;
    Data m_data;
    std::shared_ptr<const Bitmap> m_bitmap;
};

// UIImagePNGRepresentation: the pixels as a PNG file; an error for an image
// without pixels.
Result<Data> imagePNGRepresentation(const Image& image);

} // namespace murmelo
