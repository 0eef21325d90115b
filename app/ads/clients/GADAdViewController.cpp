#include "app/ads/clients/GADAdViewController.h"

#include "app/product/Constants.h"

namespace murmelo {

namespace {

// A query value: text as it is, numbers as written, lists joined with '+'
// as AdSense joins channels, colours as RRGGBB.
std::optional<std::string> queryValue(const Value& value) {
    if (const ValueString* text = value.asString()) {
        return text->str();
    }
    if (value.isNumber() || value.isBoolean()) {
        return std::to_string(value.intValue());
    }
    if (const Array* list = value.asArray()) {
        std::string joined;
        for (const Value& item : *list) {
            if (const ValueString* text = item.asString()) {
                joined += (joined.empty() ? "" : "+") + *text;
            }
        }
        return joined;
    }
    return std::nullopt;
}

} // namespace

std::shared_ptr<GADAdViewController>
GADAdViewController::initWithDelegate(std::weak_ptr<GADAdViewControllerDelegate> delegate) {
    auto controller = std::make_shared<GADAdViewController>(std::move(delegate));
    controller->m_view->setListener(std::static_pointer_cast<NetworkBannerListener>(controller));
    return controller;
}

GADAdViewController::GADAdViewController(std::weak_ptr<GADAdViewControllerDelegate> delegate)
    : m_delegate(std::move(delegate)),
      m_view(std::make_shared<NetworkBannerView>("AdSense", std::weak_ptr<NetworkBannerListener>())) {}

void GADAdViewController::setAdSize(Size size) {
    m_view->setFrame(Rect(0, 0, size.width, size.height));
}

std::optional<URL> GADAdViewController::adRequestURL(const Dictionary& attributes) {
    const Value* client = attributes.find(kGADAdSenseClientID);
    if (!client || !client->asString() || client->asString()->empty()) {
        return std::nullopt;
    }
    std::string address =
        "http://" + std::string(kAdSenseHost) + "/pagead/ads?client=" + adQueryEncode(*client->asString());
    for (const auto& [key, value] : attributes) {
        if (key == kGADAdSenseClientID) {
            continue;
        }
        if (auto text = queryValue(value)) {
            address += "&" + adQueryEncode(key) + "=" + adQueryEncode(*text);
        }
    }
    return URL::strictParse(address);
}

void GADAdViewController::loadGoogleAd(const Dictionary& attributes) {
    m_attributes = attributes;
    auto url = adRequestURL(attributes);
    if (!url) {
        if (auto delegate = m_delegate.lock()) {
            delegate->loadFailed(*this, Error(kNetworkBannerErrorDomain,
                                              static_cast<long>(NetworkBannerError::BadReply),
                                              "An AdSense request needs a client identifier"));
        }
        return;
    }
    m_view->load(*url);
}

void GADAdViewController::bannerDidLoad(NetworkBannerView&) {
    if (auto delegate = m_delegate.lock()) {
        delegate->loadSucceeded(*this, Dictionary());
    }
}

void GADAdViewController::bannerDidFail(NetworkBannerView&, const Error& error) {
    if (auto delegate = m_delegate.lock()) {
        delegate->loadFailed(*this, error);
    }
}

std::shared_ptr<ViewController> GADAdViewController::bannerPresentingScreen() {
    auto delegate = m_delegate.lock();
    if (!delegate || delegate->adControllerActionModelForAdClick(*this) != 1) {
        return nullptr;
    }
    return delegate->viewControllerForModalPresentation(*this);
}

void GADAdViewController::bannerWillPresentFullScreen(NetworkBannerView&) {}

void GADAdViewController::bannerDidDismissFullScreen(NetworkBannerView&) {
    if (auto delegate = m_delegate.lock()) {
        delegate->adControllerDidCloseWebsiteView(*this);
    }
}

} // namespace murmelo
