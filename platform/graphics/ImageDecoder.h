// Image decoding: PNG (through Cairo's reader over libpng), JPEG (libjpeg-
// turbo) and GIF (giflib; the first frame) from bytes into a Bitmap.
//
// Untrusted input: anything that is not one of the three formats, is
// truncated before its pixels, or declares a size Bitmap refuses gives an
// error — never a crash, and the size is checked before any pixel memory
// is allocated. A JPEG cut short inside its scans decodes as far as it goes
// (the rest grey), as browsers show it.
//
// Thread-safe: no shared state.
#pragma once

#include <cstdint>
#include <span>

#include "platform/core/Result.h"
#include "platform/graphics/Bitmap.h"

namespace murmelo {

Result<Bitmap> decodeImage(std::span<const std::uint8_t> bytes);

} // namespace murmelo
