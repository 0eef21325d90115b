// AdWhirlAdapterAdMob (network type 1): asks the AdMob client for a banner
// and hands it to the banner. The publisher is the owner's admobPublisherID
// or the network entry's credential; the owner's keywords go with the
// request. Main thread.
#pragma once

#include "app/ads/AdWhirlAdNetworkAdapter.h"
#include "app/ads/clients/AdMobView.h"

namespace murmelo {

class AdWhirlAdapterAdMob : public AdWhirlAdNetworkAdapter, public AdMobDelegate {
public:
    static constexpr int kNetworkType = 1;
    static AdWhirlAdapterClass adapterClass();

    using AdWhirlAdNetworkAdapter::AdWhirlAdNetworkAdapter;
    ~AdWhirlAdapterAdMob() override;

    void getAd() override;
    void stopBeingDelegate() override;

    // AdMobDelegate
    std::string publisherIdForAd(AdMobView& adView) override;
    std::shared_ptr<ViewController> currentViewControllerForAd(AdMobView& adView) override;
    std::optional<std::string> keywords() override;
    std::optional<Color> adBackgroundColorForAd(AdMobView&) override { return helperBackgroundColorToUse(); }
    std::optional<Color> primaryTextColorForAd(AdMobView&) override { return helperTextColorToUse(); }
    void didReceiveAd(AdMobView& adView) override;
    void didFailToReceiveAd(AdMobView& adView) override;
    void willPresentFullScreenModalFromAd(AdMobView&) override { helperNotifyDelegateOfFullScreenModal(); }
    void didDismissFullScreenModalFromAd(AdMobView&) override {
        helperNotifyDelegateOfFullScreenModalDismissal();
    }

private:
    std::shared_ptr<AdMobView> m_adMobView;
};

} // namespace murmelo
