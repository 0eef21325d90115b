// AdWhirlAdapterIAd (network type 19): shows the platform's iAd banner. The
// banner takes 480 by 32 in landscape (orientations 3 and 4) and 320 by 50
// otherwise, from the owner's adWhirlCurrentOrientation or the device's. It
// keeps loading fresh ads into the same view, and each load is reported to
// the banner again. Registered only on devices that have the iAd banner
// class. Main thread.
#pragma once

#include "app/ads/AdWhirlAdNetworkAdapter.h"
#include "platform/iad/ADBannerView.h"

namespace murmelo {

class AdWhirlAdapterIAd : public AdWhirlAdNetworkAdapter, public ADBannerViewDelegate {
public:
    static constexpr int kNetworkType = 19;
    static AdWhirlAdapterClass adapterClass();
    // The content size an orientation takes.
    static const char* contentSizeIdentifierFor(int orientation);

    using AdWhirlAdNetworkAdapter::AdWhirlAdNetworkAdapter;
    ~AdWhirlAdapterIAd() override;

    void getAd() override;
    void rotateToOrientation(int orientation) override;
    void stopBeingDelegate() override;
    const std::shared_ptr<ADBannerView>& bannerView() const { return m_banner; }

    // ADBannerViewDelegate
    void bannerViewDidLoadAd(ADBannerView& banner) override;
    void bannerViewDidFailToReceiveAdWithError(ADBannerView& banner, const Error& error) override;
    bool bannerViewActionShouldBegin(ADBannerView& banner, bool willLeaveApplication) override;
    void bannerViewActionDidFinish(ADBannerView& banner) override;

private:
    int currentOrientation();

    std::shared_ptr<ADBannerView> m_banner;
};

} // namespace murmelo
