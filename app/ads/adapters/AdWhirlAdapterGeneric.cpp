#include "app/ads/adapters/AdWhirlAdapterGeneric.h"

#include "app/ads/AdWhirlAdNetworkConfig.h"
#include "app/ads/AdWhirlDelegate.h"
#include "app/ads/AdWhirlLog.h"
#include "app/ads/AdWhirlView.h"

namespace murmelo {

AdWhirlAdapterClass AdWhirlAdapterGeneric::adapterClass() {
    return adapterClassOf<AdWhirlAdapterGeneric>("AdWhirlAdapterGeneric");
}

void AdWhirlAdapterGeneric::getAd() {
    auto banner = adWhirlView();
    auto owner = adWhirlDelegate();
    if (!banner) {
        return;
    }
    auto self = shared_from_this(); // the banner may let go of this adapter while it hears the answer
    if (owner && owner->adWhirlReceivedRequestForDeveloperToFufill(*banner)) {
        banner->adapterDidFinishAdRequest(*this);
        return;
    }
    AWLogWarn("Delegate does not implement adWhirlReceivedRequestForDeveloperToFufill");
    banner->didFailAd(*this, std::nullopt);
}

AdWhirlAdapterClass AdWhirlAdapterEvent::adapterClass() {
    return adapterClassOf<AdWhirlAdapterEvent>("AdWhirlAdapterEvent");
}

std::optional<std::string> AdWhirlAdapterEvent::eventSelector(const std::optional<std::string>& pubId) {
    if (!pubId) {
        return std::nullopt;
    }
    const std::string separator = kSeparator;
    const size_t at = pubId->find(separator);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    std::string selector = pubId->substr(at + separator.size());
    // A further separator ends the name, as splitting the credential would.
    if (const size_t next = selector.find(separator); next != std::string::npos) {
        selector.resize(next);
    }
    if (selector.empty()) {
        return std::nullopt;
    }
    return selector;
}

void AdWhirlAdapterEvent::getAd() {
    auto banner = adWhirlView();
    if (!banner) {
        return;
    }
    auto self = shared_from_this();
    auto owner = adWhirlDelegate();
    const std::optional<std::string> credential = networkConfig()->pubId();
    const std::optional<std::string> selector = eventSelector(credential);
    if (!selector) {
        AWLogWarn("Event network credential '%s' names no operation after \"%s\"",
                  credential.value_or("(null)").c_str(), kSeparator);
        banner->didFailAd(*this, std::nullopt);
        return;
    }
    const std::string withArgument = *selector + ":";
    if (!owner || (!owner->performAdWhirlEvent(*selector, nullptr) &&
                   !owner->performAdWhirlEvent(withArgument, banner.get()))) {
        AWLogWarn("Delegate does not implement function %s nor %s", selector->c_str(), withArgument.c_str());
        banner->didFailAd(*this, std::nullopt);
        return;
    }
    banner->adapterDidFinishAdRequest(*this);
}

} // namespace murmelo
