// AdWhirlDelegate: what the banner's owner answers. adWhirlApplicationKey is
// required; every other operation is optional: a query that answers nothing
// (std::nullopt) counts as "does not answer", a notification's default does
// nothing. The adapters ask the remaining queries of the owner.
//
// Main thread. The banner holds its delegate weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/net/URL.h"
#include "platform/ui/ViewController.h"

namespace murmelo {

class AdWhirlView;

class AdWhirlDelegate {
public:
    virtual ~AdWhirlDelegate() = default;

    virtual std::string adWhirlApplicationKey() = 0;
    // Required by the banner; nothing means the delegate does not answer it.
    virtual std::optional<std::shared_ptr<ViewController>> viewControllerForPresentingModalView() {
        return std::nullopt;
    }

    virtual std::optional<URL> adWhirlConfigURL() { return std::nullopt; }
    virtual std::optional<URL> adWhirlImpMetricURL() { return std::nullopt; }
    virtual std::optional<URL> adWhirlClickMetricURL() { return std::nullopt; }

    virtual void adWhirlDidReceiveAd(AdWhirlView&) {}
    virtual void adWhirlDidFailToReceiveAd(AdWhirlView&, bool /*usingBackup*/) {}
    virtual void adWhirlDidAnimateToNewAdIn(AdWhirlView&) {}
    virtual void adWhirlReceivedNotificationAdsAreOff(AdWhirlView&) {}
    virtual void adWhirlDidReceiveConfig(AdWhirlView*) {}
    virtual void adWhirlWillPresentFullScreenModal() {}
    virtual void adWhirlDidDismissFullScreenModal() {}

    virtual std::optional<std::string> keywords() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseCompanyName() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseAppName() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseApplicationAppleID() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseKeywords() { return std::nullopt; }
    virtual std::optional<std::vector<std::string>> googleAdSenseChannelIDs() { return std::nullopt; }
};

} // namespace murmelo
