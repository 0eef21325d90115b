// ADBannerView: the platform's iAd banner. Once it has a delegate it fetches
// an ad for its current content size from the iAd host ("banner?size=320x50"
// or "480x32"), draws it, tells the delegate, and then loads a fresh ad into
// the same view every refresh interval (the delegate hears each load again).
// A tap asks the delegate whether the ad's action may begin, then shows the
// ad's page full screen over the key window's top screen until the person
// closes it (bannerViewActionDidFinish).
//
//   auto banner = std::make_shared<ADBannerView>(Rect());
//   banner->setRequiredContentSizeIdentifiers({ADBannerContentSizeIdentifier320x50,
//                                              ADBannerContentSizeIdentifier480x32});
//   banner->setCurrentContentSizeIdentifier(ADBannerContentSizeIdentifier320x50);
//   banner->setDelegate(listener); // later: bannerViewDidLoadAd / ...DidFailToReceiveAdWithError
//
// Whether the class exists at all is the device's business (classExists(),
// from the device profile), as on phones without iAd. Main thread; the
// delegate is held weakly; every transfer gives up after kTransferTimeout.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"
#include "platform/graphics/Image.h"
#include "platform/iad/ADBannerAd.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/Timer.h"
#include "platform/ui/BannerButton.h"

namespace murmelo {

class ADBannerView;
class ADActionViewController;
class URLDataFetch;

inline constexpr const char* kADErrorDomain = "ADErrorDomain";
enum class ADError : long {
    Unknown = 0,
    ServerFailure = 1,
    InventoryUnavailable = 3,
    ConfigurationError = 4,
};

inline constexpr const char* ADBannerContentSizeIdentifier320x50 = "ADBannerContentSize320x50";
inline constexpr const char* ADBannerContentSizeIdentifier480x32 = "ADBannerContentSize480x32";
inline constexpr const char* kADBannerHost = "iadsdk.apple.example";

class ADBannerViewDelegate {
public:
    virtual ~ADBannerViewDelegate() = default;
    virtual void bannerViewDidLoadAd(ADBannerView& banner) = 0;
    virtual void bannerViewDidFailToReceiveAdWithError(ADBannerView& banner, const Error& error) = 0;
    virtual bool bannerViewActionShouldBegin(ADBannerView&, bool /*willLeaveApplication*/) { return true; }
    virtual void bannerViewActionDidFinish(ADBannerView&) {}
};

class ADBannerView : public BannerButton {
public:
    static constexpr double kDefaultRefreshInterval = 30.0;
    static constexpr double kTransferTimeout = 15.0;

    // Whether this device has the iAd banner class.
    static bool classExists();
    // 320 by 50 or 480 by 32; nothing for other identifiers.
    static std::optional<Size> sizeFromBannerContentSizeIdentifier(std::string_view identifier);

    explicit ADBannerView(const Rect& frame);
    ~ADBannerView() override;

    // The first delegate starts the first load (on the next run-loop turn).
    void setDelegate(std::weak_ptr<ADBannerViewDelegate> delegate);
    void setRequiredContentSizeIdentifiers(std::vector<std::string> identifiers);
    const std::vector<std::string>& requiredContentSizeIdentifiers() const { return m_required; }
    // Resizes the banner; an identifier not among the required ones is
    // logged and ignored.
    void setCurrentContentSizeIdentifier(const std::string& identifier);
    const std::string& currentContentSizeIdentifier() const { return m_current; }
    // Seconds between loads (0: load once); a refresh already due is
    // moved to `seconds` from now.
    void setRefreshInterval(double seconds);

    bool isBannerLoaded() const { return m_image != nullptr || (m_ad && !m_ad->text.empty()); }
    bool isBannerViewActionInProgress() const { return m_action != nullptr; }
    void cancelBannerViewAction();
    const std::optional<ADBannerAd>& ad() const { return m_ad; }
    // Loads under way; stops the refreshes.
    void stop();

    void dump(ScreenDumpWriter& writer) const override;

protected:
    Face face() const override;

private:
    friend class ADActionViewController;
    std::shared_ptr<URLDataFetch> fetchFor();
    void scheduleLoad(double delay);
    void load();
    void fetched(URLConnection& connection, Result<std::pair<int, Data>> reply);
    void loaded(ADBannerAd ad, std::shared_ptr<const Image> image);
    void fail(ADError code, std::string text, std::optional<Error> underlying = std::nullopt);
    void tapped();
    void actionDidFinish();

    std::weak_ptr<ADBannerViewDelegate> m_delegate;
    std::vector<std::string> m_required{ADBannerContentSizeIdentifier320x50};
    std::string m_current = ADBannerContentSizeIdentifier320x50;
    double m_refreshInterval = kDefaultRefreshInterval;
    bool m_started = false;
    bool m_loadedOnce = false; // a first answer came, so the timer is a refresh
    bool m_tapInstalled = false;
    Timer m_loadTimer;
    std::shared_ptr<URLConnection> m_adConnection;
    std::shared_ptr<URLConnection> m_imageConnection;
    std::optional<ADBannerAd> m_pendingAd; // fetched, its image not yet
    std::optional<ADBannerAd> m_ad;        // shown
    std::shared_ptr<const Image> m_image;
    std::shared_ptr<ADActionViewController> m_action;
};

} // namespace murmelo
