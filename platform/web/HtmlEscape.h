// HTML escaping for markup that pages and servers write: & < > " ' become
// entities, so the text is safe as element text and in quoted attribute
// values alike. Stateless; any thread.
#pragma once

#include <string>
#include <string_view>

namespace murmelo {

std::string htmlEscape(std::string_view text);

} // namespace murmelo
