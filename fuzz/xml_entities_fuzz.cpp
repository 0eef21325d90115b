// libFuzzer target: the XML entity decoder and the cookie value coding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/base/NSStringHelper.h"
#include "platform/core/Log.h"
#include "platform/foundation/Unicode.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LogCapture quiet; // malformed references log; keep the fuzzer's output readable
    std::string text(reinterpret_cast<const char*>(data), size);
    const bool wasUtf8 = unicode::isValidUtf8(text);
    std::string once = stringByDecodingXMLEntities(text);
    if (wasUtf8 && !unicode::isValidUtf8(once)) {
        std::abort(); // a reference must never produce a broken character
    }
    if (text.find('&') == std::string::npos && once != text) {
        std::abort();
    }
    (void)stringByDecodingXMLEntitiesTwice(text);

    std::string encoded = encodedCookieValue(text);
    auto decoded = decodedCookieValue(encoded);
    if (wasUtf8 && text.find('+') == std::string::npos && decoded != text) {
        std::abort(); // encoding then decoding gives the text back
    }
    (void)decodedCookieValue(text);
    return 0;
}
