// JSON for the servers: replies and the configuration file, read and written
// with nlohmann::json, so the servers never share the application's reader or
// writer with it. Objects keep their key order both ways. Thread-safe (nothing
// is kept between calls).
//
// Reading: numbers with a fraction or an exponent become exact decimals
// ("45.0" is written back as 45), integers stay integers; a repeated key keeps
// its first position and its last value; the text ends at its first zero
// byte; nesting deeper than kMaxJsonDepth is refused.
// Writing: text as nlohmann writes it compactly (no blanks, "/" and non-ASCII
// as they are); strings and keys must be UTF-8, numbers finite; data and dates
// have no JSON form.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo::servers {

inline constexpr int kMaxJsonDepth = 512;

// Compact JSON text of a dictionary or array.
Result<std::string> jsonText(const Value& value);
// A JSON reply body; values the servers build are always writable, so a
// failure (a programming error) becomes a logged {"code":500} object.
std::string jsonReply(const Value& value);
// Parses an object or array.
Result<Value> parseJson(std::string_view text);

} // namespace murmelo::servers
