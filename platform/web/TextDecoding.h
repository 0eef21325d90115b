// TextDecoding: a page's bytes to UTF-8. The charset comes from the
// Content-Type header, else a byte-order mark, else a <meta charset> or
// <meta http-equiv="Content-Type"> in the first 1024 bytes, else the bytes
// themselves (UTF-8 when they are valid UTF-8, windows-1252 otherwise).
// Bytes that are invalid in the charset become U+FFFD; nothing fails.
//
// UTF-8, US-ASCII, ISO-8859-1 and windows-1252 (the first two labels read as
// the third, as browsers do) are decoded here; other charsets go through
// glibc's iconv, and an unknown label falls back to the sniffed charset.
// Pure functions; thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace murmelo::web {

struct DecodedText {
    std::string utf8;
    std::string charset; // the canonical name used ("utf-8", "windows-1252", ...)
};

// `headerCharset`: the charset parameter of the Content-Type header, if any.
DecodedText decodeDocument(std::string_view bytes, const std::optional<std::string>& headerCharset);

// The charset named by a <meta> in the first 1024 bytes, if any (lower-cased label).
std::optional<std::string> sniffMetaCharset(std::string_view bytes);

// Valid UTF-8 with every invalid sequence replaced by U+FFFD.
std::string sanitizeUTF8(std::string_view bytes);

} // namespace murmelo::web
