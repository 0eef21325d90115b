// libFuzzer target: arbitrary bytes as the iAd host's ad reply. Every input
// must give an ad with web addresses or the banner's server-failure error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/iad/ADBannerView.h"

using namespace murmelo;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool isWeb(const URL& url) {
    return url.scheme() && (*url.scheme() == "http" || *url.scheme() == "https") && url.host() &&
           !url.host()->empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto ad = parseADBannerReply(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!ad) {
        check(ad.error().domain() == kADErrorDomain &&
              ad.error().code() == static_cast<long>(ADError::ServerFailure));
        return 0;
    }
    check(isWeb(ad->imageURL) && isWeb(ad->clickURL));
    return 0;
}
