// Image: a picture the screen can show — named from the app's bundle, read
// from a file, made from downloaded bytes, or drawn in code with a size.
//
// An image knows its name, its size in points, its scale (2 for "@2x"
// files) and, when it came from bytes, those bytes and their format. The
// header of PNG, JPEG and GIF data is read here to learn the pixel size;
// turning the pixels into a bitmap is the screen renderer's business.
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
#include "platform/ui/Geometry.h"

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
    // An image drawn in code, of the given size in points.
    static std::shared_ptr<const Image> imageWithSize(std::string name, Size size, double scale = 1);

    // The name it was asked for, the file name, or the given name.
    const std::string& name() const { return m_name; }
    Size size() const { return m_size; }
    double scale() const { return m_scale; }
    const std::optional<std::string>& path() const { return m_path; }
    ImageFormat format() const { return m_format; }
    // The encoded bytes, when the image was made from bytes or a file.
    const Data& data() const { return m_data; }

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
};

} // namespace murmelo
