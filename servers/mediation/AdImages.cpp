#include "servers/mediation/AdImages.h"

#include <cairo.h>

#include <memory>

#include "platform/core/Text.h"

namespace murmelo::servers {

namespace {

struct Rgb {
    double r = 0.5, g = 0.5, b = 0.5;
};

Rgb parseColor(std::string_view text) {
    Rgb rgb;
    if (text.size() != 7 || text[0] != '#') {
        return rgb;
    }
    int values[3];
    for (int i = 0; i < 3; ++i) {
        int high = text::hexDigitValue(text[1 + 2 * i]);
        int low = text::hexDigitValue(text[2 + 2 * i]);
        if (high < 0 || low < 0) {
            return Rgb{};
        }
        values[i] = high * 16 + low;
    }
    return {values[0] / 255.0, values[1] / 255.0, values[2] / 255.0};
}

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

Result<std::string> encode(cairo_surface_t* surface) {
    std::string png;
    cairo_surface_flush(surface);
    cairo_status_t status = cairo_surface_write_to_png_stream(surface, appendBytes, &png);
    if (status != CAIRO_STATUS_SUCCESS) {
        return Error("MurmeloAdImages", status, cairo_status_to_string(status));
    }
    return png;
}

// Centres `text` at (cx, cy), shrinking the font until it fits `maxWidth`.
void centredText(cairo_t* cr, std::string_view text, double cx, double cy, double size, double maxWidth) {
    std::string line(text);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_text_extents_t extents;
    for (; size > 6; size -= 1) {
        cairo_set_font_size(cr, size);
        cairo_text_extents(cr, line.c_str(), &extents);
        if (extents.width <= maxWidth) {
            break;
        }
    }
    cairo_move_to(cr, cx - extents.width / 2 - extents.x_bearing,
                  cy - extents.height / 2 - extents.y_bearing);
    cairo_show_text(cr, line.c_str());
}

Result<std::pair<Surface, Context>> canvas(int width, int height) {
    if (width <= 0 || height <= 0 || width > 2048 || height > 2048) {
        return Error("MurmeloAdImages", 1, "image size out of range");
    }
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy);
    Context cr(cairo_create(surface.get()), cairo_destroy);
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
        return Error("MurmeloAdImages", 2, cairo_status_to_string(cairo_status(cr.get())));
    }
    return std::make_pair(std::move(surface), std::move(cr));
}

} // namespace

Result<std::string> bannerPng(std::string_view title, std::string_view color, int width, int height) {
    auto made = canvas(width, height);
    if (!made) {
        return made.error();
    }
    cairo_t* cr = made->second.get();
    Rgb base = parseColor(color);
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, height);
    cairo_pattern_add_color_stop_rgb(gradient, 0, base.r * 0.6 + 0.4, base.g * 0.6 + 0.4, base.b * 0.6 + 0.4);
    cairo_pattern_add_color_stop_rgb(gradient, 1, base.r, base.g, base.b);
    cairo_set_source(cr, gradient);
    cairo_paint(cr);
    cairo_pattern_destroy(gradient);
    cairo_set_source_rgb(cr, 1, 1, 1);
    centredText(cr, title, width / 2.0, height / 2.0, height * 0.4, width - 16);
    return encode(made->first.get());
}

Result<std::string> iconPng(std::string_view letter, std::string_view color, int size) {
    auto made = canvas(size, size);
    if (!made) {
        return made.error();
    }
    cairo_t* cr = made->second.get();
    Rgb base = parseColor(color);
    cairo_set_source_rgb(cr, base.r, base.g, base.b);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    centredText(cr, letter, size / 2.0, size / 2.0, size * 0.6, size - 4);
    return encode(made->first.get());
}

Result<std::string> launchPng(std::string_view title, int width, int height) {
    auto made = canvas(width, height);
    if (!made) {
        return made.error();
    }
    cairo_t* cr = made->second.get();
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, height);
    cairo_pattern_add_color_stop_rgb(gradient, 0, 0.16, 0.2, 0.3);
    cairo_pattern_add_color_stop_rgb(gradient, 1, 0.06, 0.07, 0.12);
    cairo_set_source(cr, gradient);
    cairo_paint(cr);
    cairo_pattern_destroy(gradient);
    cairo_set_source_rgb(cr, 0.93, 0.93, 1);
    centredText(cr, title, width / 2.0, height * 0.45, width / 8.0, width - 40);
    return encode(made->first.get());
}

} // namespace murmelo::servers

// Cairo's text drawing loads fontconfig's configuration once per process and
// keeps it for the process's life; the leak checker would count it as a leak.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
