// ShareFTObjJsonWriter: the compact JSON writer of the share record's
// Facebook attachment. Its rules are its own, not the JSON library's:
// no white space at all; strings are double-quoted script strings
// (text::appendScriptString): "/" is escaped as "\/" besides the quote, the
// backslash and \b \f \n \r \t; other control characters as \u00XX and
// U+2028/U+2029 as \u2028/\u2029; every other character goes out as UTF-8,
// so the text is always valid JSON and a valid script literal; numbers in
// their decimal form, booleans true/false, null null.
//
// Stateless; thread-safe. Members of an object are written in the
// dictionary's order.
//
//   writeShareJson(Value(Dictionary{{"href", "http://a/b"}}));   // {"href":"http:\/\/a\/b"}
#pragma once

#include <string>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo {

// Errors: "Cannot serialize data of type '<type>'" for data and dates;
// "Could not serialize object '<value>'" for a string that is not UTF-8 or
// a number that is not finite.
Result<std::string> writeShareJson(const Value& value);

// The string rules alone: `text` between quotes, escaped as described.
// REQUIRES: `text` is valid UTF-8.
void appendShareJsonString(std::string& out, std::string_view text);

} // namespace murmelo
