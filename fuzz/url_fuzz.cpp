// libFuzzer target: URL strict parsing, resolution and legacy escaping.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/net/URL.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    auto url = URL::strictParse(text);
    if (url) {
        if (url->absoluteString() != text) {
            std::abort();
        }
        (void)url->path();
        (void)url->requestTarget();
        (void)url->hostAndPort();
    }
    static const auto base = URL::strictParse("http://a/b/c/d;p?q");
    if (auto resolved = URL::resolve(*base, text)) {
        (void)resolved->host();
        (void)resolved->absoluteString();
    }
    std::string escaped = addingPercentEscapes(text);
    if (!URL::strictParse("http://h/?" + escaped)) {
        std::abort(); // escaping must give text a URL may hold
    }
    auto unescaped = replacingPercentEscapes(escaped);
    if (unescaped && *unescaped != text) {
        std::abort();
    }
    (void)replacingPercentEscapes(text);
    return 0;
}
