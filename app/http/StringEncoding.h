// StringEncoding: the text encodings the HTTP request decodes replies with
// and encodes form fields in, with the platform's numbering
// (NSStringEncoding) and IANA charset names. Stateless; thread-safe.
//
//   auto encoding = stringEncodingForIANAName("ISO-8859-1");   // ISOLatin1
//   auto text = decodeString(bytes, StringEncoding::UTF8);     // nothing if invalid
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Value.h"

namespace murmelo {

enum class StringEncoding : std::uint32_t {
    ASCII = 1,
    UTF8 = 4,
    ISOLatin1 = 5,
    WindowsCP1252 = 12,
    UTF16 = 10, // with a byte-order mark, big-endian without one
    UTF16BigEndian = 0x90000100,
    UTF16LittleEndian = 0x94000100,
};

// CFStringConvertIANACharSetNameToEncoding for the encodings above: the
// name (any letter case, surrounding blanks ignored) or one of its
// registered aliases; nothing for an unknown name.
std::optional<StringEncoding> stringEncodingForIANAName(std::string_view name);
// The IANA name in lower case: "utf-8", "iso-8859-1", ...
const char* ianaNameOfStringEncoding(StringEncoding encoding);

// The bytes as UTF-8 text; nothing when they are not valid in the encoding.
std::optional<std::string> decodeString(const std::uint8_t* bytes, std::size_t length,
                                        StringEncoding encoding);
inline std::optional<std::string> decodeString(const Data& bytes, StringEncoding encoding) {
    return decodeString(bytes.data(), bytes.size(), encoding);
}
// UTF-8 text in the encoding; nothing when the text is not valid UTF-8 or
// holds a character the encoding cannot represent.
std::optional<std::string> encodeString(std::string_view utf8, StringEncoding encoding);

} // namespace murmelo
