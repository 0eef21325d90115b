// AdMobView: the AdMob banner client — a 320 by 50 ad from the AdMob host
// ("ad_source.php?s=PUBLISHER[&kw=KEYWORDS]"), drawn, and opened in the
// in-application browser when tapped. The delegate names the publisher and
// the screen, may add keywords and colours, and hears the outcome.
//
//   auto ad = AdMobView::requestAdWithDelegate(adapter); // later: didReceiveAd / didFailToReceiveAd
//
// Main thread. The delegate is held weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ads/clients/NetworkBannerView.h"

namespace murmelo {

class AdMobView;

class AdMobDelegate {
public:
    virtual ~AdMobDelegate() = default;
    virtual std::string publisherIdForAd(AdMobView& adView) = 0;
    virtual std::shared_ptr<ViewController> currentViewControllerForAd(AdMobView& adView) = 0;
    virtual std::optional<std::string> keywords() { return std::nullopt; }
    virtual std::optional<Color> adBackgroundColorForAd(AdMobView&) { return std::nullopt; }
    virtual std::optional<Color> primaryTextColorForAd(AdMobView&) { return std::nullopt; }
    virtual void didReceiveAd(AdMobView& adView) = 0;
    virtual void didFailToReceiveAd(AdMobView& adView) = 0;
    virtual void willPresentFullScreenModalFromAd(AdMobView&) {}
    virtual void didDismissFullScreenModalFromAd(AdMobView&) {}
};

class AdMobView : public NetworkBannerView, public NetworkBannerListener {
public:
    static std::shared_ptr<AdMobView> requestAdWithDelegate(std::weak_ptr<AdMobDelegate> delegate);
    // The request the view makes for `publisherId` and `keywords`.
    static std::optional<URL> adRequestURL(const std::string& publisherId,
                                           const std::optional<std::string>& keywords);

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
