// GADAdViewController: the Google AdSense banner client. loadGoogleAd sends
// the attribute dictionary to the AdSense host ("pagead/ads?client=...",
// with the channels, keywords and the rest as query parameters), draws the
// 320 by 50 ad it gets into view() and reports the outcome; a tap opens the
// ad's page in the in-application browser, presented from the screen the
// delegate names.
//
//   auto controller = GADAdViewController::initWithDelegate(adapter);
//   controller->setAdSize(kGADAdSize320x50);
//   controller->loadGoogleAd(attributes); // later: loadSucceeded / loadFailed
//
// Main thread. The delegate is held weakly; the controller owns its view.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ads/clients/NetworkBannerView.h"
#include "platform/core/Value.h"

namespace murmelo {

// The attribute keys.
inline constexpr const char* kGADAdSenseClientID = "client";
inline constexpr const char* kGADAdSenseCompanyName = "company";
inline constexpr const char* kGADAdSenseAppName = "app_name";
inline constexpr const char* kGADAdSenseApplicationAppleID = "app_id";
inline constexpr const char* kGADAdSenseIsTestAdRequest = "adtest";
inline constexpr const char* kGADAdSenseKeywords = "kw";
inline constexpr const char* kGADAdSenseChannelIDs = "channel";
inline constexpr const char* kGADAdSenseAdBackgroundColor = "color_bg";
inline constexpr const char* kGADAdSenseAdTextColor = "color_text";
inline constexpr const char* kGADAdSenseAppWebContentURL = "url";
inline constexpr const char* kGADAdSenseAdType = "ad_type";
inline constexpr const char* kGADAdSenseHostID = "host";
inline constexpr const char* kGADAdSenseAdTopBackgroundColor = "color_bg_top";
inline constexpr const char* kGADAdSenseAdBorderColor = "color_border";
inline constexpr const char* kGADAdSenseAdLinkColor = "color_link";
inline constexpr const char* kGADAdSenseAdURLColor = "color_url";
inline constexpr const char* kGADAdSenseExpandDirection = "expand_direction";
inline constexpr const char* kGADAdSenseAlternateAdColor = "alternate_color";
inline constexpr const char* kGADAdSenseAlternateAdURL = "alternate_ad_url";
inline constexpr const char* kGADAdSenseAllowAdsafeMedium = "adsafe";
inline constexpr Size kGADAdSize320x50{320, 50};

class GADAdViewController;

class GADAdViewControllerDelegate {
public:
    virtual ~GADAdViewControllerDelegate() = default;
    virtual std::shared_ptr<ViewController>
    viewControllerForModalPresentation(GADAdViewController& controller) = 0;
    virtual void loadSucceeded(GADAdViewController& controller, const Dictionary& results) = 0;
    virtual void loadFailed(GADAdViewController& controller, const Error& error) = 0;
    // Answers how the click is handled (1: the ad opens its page).
    virtual int adControllerActionModelForAdClick(GADAdViewController&) { return 1; }
    virtual void adControllerDidCloseWebsiteView(GADAdViewController&) {}
    // An expandable ad grew over the screen, or shrank back.
    virtual void adControllerDidExpandAd(GADAdViewController&) {}
    virtual void adControllerDidCollapseAd(GADAdViewController&) {}
};

class GADAdViewController : public NetworkBannerListener,
                            public std::enable_shared_from_this<GADAdViewController> {
public:
    static std::shared_ptr<GADAdViewController>
    initWithDelegate(std::weak_ptr<GADAdViewControllerDelegate> delegate);
    // The request for `attributes`; nothing without a client identifier.
    static std::optional<URL> adRequestURL(const Dictionary& attributes);

    explicit GADAdViewController(std::weak_ptr<GADAdViewControllerDelegate> delegate);
    void setDelegate(std::weak_ptr<GADAdViewControllerDelegate> delegate) {
        m_delegate = std::move(delegate);
    }
    void setAdSize(Size size);
    void loadGoogleAd(const Dictionary& attributes);
    const std::shared_ptr<NetworkBannerView>& view() const { return m_view; }
    const Dictionary& attributes() const { return m_attributes; }

    // NetworkBannerListener
    void bannerDidLoad(NetworkBannerView& view) override;
    void bannerDidFail(NetworkBannerView& view, const Error& error) override;
    std::shared_ptr<ViewController> bannerPresentingScreen() override;
    void bannerWillPresentFullScreen(NetworkBannerView& view) override;
    void bannerDidDismissFullScreen(NetworkBannerView& view) override;

private:
    std::weak_ptr<GADAdViewControllerDelegate> m_delegate;
    std::shared_ptr<NetworkBannerView> m_view;
    Dictionary m_attributes;
};

} // namespace murmelo
