// libFuzzer target: arbitrary bytes as an AdMob or AdSense ad reply. Every
// input must give an ad with web addresses or the client's bad-reply error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/ads/clients/NetworkBannerView.h"

using namespace murmelo;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool isWeb(const URL& url) {
    return url.scheme() && (*url.scheme() == "http" || *url.scheme() == "https");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto ad = parseNetworkAd(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!ad) {
        check(ad.error().domain() == kNetworkBannerErrorDomain &&
              ad.error().code() == static_cast<long>(NetworkBannerError::BadReply));
        return 0;
    }
    check(isWeb(ad->imageURL) && isWeb(ad->clickURL));
    return 0;
}
