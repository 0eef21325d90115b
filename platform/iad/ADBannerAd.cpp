#include "platform/iad/ADBannerAd.h"

#include "platform/core/Text.h"
#include "platform/iad/ADBannerView.h"

namespace murmelo {

namespace {

Error replyError(std::string text) {
    return Error(kADErrorDomain, static_cast<long>(ADError::ServerFailure), std::move(text));
}

std::optional<URL> webAddress(const std::string& text) {
    auto url = URL::strictParse(text);
    if (!url || !url->scheme() || (*url->scheme() != "http" && *url->scheme() != "https") || !url->host() ||
        url->host()->empty()) {
        return std::nullopt;
    }
    return url;
}

} // namespace

Result<ADBannerAd> parseADBannerReply(std::string_view body) {
    if (body.size() > kADBannerReplyLimit) {
        return replyError("The ad reply is too long");
    }
    std::optional<std::string> adId, image, click, text;
    while (!body.empty()) {
        size_t amp = body.find('&');
        std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
            return replyError("The ad reply is not a list of fields");
        }
        auto value = text::percentDecoded(pair.substr(equals + 1));
        if (!value) {
            return replyError("The ad reply has a badly escaped field");
        }
        std::string_view key = pair.substr(0, equals);
        std::optional<std::string>* slot = key == "ad_id"       ? &adId
                                           : key == "img_url"   ? &image
                                           : key == "click_url" ? &click
                                           : key == "text"      ? &text
                                                                : nullptr;
        if (slot && !*slot) {
            *slot = std::move(*value); // the first of repeated fields counts
        }
    }
    auto imageURL = image ? webAddress(*image) : std::nullopt;
    auto clickURL = click ? webAddress(*click) : std::nullopt;
    if (!imageURL || !clickURL) {
        return replyError("The ad reply has no usable image or link");
    }
    return ADBannerAd{adId.value_or(""), std::move(*imageURL), std::move(*clickURL), text.value_or("")};
}

} // namespace murmelo
