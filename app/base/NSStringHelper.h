// String helpers of the app's toolbox: the XML entity decoder and the cookie
// value coding. Free functions over UTF-8 text; stateless and thread-safe
// (the decoder's only side effect is its log line for a malformed numeric
// reference).
//
//   stringByDecodingXMLEntities("&lt;b&gt; &#65;&#x42;");   // "<b> AB"
//   decodedCookieValue("a+b%20c");                           // "a b c"
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace murmelo {

// Decodes "&amp;", "&apos;", "&quot;", "&lt;", "&gt;" (any letter case) and
// numeric references ("&#65;", "&#x41;", the ";" optional). Text without "&"
// comes back unchanged. A numeric reference to something that is not a
// character (0, a surrogate, a negative number or anything above U+10FFFF)
// becomes U+FFFD, so the result is always valid UTF-8 when the input is. A
// reference without digits stays as written and is logged; any other entity
// passes through unchanged.
std::string stringByDecodingXMLEntities(std::string text);
// The decoder applied twice, for text that was escaped twice.
std::string stringByDecodingXMLEntitiesTwice(std::string text);

// The device's legacy URL escaping in UTF-8 (the parameter block's escaping).
std::string encodedCookieValue(std::string_view text);
// Percent escapes decoded as UTF-8, then every "+" replaced by a blank.
// Nothing when an escape is malformed or the bytes are not UTF-8.
std::optional<std::string> decodedCookieValue(std::string_view text);

} // namespace murmelo
