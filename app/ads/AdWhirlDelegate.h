// AdWhirlDelegate: what the banner's owner answers. adWhirlApplicationKey is
// required; every other operation is optional: a query that answers nothing
// (std::nullopt) counts as "does not answer", a notification's default does
// nothing. The adapters ask the remaining queries of the owner.
//
// The owner's own `backgroundColor` and `textColor` questions are not here:
// an owner that is a view (OVAdwhirlView) already has a backgroundColor, so
// the colour helpers ask the adWhirl-prefixed questions and the configuration.
//
// Main thread. The banner holds its delegate weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/Geometry.h"
#include "platform/net/URL.h"
#include "platform/ui/ViewController.h"

namespace murmelo {

class AdWhirlView;

// A location fix as the owner hands it to the adapters.
struct AdWhirlLocation {
    double latitude = 0;
    double longitude = 0;
    double timestamp = 0; // seconds since 1970
};

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
    virtual std::optional<URL> adWhirlCustomAdURL() { return std::nullopt; }
    virtual std::optional<bool> adWhirlTestMode() { return std::nullopt; }
    virtual std::optional<Color> adWhirlAdBackgroundColor() { return std::nullopt; }
    virtual std::optional<Color> adWhirlTextColor() { return std::nullopt; }
    virtual std::optional<Color> adWhirlSecondaryTextColor() { return std::nullopt; }
    virtual std::optional<AdWhirlLocation> locationInfo() { return std::nullopt; }
    // The interface orientation (1 portrait, 2 upside down, 3 and 4 landscape).
    virtual std::optional<int> adWhirlCurrentOrientation() { return std::nullopt; }

    virtual void adWhirlDidReceiveAd(AdWhirlView&) {}
    virtual void adWhirlDidFailToReceiveAd(AdWhirlView&, bool /*usingBackup*/) {}
    virtual void adWhirlDidAnimateToNewAdIn(AdWhirlView&) {}
    virtual void adWhirlReceivedNotificationAdsAreOff(AdWhirlView&) {}
    virtual void adWhirlDidReceiveConfig(AdWhirlView*) {}
    virtual void adWhirlWillPresentFullScreenModal() {}
    virtual void adWhirlDidDismissFullScreenModal() {}
    // The generic network's slot: whether the owner answers (and so filled it).
    virtual bool adWhirlReceivedRequestForDeveloperToFufill(AdWhirlView&) { return false; }
    // An event network's named operation: `selector` is a bare name (called
    // without `banner`) or a name ending in ':' (called with it). Whether the
    // owner answers that name; one that does not is not called.
    virtual bool performAdWhirlEvent(const std::string& /*selector*/, AdWhirlView* /*banner*/) {
        return false;
    }

    virtual std::optional<std::string> admobPublisherID() { return std::nullopt; }
    virtual std::optional<std::string> keywords() { return std::nullopt; }
    virtual std::optional<std::string> gender() { return std::nullopt; } // "m" or "f"
    virtual std::optional<double> dateOfBirth() { return std::nullopt; } // seconds since 1970
    virtual std::optional<std::string> areaCode() { return std::nullopt; }
    virtual std::optional<std::string> postalCode() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseClientID() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseCompanyName() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseAppName() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseApplicationAppleID() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseKeywords() { return std::nullopt; }
    virtual std::optional<std::vector<std::string>> googleAdSenseChannelIDs() { return std::nullopt; }
    virtual std::optional<URL> googleAdSenseAppWebContentURL() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseAdType() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseHostID() { return std::nullopt; }
    virtual std::optional<Color> googleAdSenseAdTopBackgroundColor() { return std::nullopt; }
    virtual std::optional<Color> googleAdSenseAdBorderColor() { return std::nullopt; }
    virtual std::optional<Color> googleAdSenseAdLinkColor() { return std::nullopt; }
    virtual std::optional<Color> googleAdSenseAdURLColor() { return std::nullopt; }
    virtual std::optional<std::string> googleAdSenseExpandDirection() { return std::nullopt; }
    virtual std::optional<Color> googleAdSenseAlternateAdColor() { return std::nullopt; }
    virtual std::optional<URL> googleAdSenseAlternateAdURL() { return std::nullopt; }
    virtual std::optional<bool> googleAdSenseAllowAdsafeMedium() { return std::nullopt; }
};

} // namespace murmelo
