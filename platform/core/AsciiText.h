// AsciiText: the byte-level text rules of HTTP, shared by the device's HTTP
// client and the reference servers. Only ASCII is looked at; other bytes
// are never letters, blanks or token characters. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace murmelo::text {

// HTTP's token characters (a method, a header or cookie name): letters,
// digits and !#$%&'*+-.^_`|~.
bool isHttpTokenChar(unsigned char c);
// Not empty and only token characters.
bool isHttpToken(std::string_view text);

// Without the blanks and horizontal tabs at both ends.
std::string_view trimBlanks(std::string_view text);

// Equal but for the case of ASCII letters.
bool equalsIgnoringASCIICase(std::string_view a, std::string_view b);

// Letters, digits and -._~: the bytes an address never needs to escape.
bool isUrlUnreserved(unsigned char c);

// Every byte but the unreserved ones as %XX (upper-case hex), so a value
// stays one value in a query or a form body whatever it holds.
std::string percentEncodedExceptUnreserved(std::string_view text);

} // namespace murmelo::text
