// Decoding PNG, JPEG and GIF into pixels, PNG encoding, and bytes that must
// give no image: damaged, truncated, oversized.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/foundation/Bundle.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/ImageDecoder.h"
#include "tests/support/temporary_directory.h"

namespace murmelo {
namespace {

std::string dataPath(const std::string& name) {
    // The test data sits next to the tests in the source tree.
    return std::filesystem::path(MURMELO_SOURCE_DIR) / "tests" / "data" / "images" / name;
}

Data fileBytes(const std::string& name) {
    std::string text = test::readFile(dataPath(name));
    return Data(text.begin(), text.end());
}

Data bytes(std::string_view text) {
    return Data(text.begin(), text.end());
}

bool near(RGBA8 a, RGBA8 b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance && a.a == b.a;
}

TEST(ImageDecoder, DecodesEveryFormatToTheSamePixels) {
    const RGBA8 red{230, 20, 20, 255}, blue{20, 20, 230, 255};
    struct Case {
        const char* file;
        std::uint32_t width, height;
        RGBA8 left, right; // pixels (2, 4) and (13, 4)
        int tolerance;
    };
    const Case cases[] = {
        {"sample.jpg", 16, 8, red, blue, 12},
        {"sample_progressive.jpg", 16, 8, red, blue, 12},
        {"sample_gray.jpg", 16, 8, {40, 40, 40, 255}, {220, 220, 220, 255}, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto bitmap = decodeImage(fileBytes(c.file));
        ASSERT_TRUE(bitmap) << bitmap.error().localizedDescription();
        EXPECT_EQ(bitmap->width(), c.width);
        EXPECT_EQ(bitmap->height(), c.height);
        EXPECT_TRUE(near(bitmap->pixelAt(2, 4), c.left, c.tolerance));
        EXPECT_TRUE(near(bitmap->pixelAt(13, 4), c.right, c.tolerance));
    }
    // GIF rows red, green, blue and the transparent index, plain and
    // interlaced.
    for (const char* file : {"sample.gif", "sample_interlaced.gif"}) {
        SCOPED_TRACE(file);
        auto gif = decodeImage(fileBytes(file));
        ASSERT_TRUE(gif) << gif.error().localizedDescription();
        EXPECT_EQ(gif->pixelAt(1, 0), (RGBA8{255, 0, 0, 255}));
        EXPECT_EQ(gif->pixelAt(1, 1), (RGBA8{0, 255, 0, 255}));
        EXPECT_EQ(gif->pixelAt(1, 2), (RGBA8{0, 0, 255, 255}));
        EXPECT_EQ(gif->pixelAt(1, 3).a, 0);
    }
}

TEST(ImageDecoder, PNGRoundTripKeepsPixelsAndAlpha) {
    auto bitmap = Bitmap::create(3, 2).value();
    const RGBA8 colours[] = {{255, 0, 0, 255},     {0, 255, 0, 128},  {0, 0, 255, 0},
                             {255, 255, 255, 255}, {10, 20, 30, 200}, {0, 0, 0, 255}};
    for (std::uint32_t i = 0; i < 6; ++i) {
        bitmap.setPixel(i % 3, i / 3, colours[i]);
    }
    auto png = bitmap.encodePNG();
    ASSERT_TRUE(png);
    auto back = decodeImage(*png);
    ASSERT_TRUE(back);
    for (std::uint32_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        // Premultiplied storage loses a little precision at low alpha.
        EXPECT_TRUE(near(back->pixelAt(i % 3, i / 3), colours[i].a ? colours[i] : RGBA8{}, 2));
    }
    auto image = Image::imageWithData(*png);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->format(), ImageFormat::PNG);
    auto again = imagePNGRepresentation(*image);
    ASSERT_TRUE(again);
    EXPECT_EQ(Image::imageWithData(*again)->bitmap()->pixelAt(0, 0), (RGBA8{255, 0, 0, 255}));
    EXPECT_FALSE(imagePNGRepresentation(*Image::imageWithSize("drawn", Size{4, 4})));
}

// A PNG's signature and IHDR for a width and height, with nothing after.
std::string pngHeader(std::uint32_t width, std::uint32_t height) {
    std::string d = "\x89PNG\r\n\x1a\n";
    d += std::string("\0\0\0\x0dIHDR", 8);
    for (std::uint32_t v : {width, height}) {
        d += char(v >> 24), d += char(v >> 16), d += char(v >> 8), d += char(v);
    }
    d += std::string("\x08\x06\0\0\0", 5);
    d += "CRC!";
    return d;
}

TEST(ImageDecoder, BytesThatDoNotDecodeGiveNothing) {
    Data goodPNG = *Bitmap::create(4, 4).value().encodePNG();
    Data jpeg = fileBytes("sample.jpg");
    Data gif = fileBytes("sample.gif");
    Data badCRC = goodPNG;
    badCRC[40] ^= 0xFF; // inside the image data
    Data hugeGIF = gif;
    hugeGIF[6] = hugeGIF[7] = hugeGIF[8] = hugeGIF[9] = 0xFF; // a 65535 × 65535 screen
    Data hugeJPEG = jpeg;
    for (size_t i = 0; i + 8 < hugeJPEG.size(); ++i) {
        if (hugeJPEG[i] == 0xFF && hugeJPEG[i + 1] == 0xC0) { // start of frame: height, width
            hugeJPEG[i + 5] = hugeJPEG[i + 6] = hugeJPEG[i + 7] = hugeJPEG[i + 8] = 0xEE;
            break;
        }
    }
    Data gifWithoutPicture = bytes(std::string_view("GIF89a\x04\0\x04\0\0\0\0;", 13));
    Data jpegWithGarbage = Data(jpeg.begin(), jpeg.begin() + 20);
    jpegWithGarbage.insert(jpegWithGarbage.end(), 200, 0x42);
    struct Case {
        const char* name;
        Data bytes;
    };
    const Case cases[] = {
        {"nothing", {}},
        {"text", bytes("hello, world")},
        {"PNG header alone", bytes(pngHeader(320, 50))},
        {"PNG of 100000 × 100000 pixels", bytes(pngHeader(100000, 100000))},
        {"PNG of 9000 × 1 pixels", bytes(pngHeader(9000, 1))},
        {"PNG cut in half", Data(goodPNG.begin(), goodPNG.begin() + long(goodPNG.size() / 2))},
        {"PNG with damaged data", badCRC},
        {"JPEG cut inside its header", Data(jpeg.begin(), jpeg.begin() + 30)},
        {"JPEG of 61166 × 61166 pixels", hugeJPEG},
        {"JPEG with garbage for tables", jpegWithGarbage},
        {"GIF cut before its picture", Data(gif.begin(), gif.begin() + 30)},
        {"GIF of a 65535 × 65535 screen", hugeGIF},
        {"GIF without a picture", gifWithoutPicture},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(decodeImage(c.bytes));
        EXPECT_EQ(Image::imageWithData(c.bytes), nullptr);
    }
}

TEST(ImageDecoder, NamedImagesFromTheBundleCarryPixels) {
    test::TemporaryDirectory dir;
    auto red = Bitmap::create(2, 2).value();
    red.setPixel(0, 0, {255, 0, 0, 255});
    Data png = *red.encodePNG();
    test::writeFile(dir.file("dot.png"), std::string(png.begin(), png.end()));
    test::writeFile(dir.file("photo.jpg"), test::readFile(dataPath("sample.jpg")));
    test::writeFile(dir.file("broken.png"), pngHeader(2, 2));
    Bundle::setMainBundlePath(dir.path());
    auto dot = Image::imageNamed("dot");
    ASSERT_TRUE(dot && dot->bitmap());
    EXPECT_EQ(dot->bitmap()->pixelAt(0, 0), (RGBA8{255, 0, 0, 255}));
    auto photo = Image::imageNamed("photo.jpg");
    ASSERT_TRUE(photo && photo->bitmap());
    EXPECT_EQ(photo->size(), (Size{16, 8}));
    EXPECT_EQ(Image::imageNamed("broken"), nullptr);
}

} // namespace
} // namespace murmelo
