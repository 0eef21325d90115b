// AdMobView: the AdMob banner client — a 320 by 50 ad from the AdMob host
// ("ad_source.php?s=PUBLISHER" and the targeting the delegate answers),
// drawn, and opened in the in-application browser when tapped. The delegate
// names the publisher and the screen, may add targeting (keywords, gender,
// birth date, area and postal codes, location, test devices) and colours,
// and hears the outcome.
//
//   auto ad = AdMobView::requestAdWithDelegate(adapter); // later: didReceiveAd / didFailToReceiveAd
//
// Main thread. The delegate is held weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ads/clients/NetworkBannerView.h"

namespace murmelo {

class AdMobView;

// What a request says about its audience; unset parts are left out.
struct AdMobTargeting {
    std::string publisherId;
    std::optional<std::string> keywords;
    std::optional<std::string> gender;
    std::optional<double> dateOfBirth; // seconds since 1970
    std::optional<std::string> areaCode;
    std::optional<std::string> postalCode;
    std::optional<double> latitude;
    std::optional<double> longitude;
    std::optional<double> locationTimestamp;
    std::vector<std::string> testDevices;
};

class AdMobDelegate {
public:
    virtual ~AdMobDelegate() = default;
    virtual std::string publisherIdForAd(AdMobView& adView) = 0;
    virtual std::shared_ptr<ViewController> currentViewControllerForAd(AdMobView& adView) = 0;
    virtual std::optional<std::string> keywords() { return std::nullopt; }
    virtual std::optional<std::string> gender() { return std::nullopt; }
    virtual std::optional<double> dateOfBirth() { return std::nullopt; }
    virtual std::optional<std::string> areaCode() { return std::nullopt; }
    virtual std::optional<std::string> postalCode() { return std::nullopt; }
    virtual std::optional<double> locationLatitude() { return std::nullopt; }
    virtual std::optional<double> locationLongitude() { return std::nullopt; }
    virtual std::optional<double> locationTimestamp() { return std::nullopt; }
    virtual std::vector<std::string> testDevices() { return {}; }
    virtual std::optional<Color> adBackgroundColorForAd(AdMobView&) { return std::nullopt; }
    virtual std::optional<Color> primaryTextColorForAd(AdMobView&) { return std::nullopt; }
    virtual std::optional<Color> secondaryTextColorForAd(AdMobView&) { return std::nullopt; }
    virtual void didReceiveAd(AdMobView& adView) = 0;
    virtual void didFailToReceiveAd(AdMobView& adView) = 0;
    virtual void willPresentFullScreenModalFromAd(AdMobView&) {}
    virtual void didDismissFullScreenModalFromAd(AdMobView&) {}
};

class AdMobView : public NetworkBannerView, public NetworkBannerListener {
public:
    static std::shared_ptr<AdMobView> requestAdWithDelegate(std::weak_ptr<AdMobDelegate> delegate);
    // The request the view makes; nothing without a publisher.
    static std::optional<URL> adRequestURL(const AdMobTargeting& targeting);
    static AdMobTargeting targetingOf(AdMobDelegate& delegate, AdMobView& view);

    explicit AdMobView(std::weak_ptr<AdMobDelegate> delegate);
    void setDelegate(std::weak_ptr<AdMobDelegate> delegate) { m_delegate = std::move(delegate); }

    // NetworkBannerListener
    void bannerDidLoad(NetworkBannerView& view) override;
    void bannerDidFail(NetworkBannerView& view, const Error& error) override;
    std::shared_ptr<ViewController> bannerPresentingScreen() override;
    void bannerWillPresentFullScreen(NetworkBannerView& view) override;
    void bannerDidDismissFullScreen(NetworkBannerView& view) override;

private:
    std::weak_ptr<AdMobDelegate> m_delegate;
};

} // namespace murmelo
