// libFuzzer target: the reply head as the transport parses it (status line,
// header lines, folding) and the charset lookup the request makes from it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/http/StringEncoding.h"
#include "platform/net/TransportResponse.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t lineEnd = text.find('\n');
    auto head = TransportResponse::fromStatusLine(text.substr(0, lineEnd));
    if (head && (head->statusCode < 100 || head->statusCode > 999)) {
        std::abort();
    }
    TransportResponse response = head.value_or(TransportResponse());
    std::size_t lines = 0;
    while (lineEnd != std::string_view::npos) {
        text.remove_prefix(lineEnd + 1);
        lineEnd = text.find('\n');
        lines += response.addHeaderLine(text.substr(0, lineEnd)) ? 1 : 0;
    }
    if (response.headerFields.size() > lines) {
        std::abort();
    }
    for (const auto& [name, value] : response.headerFields) {
        if (name.empty() || name.find(':') != std::string::npos) {
            std::abort(); // a field name never holds its own separator
        }
        (void)response.headerValue(name);
    }
    if (response.mergedHeaderFields().size() > response.headerFields.size()) {
        std::abort();
    }
    if (auto type = response.headerValue("Content-Type")) {
        (void)stringEncodingForIANAName(*type);
    }
    return 0;
}
