// HeaderSyntax: the byte rules of HTTP/1.1 header fields (RFC 9110/9112),
// shared by request heads, chunked trailers and multipart part headers.
// Strict on purpose: a byte two parsers read differently (a NUL, a bare CR,
// a folded line, a blank before the colon) is how a request gets smuggled
// past a proxy, so such a field is refused rather than guessed at.
#pragma once

#include <string_view>
#include <utility>

#include "platform/core/AsciiText.h"
#include "platform/core/Result.h"

namespace murmelo::servers {

using text::isHttpToken;
using text::isHttpTokenChar;
using text::trimBlanks;

// Splits one header line (without its line break) into name and value, the
// value without surrounding blanks. Refuses (400) an empty or non-token name,
// a blank before the colon, a line starting with a blank (obsolete folding)
// and any control byte in the value other than a tab (NUL, CR, LF, DEL).
Result<std::pair<std::string_view, std::string_view>> splitHeaderLine(std::string_view line);

// Equal ignoring ASCII case.
inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return text::equalsIgnoringASCIICase(a, b);
}

} // namespace murmelo::servers
