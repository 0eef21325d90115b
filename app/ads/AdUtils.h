// AdUtils: the advertising helper the web screens ask before they place a
// banner — whether ads may be shown now, the AdSense keywords and the
// channel identifiers to refresh a banner with.
//
// This build has no ad-free window, keyword fetch or banner rotation:
// shouldShowAds() answers false (no ads are shown), the keywords are the
// default ones and the channels are the configured identifiers.
//
// A documented single instance: sharedAdUtils() makes it on first use under
// a lock on the class; alloc() gives it at the first allocation and nothing
// after. Never destroyed. Any thread.
#pragma once

#include <string>
#include <vector>

namespace murmelo {

class AdUtils {
public:
    static AdUtils& sharedAdUtils();
    // The first allocation makes and returns the instance; later ones give
    // null. Not owned by the caller.
    static AdUtils* alloc();

    AdUtils(const AdUtils&) = delete;
    AdUtils& operator=(const AdUtils&) = delete;

    // Whether ads may be shown now: always false, this build has no banner.
    bool shouldShowAds() const;
    // The keywords to refresh a banner with.
    std::string getAdsenseKeywords() const;
    // A one-element list: AdSense_UI_Channels[index]; empty for an index
    // other than 0 and 1.
    std::vector<std::string> getAdsenseChannelsForUIIndex(int index) const;

private:
    AdUtils() = default;
};

} // namespace murmelo
