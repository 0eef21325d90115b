// JSON for the servers: replies and the configuration file, through the
// application's own JSON reader and writer. Thread-safe (a fresh reader or
// writer per call).
#pragma once

#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo::servers {

// Compact JSON text of a dictionary or array.
Result<std::string> jsonText(const Value& value);
// A JSON reply body; values the servers build are always writable, so a
// failure (a programming error) becomes a logged {"code":500} object.
std::string jsonReply(const Value& value);
// Parses an object or array.
Result<Value> parseJson(std::string_view text);

} // namespace murmelo::servers
