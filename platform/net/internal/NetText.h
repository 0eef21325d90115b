// Small text helpers shared by the network classes (URL, cookies, proxies,
// connect-to rules). Not API: callers outside platform/net use the classes.
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/AsciiText.h"

namespace murmelo::net_internal {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUTF8(std::string_view bytes);

char asciiLower(char c);
std::string asciiLowercase(std::string_view text);
using text::equalsIgnoringASCIICase;
bool isASCIIDigit(char c);
bool isASCIIAlpha(char c);

using text::trimBlanks;
// Blanks, tabs, CR and LF removed from both ends.
std::string_view trimWhitespace(std::string_view text);

// A decimal port 0..65535 made only of digits (at least one, at most five
// significant ones); anything else gives nothing.
std::optional<int> parsePort(std::string_view text);

// IP literals. `isIPv6Literal` takes the address without brackets.
bool isIPv4Literal(std::string_view text);
bool isIPv6Literal(std::string_view text);
// The address as 4 or 16 bytes, or nothing.
std::optional<std::vector<std::uint8_t>> ipAddressBytes(std::string_view text);

} // namespace murmelo::net_internal
