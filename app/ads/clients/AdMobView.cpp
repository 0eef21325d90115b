#include "app/ads/clients/AdMobView.h"

#include "app/product/Constants.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace murmelo {

AdMobView::AdMobView(std::weak_ptr<AdMobDelegate> delegate)
    : NetworkBannerView("AdMob", {}), m_delegate(std::move(delegate)) {}

std::optional<URL> AdMobView::adRequestURL(const AdMobTargeting& targeting) {
    if (targeting.publisherId.empty()) {
        return std::nullopt;
    }
    std::string address =
        "http://" + std::string(kAdMobHost) + "/ad_source.php?s=" + adQueryEncode(targeting.publisherId);
    auto add = [&](const char* key, const std::optional<std::string>& value) {
        if (value && !value->empty()) {
            address += std::string("&") + key + "=" + adQueryEncode(*value);
        }
    };
    auto number = [](const std::optional<double>& value, const char* format) -> std::optional<std::string> {
        if (!value || !std::isfinite(*value)) {
            return std::nullopt;
        }
        char text[64];
        std::snprintf(text, sizeof text, format, *value);
        return std::string(text);
    };
    add("kw", targeting.keywords);
    add("gender", targeting.gender);
    if (targeting.dateOfBirth && std::isfinite(*targeting.dateOfBirth)) {
        std::time_t seconds = static_cast<std::time_t>(*targeting.dateOfBirth);
        std::tm day{};
        char text[16];
        if (gmtime_r(&seconds, &day) && std::strftime(text, sizeof text, "%Y%m%d", &day)) {
            add("dob", std::string(text));
        }
    }
    add("area", targeting.areaCode);
    add("postal", targeting.postalCode);
    // A position goes only whole: both coordinates, then when it was taken.
    if (auto lat = number(targeting.latitude, "%.6f"), lon = number(targeting.longitude, "%.6f");
        lat && lon) {
        add("lat", lat);
        add("lon", lon);
        add("lts", number(targeting.locationTimestamp, "%.0f"));
    }
    for (const std::string& device : targeting.testDevices) {
        add("test", device);
    }
    return URL::strictParse(address);
}

AdMobTargeting AdMobView::targetingOf(AdMobDelegate& delegate, AdMobView& view) {
    AdMobTargeting targeting;
    targeting.publisherId = delegate.publisherIdForAd(view);
    targeting.keywords = delegate.keywords();
    targeting.gender = delegate.gender();
    targeting.dateOfBirth = delegate.dateOfBirth();
    targeting.areaCode = delegate.areaCode();
    targeting.postalCode = delegate.postalCode();
    targeting.latitude = delegate.locationLatitude();
    targeting.longitude = delegate.locationLongitude();
    targeting.locationTimestamp = delegate.locationTimestamp();
    targeting.testDevices = delegate.testDevices();
    return targeting;
}

std::shared_ptr<AdMobView> AdMobView::requestAdWithDelegate(std::weak_ptr<AdMobDelegate> delegate) {
    auto view = std::make_shared<AdMobView>(delegate);
    view->setListener(std::static_pointer_cast<NetworkBannerListener>(view));
    auto owner = delegate.lock();
    if (!owner) {
        return view;
    }
    view->setAdBackgroundColor(owner->adBackgroundColorForAd(*view));
    view->setTextColor(owner->primaryTextColorForAd(*view));
    if (auto url = adRequestURL(targetingOf(*owner, *view))) {
        view->load(*url);
    } else {
        owner->didFailToReceiveAd(*view);
    }
    return view;
}

void AdMobView::bannerDidLoad(NetworkBannerView&) {
    if (auto delegate = m_delegate.lock()) {
        delegate->didReceiveAd(*this);
    }
}

void AdMobView::bannerDidFail(NetworkBannerView&, const Error&) {
    if (auto delegate = m_delegate.lock()) {
        delegate->didFailToReceiveAd(*this);
    }
}

std::shared_ptr<ViewController> AdMobView::bannerPresentingScreen() {
    auto delegate = m_delegate.lock();
    return delegate ? delegate->currentViewControllerForAd(*this) : nullptr;
}

void AdMobView::bannerWillPresentFullScreen(NetworkBannerView&) {
    if (auto delegate = m_delegate.lock()) {
        delegate->willPresentFullScreenModalFromAd(*this);
    }
}

void AdMobView::bannerDidDismissFullScreen(NetworkBannerView&) {
    if (auto delegate = m_delegate.lock()) {
        delegate->didDismissFullScreenModalFromAd(*this);
    }
}

} // namespace murmelo
