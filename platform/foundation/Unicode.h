// Unicode: UTF-8 checks and UTF-16 → UTF-8 conversion shared by the property
// list and strings-table readers (one code point's UTF-8: platform/core/Text.h). Stateless; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace murmelo::unicode {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

enum class ByteOrder { BigEndian, LittleEndian };

// Converts UTF-16 code units (an odd trailing byte is ignored); an unpaired
// surrogate becomes U+FFFD, as the platform's lossy conversion does.
std::string utf16ToUtf8(std::string_view bytes, ByteOrder order);

} // namespace murmelo::unicode
