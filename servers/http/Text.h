// Text helpers of the servers: UTF-8 checks, Unicode-aware trimming, HTML
// escaping and percent-encoding for the pages and replies they write.
// Pure functions; thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/web/HtmlEscape.h"

namespace murmelo::servers {

bool isValidUtf8(std::string_view text);
// Number of code points. REQUIRES: isValidUtf8(text).
size_t codePointCount(std::string_view text);
// Drops white space at both ends: ASCII blanks and line breaks, and the
// Unicode spaces (no-break, ideographic, the en/em family, line/paragraph
// separators, zero-width space and BOM). REQUIRES: isValidUtf8(text).
std::string trimWhitespace(std::string_view text);

// Whether the text holds a C0 control character other than tab, line feed
// and carriage return, or DEL: bytes no page can show and no form sends
// when a person types.
bool hasControlCharacters(std::string_view text);

// The device's HTML escaping (& < > " '), shared with the web view.
using murmelo::htmlEscape;
// htmlEscape for text of unknown origin: control characters (as above)
// become U+FFFD, so none reaches a page raw, whatever was stored.
std::string htmlEscapeText(std::string_view text);
// Escapes & < > for XML element text.
std::string xmlEscape(std::string_view text);

// Percent-encodes every byte except the unreserved A-Z a-z 0-9 - . _ ~.
std::string percentEncode(std::string_view text);
// Decodes %XX escapes (and "+" as a blank when asked); nothing on a
// malformed escape.
enum class PlusAsSpace { No, Yes };
std::optional<std::string> percentDecode(std::string_view text, PlusAsSpace plus);

std::string hexEncode(std::string_view bytes);
// Nothing for an odd length or a non-hex digit.
std::optional<std::string> hexDecode(std::string_view hex);

// "just now", "5 minutes ago", "yesterday", "3 days ago", ...
std::string describeAge(double seconds);
// How much older than `seconds` a text can get before describeAge words it
// differently (always more than 0).
double secondsUntilAgeChanges(double seconds);

} // namespace murmelo::servers
