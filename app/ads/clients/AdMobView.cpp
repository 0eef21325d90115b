#include "app/ads/clients/AdMobView.h"

#include "app/product/Constants.h"

namespace murmelo {

AdMobView::AdMobView(std::weak_ptr<AdMobDelegate> delegate)
    : NetworkBannerView("AdMob", {}), m_delegate(std::move(delegate)) {}

std::optional<URL> AdMobView::adRequestURL(const std::string& publisherId,
                                           const std::optional<std::string>& keywords) {
    std::string address =
        "http://" + std::string(kAdMobHost) + "/ad_source.php?s=" + adQueryEncode(publisherId);
    if (keywords && !keywords->empty()) {
        address += "&kw=" + adQueryEncode(*keywords);
    }
    return URL::strictParse(address);
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
    if (auto url = adRequestURL(owner->publisherIdForAd(*view), owner->keywords())) {
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
