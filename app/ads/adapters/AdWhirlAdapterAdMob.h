// AdWhirlAdapterAdMob (network type 1): asks the AdMob client for a banner
// and hands it to the banner. The publisher is the owner's admobPublisherID
// or the network entry's credential; the owner's targeting answers go with
// the request, its location only when the configuration allows it. Main
// thread.
#pragma once

#include "app/ads/AdWhirlAdNetworkAdapter.h"
#include "app/ads/AdWhirlDelegate.h"
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
    std::optional<std::string> gender() override;
    std::optional<double> dateOfBirth() override;
    std::optional<std::string> areaCode() override;
    std::optional<std::string> postalCode() override;
    // Only with location allowed by the configuration and a fix from the owner.
    std::optional<double> locationLatitude() override;
    std::optional<double> locationLongitude() override;
    std::optional<double> locationTimestamp() override;
    std::vector<std::string> testDevices() override;
    std::optional<Color> adBackgroundColorForAd(AdMobView&) override { return helperBackgroundColorToUse(); }
    std::optional<Color> primaryTextColorForAd(AdMobView&) override { return helperTextColorToUse(); }
    std::optional<Color> secondaryTextColorForAd(AdMobView&) override {
        return helperSecondaryTextColorToUse();
    }
    void didReceiveAd(AdMobView& adView) override;
    void didFailToReceiveAd(AdMobView& adView) override;
    void willPresentFullScreenModalFromAd(AdMobView&) override { helperNotifyDelegateOfFullScreenModal(); }
    void didDismissFullScreenModalFromAd(AdMobView&) override {
        helperNotifyDelegateOfFullScreenModalDismissal();
    }

private:
    std::optional<AdWhirlLocation> allowedLocation();

    std::shared_ptr<AdMobView> m_adMobView;
};

} // namespace murmelo
