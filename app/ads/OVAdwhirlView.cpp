#include "app/ads/OVAdwhirlView.h"

#include "app/product/Constants.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

std::shared_ptr<OVAdwhirlView>
OVAdwhirlView::requestAdViewWithChannels(std::vector<std::string> channels,
                                         std::optional<std::string> keywords,
                                         std::weak_ptr<ViewController> viewController) {
    auto host = std::make_shared<OVAdwhirlView>(Rect(0, 0, kWidth, kHeight));
    // The controller first: the banner asks for it as it is made.
    host->m_placedViewController = std::move(viewController);
    // The host answers every required operation, so the banner is always made.
    auto banner = AdWhirlView::requestAdWhirlViewWithDelegate(host);
    if (banner) {
        host->m_adWhirlView = *banner;
        host->addSubview(host->m_adWhirlView);
        host->bringSubviewToFront(*host->m_adWhirlView);
    }
    host->m_channels = std::move(channels);
    host->m_keywords = std::move(keywords);
    return host;
}

OVAdwhirlView::OVAdwhirlView(const Rect& frame) : View(frame) {}

void OVAdwhirlView::refreshAdWithKeywords(const std::optional<std::string>& keywords,
                                          const std::vector<std::string>& channels) {
    if (keywords && !keywords->empty()) {
        m_keywords = keywords;
    }
    if (!channels.empty()) {
        m_channels = channels;
    }
    if (m_adWhirlView) {
        m_adWhirlView->requestFreshAd();
    }
}

std::string OVAdwhirlView::adWhirlApplicationKey() {
    return std::string(Screen::mainScreen().respondsToScale() ? Constant_AdWhirlApplicationKey_iOS4
                                                              : Constant_AdWhirlApplicationKey);
}

std::optional<std::shared_ptr<ViewController>> OVAdwhirlView::viewControllerForPresentingModalView() {
    return placedViewController();
}

std::optional<std::string> OVAdwhirlView::googleAdSenseCompanyName() {
    return std::string(Constant_Adsense_CompanyName);
}

std::optional<std::string> OVAdwhirlView::googleAdSenseAppName() {
    return std::string(Constant_Adsense_AppName);
}

std::optional<std::string> OVAdwhirlView::googleAdSenseApplicationAppleID() {
    return std::string(Constant_Adsense_App_AppleId);
}

void OVAdwhirlView::adWhirlDidReceiveAd(AdWhirlView& view) {
    const auto name = view.mostRecentNetworkName();
    if (name && name->find("adsense") != std::string::npos) {
        view.ignoreAutoRefreshTimer();
        view.doNotIgnoreNewAdRequests();
    } else {
        view.doNotIgnoreAutoRefreshTimer();
    }
}

void OVAdwhirlView::adWhirlDidFailToReceiveAd(AdWhirlView& view, bool) {
    view.doNotIgnoreAutoRefreshTimer();
    view.doNotIgnoreNewAdRequests();
}

void OVAdwhirlView::dump(ScreenDumpWriter& writer) const {
    writer.line("ad host tag " + std::to_string(tag()));
    writer.nested([&] { dumpSubviews(writer); });
}

} // namespace murmelo
