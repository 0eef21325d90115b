// StringsFile: reads a localised strings table ("Localizable.strings").
//
// Accepted forms:
//  - the platform's text form: "key" = "value"; pairs, C and C++ comments,
//    optional surrounding braces, "key"; alone meaning key = key, unquoted
//    words of letters, digits and _$+/:.- , escapes \" \\ \' \n \t \r \a \b
//    \f \v, octal \ooo and \UXXXX (UTF-16 units, surrogate pairs joined);
//  - encoded as UTF-8 (BOM optional) or UTF-16 with a byte-order mark;
//  - or a property list (XML or binary) whose top level is a dictionary of
//    strings.
// Anything else is an error naming the line. A later duplicate key wins.
// Stateless; thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/core/Result.h"

namespace murmelo {

using StringsTable = std::unordered_map<std::string, std::string>;

Result<StringsTable> parseStringsFile(std::string_view bytes);

} // namespace murmelo
