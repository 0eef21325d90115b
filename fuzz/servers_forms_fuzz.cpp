// Fuzzes the servers' parsers of request bytes: form and query decoding,
// the Cookie header, a status update body, percent and hex decoding, UTF-8
// checks and trimming. None may crash, and decoded fields must be UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "servers/http/FormFields.h"
#include "servers/http/Text.h"
#include "servers/thirdparty/TwitterStandIn.h"

using namespace murmelo::servers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto form = parseUrlEncoded(text)) {
        for (const auto& [name, value] : form->all()) {
            if (!isValidUtf8(name) || !isValidUtf8(value)) {
                std::abort();
            }
        }
    }
    (void)parseQueryLeniently(text);
    (void)parseCookieHeader(text);
    (void)TwitterStandIn::statusText(text);
    if (auto decoded = percentDecode(text, PlusAsSpace::Yes); decoded && decoded->size() > text.size()) {
        std::abort();
    }
    if (auto bytes = hexDecode(text); bytes && hexEncode(*bytes).size() != text.size()) {
        std::abort();
    }
    if (isValidUtf8(text)) {
        std::string trimmed = trimWhitespace(text);
        if (!isValidUtf8(trimmed) || codePointCount(trimmed) > codePointCount(text)) {
            std::abort();
        }
    }
    return 0;
}
