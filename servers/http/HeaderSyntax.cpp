#include "servers/http/HeaderSyntax.h"

#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

Result<std::pair<std::string_view, std::string_view>> splitHeaderLine(std::string_view line) {
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        return httpRefusal(400, "folded header line");
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return httpRefusal(400, "header line without a colon");
    }
    std::string_view name = line.substr(0, colon);
    if (!isHttpToken(name)) {
        return httpRefusal(400, "malformed header name");
    }
    std::string_view value = trimBlanks(line.substr(colon + 1));
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f) {
            return httpRefusal(400, "control character in header value");
        }
    }
    return std::pair{name, value};
}

} // namespace murmelo::servers
