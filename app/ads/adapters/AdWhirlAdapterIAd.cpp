#include "app/ads/adapters/AdWhirlAdapterIAd.h"

#include "app/ads/AdWhirlDelegate.h"
#include "app/ads/AdWhirlView.h"
#include "platform/ui/Device.h"

namespace murmelo {

AdWhirlAdapterClass AdWhirlAdapterIAd::adapterClass() {
    return adapterClassOf<AdWhirlAdapterIAd>("AdWhirlAdapterIAd");
}

const char* AdWhirlAdapterIAd::contentSizeIdentifierFor(int orientation) {
    return orientation == 3 || orientation == 4 ? ADBannerContentSizeIdentifier480x32
                                                : ADBannerContentSizeIdentifier320x50;
}

AdWhirlAdapterIAd::~AdWhirlAdapterIAd() {
    stopBeingDelegate();
}

int AdWhirlAdapterIAd::currentOrientation() {
    auto owner = adWhirlDelegate();
    if (auto orientation = owner ? owner->adWhirlCurrentOrientation() : std::nullopt) {
        return *orientation;
    }
    return static_cast<int>(Device::currentDevice().orientation());
}

void AdWhirlAdapterIAd::getAd() {
    m_banner = std::make_shared<ADBannerView>(Rect());
    m_banner->setRequiredContentSizeIdentifiers(
        {ADBannerContentSizeIdentifier320x50, ADBannerContentSizeIdentifier480x32});
    m_banner->setCurrentContentSizeIdentifier(contentSizeIdentifierFor(currentOrientation()));
    setAdNetworkView(m_banner);
    m_banner->setDelegate(std::static_pointer_cast<AdWhirlAdapterIAd>(shared_from_this()));
}

void AdWhirlAdapterIAd::rotateToOrientation(int orientation) {
    if (!m_banner) {
        return;
    }
    m_banner->setCurrentContentSizeIdentifier(contentSizeIdentifierFor(orientation));
    m_banner->setFrame(Rect(Point{0, 0}, m_banner->frame().size));
}

void AdWhirlAdapterIAd::stopBeingDelegate() {
    if (m_banner) {
        m_banner->setDelegate({});
        m_banner->stop();
    }
}

void AdWhirlAdapterIAd::bannerViewDidLoadAd(ADBannerView& banner) {
    auto self = shared_from_this();
    banner.setFrame(Rect(Point{0, 0}, banner.frame().size));
    if (auto adWhirl = adWhirlView()) {
        adWhirl->didReceiveAdView(*this, banner.sharedAs<View>());
    }
}

void AdWhirlAdapterIAd::bannerViewDidFailToReceiveAdWithError(ADBannerView&, const Error& error) {
    auto self = shared_from_this();
    if (auto adWhirl = adWhirlView()) {
        adWhirl->didFailAd(*this, error);
    }
}

bool AdWhirlAdapterIAd::bannerViewActionShouldBegin(ADBannerView&, bool) {
    helperNotifyDelegateOfFullScreenModal();
    return true;
}

void AdWhirlAdapterIAd::bannerViewActionDidFinish(ADBannerView&) {
    helperNotifyDelegateOfFullScreenModalDismissal();
}

} // namespace murmelo
