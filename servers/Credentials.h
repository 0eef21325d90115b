// Credentials: hides what would let a reader of the event log act as a
// client — passwords, tokens, session keys, cookies, authorization — before
// the admin host or the demo shows an event. Names stay, values become
// "***", so a reader still sees that the client sent them.
//
//   RecordedEvent shown = maskCredentials(event);
//
// A field or key names a credential when its last component (`user[password]`
// → "password", `auth.token` → "token"), lower-cased with "-" read as "_",
// holds "password", "passwd", "token", "apikey" or "api_key", ends in
// "secret", or is "pass", "pwd", "pin", "auth", "credentials", "session",
// "session_key" or "sessionkey". "secret_id" is not one.
//
// Masked: such query and url-encoded body fields, JSON members (also in a
// body cut off by the log's limits), multipart parts, headers of such names;
// every Cookie value and the value of Set-Cookie; Authorization and
// Proxy-Authorization whole. Pure functions of untrusted bytes: never fail,
// keep every other byte as it was.
#pragma once

#include <string>
#include <string_view>

#include "servers/EventLog.h"

namespace murmelo::servers {

inline constexpr std::string_view kMaskedValue = "***";

bool isCredentialName(std::string_view name);
// "a=1&password=x" → "a=1&password=***"; names are read percent-decoded.
std::string maskFormCredentials(std::string_view form);
// {"user":"a","token":"x"} → {"user":"a","token":"***"}; a masked member's
// value is replaced whole (string, number, object or array) by "***".
std::string maskJsonCredentials(std::string_view json);
// The header's value as shown: masked whole, per cookie, or unchanged.
std::string maskHeaderValue(std::string_view name, std::string_view value);
RecordedEvent maskCredentials(RecordedEvent event);

} // namespace murmelo::servers
