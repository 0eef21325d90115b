#include "platform/graphics/ImageDecoder.h"

#include <cairo.h>
#include <gif_lib.h>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>
#include <optional>

#include <jpeglib.h>

#include "platform/graphics/Image.h"
#include "platform/graphics/internal/CairoSupport.h"

namespace murmelo {

namespace {

Error corrupt(const std::string& what) {
    return Error(graphics::kErrorDomain, graphics::kErrorCorrupt, what);
}

Error badSize(std::uint64_t width, std::uint64_t height) {
    return Error(graphics::kErrorDomain, graphics::kErrorBadSize,
                 "image of " + std::to_string(width) + " by " + std::to_string(height) + " pixels refused");
}

std::uint32_t packOpaque(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return 0xFF000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b;
}

// ---- PNG

struct ByteReader {
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
};

cairo_status_t readPNGBytes(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<ByteReader*>(closure);
    if (reader->bytes.size() - reader->position < length) {
        return CAIRO_STATUS_READ_ERROR;
    }
    std::memcpy(data, reader->bytes.data() + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

Result<Bitmap> decodePNG(std::span<const std::uint8_t> bytes) {
    ByteReader reader{bytes};
    graphics::SurfacePtr decoded(cairo_image_surface_create_from_png_stream(readPNGBytes, &reader));
    if (cairo_surface_status(decoded.get()) != CAIRO_STATUS_SUCCESS) {
        return corrupt(std::string("PNG does not decode: ") +
                       cairo_status_to_string(cairo_surface_status(decoded.get())));
    }
    int width = cairo_image_surface_get_width(decoded.get());
    int height = cairo_image_surface_get_height(decoded.get());
    MURMELO_TRY_VALUE(auto bitmap, Bitmap::create(std::uint32_t(width), std::uint32_t(height)));
    // Whatever format Cairo chose (RGB24 for opaque pictures), copy through
    // a paint so the result is always premultiplied ARGB.
    graphics::SurfacePtr target = graphics::wrapPixels(bitmap);
    graphics::ContextPtr cr(cairo_create(target.get()));
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr.get(), decoded.get(), 0, 0);
    cairo_paint(cr.get());
    cr.reset();
    cairo_surface_flush(target.get());
    return bitmap;
}

// ---- JPEG

struct JPEGErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool tooManyScans;
};

void jpegErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<JPEGErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

void jpegQuietMessage(j_common_ptr, int) {}

// Progressive files can carry any number of scans; past this many the file is
// built to waste time, not to show a picture.
constexpr int kMaxJPEGScans = 500;

void jpegProgress(j_common_ptr info) {
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxJPEGScans) {
        reinterpret_cast<JPEGErrorManager*>(info->err)->tooManyScans = true;
        (*info->err->error_exit)(info);
    }
}

struct JPEGOutcome {
    int status = 0; // 0 ok, 1 libjpeg error, 2 refused size
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The decoder proper. It longjmps out of libjpeg on errors, so nothing in
// this frame may own resources with destructors: the bitmap lives in the
// caller's frame and is made through `allocate`.
JPEGOutcome runJPEG(std::span<const std::uint8_t> bytes, std::optional<Bitmap>& out,
                    JPEGErrorManager& errors) {
    JPEGOutcome outcome;
    jpeg_decompress_struct info;
    jpeg_progress_mgr progress;
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jpegErrorExit;
    errors.pub.emit_message = jpegQuietMessage;
    errors.message[0] = 0;
    errors.tooManyScans = false;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return JPEGOutcome{1, 0, 0};
    }
    jpeg_create_decompress(&info);
    progress.progress_monitor = jpegProgress;
    info.progress = &progress;
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    outcome.width = info.image_width;
    outcome.height = info.image_height;
    if (!Bitmap::isAcceptableSize(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        outcome.status = 2;
        return outcome;
    }
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);
    out.emplace(Bitmap::create(info.output_width, info.output_height).value());
    int components = info.output_components;
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.output_width * JDIMENSION(components), 1);
    while (info.output_scanline < info.output_height) {
        JDIMENSION y = info.output_scanline;
        if (jpeg_read_scanlines(&info, row, 1) != 1) {
            break;
        }
        std::uint32_t* target = out->mutablePixels() + std::size_t(y) * out->width();
        const JSAMPLE* source = row[0];
        for (JDIMENSION x = 0; x < info.output_width; ++x, source += components) {
            if (cmyk) {
                // Adobe writes CMYK inverted: the stored values are 255 - ink.
                unsigned k = source[3];
                target[x] = packOpaque(std::uint8_t(source[0] * k / 255), std::uint8_t(source[1] * k / 255),
                                       std::uint8_t(source[2] * k / 255));
            } else if (components == 3) {
                target[x] = packOpaque(source[0], source[1], source[2]);
            } else {
                target[x] = packOpaque(source[0], source[0], source[0]);
            }
        }
    }
    jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    return outcome;
}

