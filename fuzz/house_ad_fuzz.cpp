// libFuzzer target: arbitrary bytes as a house-ad reply. Every input must
// parse or give one of the house ad's data errors (50, 60); a parsed ad
// always has its integers in range and an http(s) image address.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/ads/AdWhirlError.h"
#include "app/ads/adapters/AdWhirlAdapterCustom.h"

using namespace murmelo;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto parsed = parseCustomAdData(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed) {
        const long code = parsed.error().code();
        check(parsed.error().domain() == kAdWhirlErrorDomain && (code == 50 || code == 60));
        return 0;
    }
    const auto& content = parsed->content;
    check(content.adType > 0 && content.adType < 6);
    check(content.launchType > 0 && content.launchType < 4);
    check(content.animType > -1 && content.animType < 10);
    std::string scheme = parsed->imageURL.scheme().value_or("");
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    check(scheme == "http" || scheme == "https");
    return 0;
}
