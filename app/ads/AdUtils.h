// AdUtils: the advertising helper the web screens ask before they place a
// banner — whether ads may be shown now, the AdSense keywords and the
// channel identifiers to refresh a banner with.
//
// The ad-free window's end lives in the user defaults ("lastTimeInterval",
// seconds since 1970); the fetched keywords too ("adsense_keywords"). While
// none are stored, getAdsenseKeywords() answers "secret" and queues one fetch
// at a time; a fetch that yields no body stores nothing, so a later call
// tries again.
//
// A documented single instance: sharedAdUtils() makes it on first use under
// a lock on the class; alloc() gives it at the first allocation and nothing
// after. Never destroyed. Any thread.
#pragma once

#include <atomic>
#include <optional>
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

    static constexpr double kDefaultHideSeconds = 86400;

    // Whether ads may be shown now: the ad-free window has ended (or never began).
    bool shouldShowAds() const;
    // Starts an ad-free window of `seconds` (0 or less: 24 hours) from now,
    // replacing any earlier one.
    void hideForSeconds(double seconds);
    // The stored keywords; else "secret", queuing a fetch unless one is running.
    std::string getAdsenseKeywords();
    // Fetches the keywords (blocking; background thread), stores them trimmed
    // and returns them; nothing when the fetch yields no body.
    std::optional<std::string> getAdsenseKeywordsAsync();
    // Whether a keyword fetch is queued or running.
    bool isFetchingKeywords() const { return m_fetchingKeywords.load(); }
    // A one-element list: AdSense_UI_Channels[index]; empty for an index
    // other than 0 and 1.
    std::vector<std::string> getAdsenseChannelsForUIIndex(int index) const;

private:
    AdUtils() = default;

    std::atomic<bool> m_fetchingKeywords{false};
};

} // namespace murmelo
