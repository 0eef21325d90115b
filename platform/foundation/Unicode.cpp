#include "platform/foundation/Unicode.h"

#include "platform/core/Text.h"

namespace murmelo::unicode {

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        char32_t cp;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(extra) >= n) {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((d & 0xC0) != 0x80) {
                return false;
            }
            cp = cp << 6 | (d & 0x3F);
        }
        static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

std::string utf16ToUtf8(std::string_view bytes, ByteOrder order) {
    std::string out;
    out.reserve(bytes.size());
    const size_t units = bytes.size() / 2;
    auto unit = [&](size_t k) -> char16_t {
        auto hi = static_cast<unsigned char>(bytes[2 * k]);
        auto lo = static_cast<unsigned char>(bytes[2 * k + 1]);
        if (order == ByteOrder::LittleEndian) {
            std::swap(hi, lo);
        }
        return static_cast<char16_t>(hi << 8 | lo);
    };
    for (size_t k = 0; k < units; ++k) {
        char16_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
            char16_t next = unit(k + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                text::appendUtf8(out,
                                 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (next - 0xDC00));
                ++k;
                continue;
            }
        }
        text::appendUtf8(out, u); // lone surrogates turn into U+FFFD there
    }
    return out;
}

} // namespace murmelo::unicode
