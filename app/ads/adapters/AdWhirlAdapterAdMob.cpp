#include "app/ads/adapters/AdWhirlAdapterAdMob.h"

#include "app/ads/AdWhirlAdNetworkConfig.h"
#include "app/ads/AdWhirlDelegate.h"
#include "app/ads/AdWhirlView.h"

namespace murmelo {

AdWhirlAdapterClass AdWhirlAdapterAdMob::adapterClass() {
    return adapterClassOf<AdWhirlAdapterAdMob>("AdWhirlAdapterAdMob");
}

AdWhirlAdapterAdMob::~AdWhirlAdapterAdMob() {
    stopBeingDelegate();
}

void AdWhirlAdapterAdMob::getAd() {
    auto self = std::static_pointer_cast<AdWhirlAdapterAdMob>(shared_from_this());
    m_adMobView = AdMobView::requestAdWithDelegate(self);
    setAdNetworkView(m_adMobView);
}

void AdWhirlAdapterAdMob::stopBeingDelegate() {
    if (m_adMobView) {
        m_adMobView->setDelegate({});
        m_adMobView->cancel();
    }
}

std::string AdWhirlAdapterAdMob::publisherIdForAd(AdMobView&) {
    auto owner = adWhirlDelegate();
    if (auto id = owner ? owner->admobPublisherID() : std::nullopt) {
        return *id;
    }
    return networkConfig()->pubId().value_or("");
}

std::shared_ptr<ViewController> AdWhirlAdapterAdMob::currentViewControllerForAd(AdMobView&) {
    auto owner = adWhirlDelegate();
    auto screen = owner ? owner->viewControllerForPresentingModalView() : std::nullopt;
    return screen ? *screen : nullptr;
}

std::optional<std::string> AdWhirlAdapterAdMob::keywords() {
    auto owner = adWhirlDelegate();
    return owner ? owner->keywords() : std::nullopt;
}

std::optional<std::string> AdWhirlAdapterAdMob::gender() {
    auto owner = adWhirlDelegate();
    return owner ? owner->gender() : std::nullopt;
}

std::optional<double> AdWhirlAdapterAdMob::dateOfBirth() {
    auto owner = adWhirlDelegate();
    return owner ? owner->dateOfBirth() : std::nullopt;
}

std::optional<std::string> AdWhirlAdapterAdMob::areaCode() {
    auto owner = adWhirlDelegate();
    return owner ? owner->areaCode() : std::nullopt;
}

std::optional<std::string> AdWhirlAdapterAdMob::postalCode() {
    auto owner = adWhirlDelegate();
    return owner ? owner->postalCode() : std::nullopt;
}

std::optional<AdWhirlLocation> AdWhirlAdapterAdMob::allowedLocation() {
    auto owner = adWhirlDelegate();
    if (!owner || !adWhirlConfig()->locationOn()) {
        return std::nullopt;
    }
    return owner->locationInfo();
}

std::optional<double> AdWhirlAdapterAdMob::locationLatitude() {
    auto location = allowedLocation();
    return location ? std::optional<double>(location->latitude) : std::nullopt;
}

std::optional<double> AdWhirlAdapterAdMob::locationLongitude() {
    auto location = allowedLocation();
    return location ? std::optional<double>(location->longitude) : std::nullopt;
}

std::optional<double> AdWhirlAdapterAdMob::locationTimestamp() {
    auto location = allowedLocation();
    return location ? std::optional<double>(location->timestamp) : std::nullopt;
}

std::vector<std::string> AdWhirlAdapterAdMob::testDevices() {
    auto owner = adWhirlDelegate();
    if (owner && owner->adWhirlTestMode().value_or(false)) {
        return {"Simulator"};
    }
    return {};
}

void AdWhirlAdapterAdMob::didReceiveAd(AdMobView& adView) {
    auto self = shared_from_this();
    if (auto banner = adWhirlView()) {
        banner->didReceiveAdView(*this, adView.sharedAs<View>());
    }
}

void AdWhirlAdapterAdMob::didFailToReceiveAd(AdMobView&) {
    auto self = shared_from_this();
    if (auto banner = adWhirlView()) {
        banner->didFailAd(*this, std::nullopt);
    }
}

} // namespace murmelo
