#include "app/ads/adapters/AdWhirlAdapterGoogleAdSense.h"

#include <cstdio>

#include "app/ads/AdWhirlAdNetworkConfig.h"
#include "app/ads/AdWhirlDelegate.h"
#include "app/ads/AdWhirlLog.h"
#include "app/ads/AdWhirlView.h"

namespace murmelo {

namespace {

std::optional<Value> colorValue(const std::optional<Color>& color) {
    if (!color) {
        return std::nullopt;
    }
    char hex[8];
    auto byte = [](double c) { return static_cast<unsigned>(c * 255 + 0.5) & 0xff; };
    std::snprintf(hex, sizeof hex, "%02X%02X%02X", byte(color->red()), byte(color->green()),
                  byte(color->blue()));
    return Value(std::string(hex));
}

std::optional<Value> textValue(const std::optional<std::string>& text) {
    return text ? std::optional<Value>(Value(*text)) : std::nullopt;
}

std::optional<Value> urlValue(const std::optional<URL>& url) {
    return url ? std::optional<Value>(Value(url->absoluteString())) : std::nullopt;
}

template <auto Question> GASParam textParam(const char* operation, const char* attribute) {
    return {operation, attribute, [](AdWhirlDelegate& owner) { return textValue((owner.*Question)()); }};
}
template <auto Question> GASParam colorParam(const char* operation, const char* attribute) {
    return {operation, attribute, [](AdWhirlDelegate& owner) { return colorValue((owner.*Question)()); }};
}
template <auto Question> GASParam urlParam(const char* operation, const char* attribute) {
    return {operation, attribute, [](AdWhirlDelegate& owner) { return urlValue((owner.*Question)()); }};
}

} // namespace

const std::vector<GASParam>& GASParamNameToSel() {
    using D = AdWhirlDelegate;
    static const std::vector<GASParam> table = {
        textParam<&D::googleAdSenseKeywords>("googleAdSenseKeywords", kGADAdSenseKeywords),
        urlParam<&D::googleAdSenseAppWebContentURL>("googleAdSenseAppWebContentURL",
                                                    kGADAdSenseAppWebContentURL),
        {"googleAdSenseChannelIDs", kGADAdSenseChannelIDs,
         [](AdWhirlDelegate& owner) -> std::optional<Value> {
             auto channels = owner.googleAdSenseChannelIDs();
             if (!channels) {
                 return std::nullopt;
             }
             Array list;
             for (const std::string& channel : *channels) {
                 list.emplace_back(channel);
             }
             return Value(std::move(list));
         }},
        textParam<&D::googleAdSenseAdType>("googleAdSenseAdType", kGADAdSenseAdType),
        textParam<&D::googleAdSenseHostID>("googleAdSenseHostID", kGADAdSenseHostID),
        colorParam<&D::adWhirlAdBackgroundColor>("adWhirlAdBackgroundColor", kGADAdSenseAdBackgroundColor),
        colorParam<&D::googleAdSenseAdTopBackgroundColor>("googleAdSenseAdTopBackgroundColor",
                                                          kGADAdSenseAdTopBackgroundColor),
        colorParam<&D::googleAdSenseAdBorderColor>("googleAdSenseAdBorderColor", kGADAdSenseAdBorderColor),
        colorParam<&D::googleAdSenseAdLinkColor>("googleAdSenseAdLinkColor", kGADAdSenseAdLinkColor),
        colorParam<&D::adWhirlTextColor>("adWhirlTextColor", kGADAdSenseAdTextColor),
        colorParam<&D::googleAdSenseAdURLColor>("googleAdSenseAdURLColor", kGADAdSenseAdURLColor),
        textParam<&D::googleAdSenseExpandDirection>("googleAdSenseExpandDirection",
                                                    kGADAdSenseExpandDirection),
        colorParam<&D::googleAdSenseAlternateAdColor>("googleAdSenseAlternateAdColor",
                                                      kGADAdSenseAlternateAdColor),
        urlParam<&D::googleAdSenseAlternateAdURL>("googleAdSenseAlternateAdURL", kGADAdSenseAlternateAdURL),
        {"googleAdSenseAllowAdsafeMedium", kGADAdSenseAllowAdsafeMedium,
         [](AdWhirlDelegate& owner) -> std::optional<Value> {
             auto allow = owner.googleAdSenseAllowAdsafeMedium();
             return allow ? std::optional<Value>(Value(*allow)) : std::nullopt;
         }},
    };
    return table;
}

AdWhirlAdapterClass AdWhirlAdapterGoogleAdSense::adapterClass() {
    return adapterClassOf<AdWhirlAdapterGoogleAdSense>("AdWhirlAdapterGoogleAdSense");
}

AdWhirlAdapterGoogleAdSense::~AdWhirlAdapterGoogleAdSense() {
    stopBeingDelegate();
}

Result<Dictionary> AdWhirlAdapterGoogleAdSense::adSenseAttributes() {
    auto owner = adWhirlDelegate();
    auto missing = [](const char* operation) {
        return Error("NSInvalidArgumentException", 0,
                     std::string("You must implement ") + operation +
                         " in your AdwhirlDelegate in order to use Google AdSense");
    };
    if (!owner) {
        return missing("googleAdSenseCompanyName");
    }
    auto company = owner->googleAdSenseCompanyName();
    if (!company) {
        return missing("googleAdSenseCompanyName");
    }
    auto appName = owner->googleAdSenseAppName();
    if (!appName) {
        return missing("googleAdSenseAppName");
    }
    auto appleID = owner->googleAdSenseApplicationAppleID();
    if (!appleID) {
        return missing("googleAdSenseApplicationAppleID");
    }
    Dictionary attributes{
        {kGADAdSenseClientID,
         Value(owner->googleAdSenseClientID().value_or(networkConfig()->pubId().value_or("")))},
        {kGADAdSenseCompanyName, Value(*company)},
        {kGADAdSenseAppName, Value(*appName)},
        {kGADAdSenseApplicationAppleID, Value(*appleID)},
        {kGADAdSenseIsTestAdRequest, Value(owner->adWhirlTestMode().value_or(false) ? 1 : 0)},
    };
    for (const GASParam& param : GASParamNameToSel()) {
        if (auto value = param.answer(*owner)) {
            attributes.set(param.attribute, std::move(*value));
        }
    }
    return attributes;
}

void AdWhirlAdapterGoogleAdSense::getAd() {
    auto self = std::static_pointer_cast<AdWhirlAdapterGoogleAdSense>(shared_from_this());
    auto attributes = adSenseAttributes();
    if (!attributes) {
        AWLogError("%s", attributes.error().localizedDescription().c_str());
        if (auto banner = adWhirlView()) {
            banner->didFailAd(*this, attributes.error());
        }
        return;
    }
    m_adViewController = GADAdViewController::initWithDelegate(self);
    m_adViewController->setAdSize(kGADAdSize320x50);
    setAdNetworkView(m_adViewController->view());
    m_adViewController->loadGoogleAd(*attributes);
}

void AdWhirlAdapterGoogleAdSense::stopBeingDelegate() {
    if (m_adViewController) {
        m_adViewController->setDelegate({});
        m_adViewController->view()->cancel();
    }
}

std::shared_ptr<ViewController>
AdWhirlAdapterGoogleAdSense::viewControllerForModalPresentation(GADAdViewController&) {
    auto owner = adWhirlDelegate();
    auto screen = owner ? owner->viewControllerForPresentingModalView() : std::nullopt;
    return screen ? *screen : nullptr;
}

void AdWhirlAdapterGoogleAdSense::loadSucceeded(GADAdViewController& controller, const Dictionary&) {
    auto self = shared_from_this();
    if (auto banner = adWhirlView()) {
        banner->didReceiveAdView(*this, controller.view());
    }
}

void AdWhirlAdapterGoogleAdSense::loadFailed(GADAdViewController&, const Error& error) {
    auto self = shared_from_this();
    if (auto banner = adWhirlView()) {
        banner->didFailAd(*this, error);
    }
}

int AdWhirlAdapterGoogleAdSense::adControllerActionModelForAdClick(GADAdViewController&) {
    helperNotifyDelegateOfFullScreenModal();
    return 1;
}

void AdWhirlAdapterGoogleAdSense::adControllerDidCloseWebsiteView(GADAdViewController&) {
    helperNotifyDelegateOfFullScreenModalDismissal();
}

} // namespace murmelo
