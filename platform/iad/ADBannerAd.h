// ADBannerAd: one ad as the iAd host hands it out — a form-encoded reply
// "ad_id=N&img_url=URL&click_url=URL&text=TEXT" (percent-escaped values).
// Both addresses must be http or https; the text may be empty. The reply
// comes from the network, so anything else is an error, never a crash.
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/net/URL.h"

namespace murmelo {

struct ADBannerAd {
    std::string adId;
    URL imageURL;
    URL clickURL;
    std::string text;
};

// At most this many bytes of reply are read.
inline constexpr size_t kADBannerReplyLimit = 16 * 1024;

Result<ADBannerAd> parseADBannerReply(std::string_view body);

} // namespace murmelo