Result<Bitmap> decodeJPEG(std::span<const std::uint8_t> bytes) {
    std::optional<Bitmap> bitmap;
    JPEGErrorManager errors;
    JPEGOutcome outcome = runJPEG(bytes, bitmap, errors);
    if (outcome.status == 2) {
        return badSize(outcome.width, outcome.height);
    }
    if (outcome.status == 1 || !bitmap) {
        return corrupt(errors.tooManyScans ? std::string("JPEG with too many scans")
                                           : std::string("JPEG does not decode: ") + errors.message);
    }
    return std::move(*bitmap);
}

// ---- GIF

int readGIFBytes(GifFileType* gif, GifByteType* data, int length) {
    auto* reader = static_cast<ByteReader*>(gif->UserData);
    std::size_t available = reader->bytes.size() - reader->position;
    std::size_t count = length < 0 ? 0 : std::min<std::size_t>(available, std::size_t(length));
    std::memcpy(data, reader->bytes.data() + reader->position, count);
    reader->position += count;
    return int(count);
}

struct GIFCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

Result<Bitmap> decodeGIF(std::span<const std::uint8_t> bytes) {
    ByteReader reader{bytes};
    int error = 0;
    std::unique_ptr<GifFileType, GIFCloser> gif(DGifOpen(&reader, readGIFBytes, &error));
    if (!gif) {
        return corrupt(std::string("GIF does not open: ") + GifErrorString(error));
    }
    int transparent = -1;
    while (true) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            return corrupt("GIF truncated before its first picture");
        }
        if (type == TERMINATE_RECORD_TYPE) {
            return corrupt("GIF without a picture");
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
                return corrupt("GIF extension does not read");
            }
            // Graphic control block: flags, delay (2 bytes), transparent index.
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                transparent = (block[1] & 0x01) ? block[4] : -1;
            }
            while (block) {
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
                    return corrupt("GIF extension does not read");
                }
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) {
            continue;
        }
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
            return corrupt("GIF picture header does not read");
        }
        const GifImageDesc& frame = gif->Image;
        if (frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 || frame.Height <= 0 ||
            !Bitmap::isAcceptableSize(std::uint64_t(frame.Width), std::uint64_t(frame.Height))) {
            return badSize(std::uint64_t(std::max(frame.Width, 0)), std::uint64_t(std::max(frame.Height, 0)));
        }
        // A screen of no size (some encoders write one) takes the frame's.
        std::uint64_t canvasWidth = gif->SWidth > 0 ? std::uint64_t(gif->SWidth) : std::uint64_t(frame.Width);
        std::uint64_t canvasHeight =
            gif->SHeight > 0 ? std::uint64_t(gif->SHeight) : std::uint64_t(frame.Height);
        if (!Bitmap::isAcceptableSize(canvasWidth, canvasHeight)) {
            return badSize(canvasWidth, canvasHeight);
        }
        const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
        if (!colours) {
            return corrupt("GIF without colours");
        }
        MURMELO_TRY_VALUE(auto bitmap,
                          Bitmap::create(std::uint32_t(canvasWidth), std::uint32_t(canvasHeight)));
        std::vector<GifPixelType> line(std::size_t(frame.Width));
        auto putRow = [&](int row) {
            std::uint64_t y = std::uint64_t(frame.Top) + std::uint64_t(row);
            if (y >= canvasHeight) {
                return;
            }
            std::uint32_t* target = bitmap.mutablePixels() + y * canvasWidth;
            for (int i = 0; i < frame.Width; ++i) {
                std::uint64_t x = std::uint64_t(frame.Left) + std::uint64_t(i);
                int index = line[std::size_t(i)];
                if (x >= canvasWidth || index == transparent || index >= colours->ColorCount) {
                    continue;
                }
                const GifColorType& c = colours->Colors[index];
                target[x] = packOpaque(c.Red, c.Green, c.Blue);
            }
        };
        auto readRow = [&](int row) -> bool {
            if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) {
                return false;
            }
            putRow(row);
            return true;
        };
        bool complete = true;
        if (frame.Interlace) {
            static const int offsets[] = {0, 4, 2, 1};
            static const int steps[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4 && complete; ++pass) {
                for (int row = offsets[pass]; row < frame.Height && complete; row += steps[pass]) {
                    complete = readRow(row);
                }
            }
        } else {
            for (int row = 0; row < frame.Height && complete; ++row) {
                complete = readRow(row);
            }
        }
        if (!complete) {
            return corrupt("GIF picture data truncated");
        }
        return bitmap;
    }
}

} // namespace

Result<Bitmap> decodeImage(std::span<const std::uint8_t> bytes) {
    auto header = readImageHeader(bytes);
    if (!header) {
        return Error(graphics::kErrorDomain, graphics::kErrorNotAnImage,
                     header.error().localizedDescription());
    }
    // The declared size is checked before any decoder allocates for it.
    if (!Bitmap::isAcceptableSize(header->pixelWidth, header->pixelHeight)) {
        return badSize(header->pixelWidth, header->pixelHeight);
    }
    switch (header->format) {
    case ImageFormat::PNG:
        return decodePNG(bytes);
    case ImageFormat::JPEG:
        return decodeJPEG(bytes);
    case ImageFormat::GIF:
        return decodeGIF(bytes);
    case ImageFormat::None:
        break;
    }
    return Error(graphics::kErrorDomain, graphics::kErrorNotAnImage, "not a PNG, JPEG or GIF image");
}

} // namespace murmelo
