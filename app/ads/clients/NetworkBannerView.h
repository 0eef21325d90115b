// NetworkBannerView: the 320 by 50 banner the ad network clients (AdMobView,
// GADAdViewController) fetch, draw and open. One load is two transfers: the
// network's ad request answers a JSON ad ("img_url", "click_url", "text") or
// 204 for no ad; the image is fetched and drawn filling the banner (the text
// on the background colour when the image does not decode). A tap opens the
// click address in the in-application browser, presented from the screen the
// owner names, or outside the application.
//
//   auto view = std::make_shared<NetworkBannerView>("AdMob", listener);
//   view->load(adRequestURL);   // later: listener->bannerDidLoad or bannerDidFail
//
// Main thread. Each transfer gives up after kTransferTimeout without
// progress; destroying the view or a new load cancels what is under way.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ads/AdWhirlWebBrowserController.h"
#include "platform/core/Result.h"
#include "platform/graphics/Image.h"
#include "platform/net/URL.h"
#include "platform/net/URLConnection.h"
#include "platform/ui/BannerButton.h"

namespace murmelo {

class NetworkBannerView;
class URLDataFetch;

class NetworkBannerListener {
public:
    virtual ~NetworkBannerListener() = default;
    virtual void bannerDidLoad(NetworkBannerView& view) = 0;
    virtual void bannerDidFail(NetworkBannerView& view, const Error& error) = 0;
    // The screen to open a tapped ad's page from; nothing opens it outside.
    virtual std::shared_ptr<ViewController> bannerPresentingScreen() = 0;
    virtual void bannerWillPresentFullScreen(NetworkBannerView&) {}
    virtual void bannerDidDismissFullScreen(NetworkBannerView&) {}
};

// The networks' ad reply: an image and where a tap leads.
struct NetworkAd {
    URL imageURL;
    URL clickURL;
    std::string text;
};
// Errors of domain kNetworkBannerErrorDomain for anything else.
Result<NetworkAd> parseNetworkAd(std::string_view bytes);

inline constexpr const char* kNetworkBannerErrorDomain = "murmelo.NetworkBanner";
enum class NetworkBannerError : long { NoFill = 1, BadReply = 2, Connection = 3, Image = 4 };

class NetworkBannerView : public BannerButton, public AdWhirlWebBrowserControllerDelegate {
public:
    static constexpr double kTransferTimeout = 15.0;

    NetworkBannerView(std::string networkName, std::weak_ptr<NetworkBannerListener> listener);
    ~NetworkBannerView() override;

    void setListener(std::weak_ptr<NetworkBannerListener> listener) { m_listener = std::move(listener); }
    void load(const URL& adRequestURL);
    void cancel();
    void setAdBackgroundColor(std::optional<Color> color) { m_background = std::move(color); }
    void setTextColor(std::optional<Color> color) { m_textColor = std::move(color); }

    const std::optional<NetworkAd>& ad() const { return m_ad; }
    const std::shared_ptr<const Image>& image() const { return m_image; }
    const std::shared_ptr<AdWhirlWebBrowserController>& browser() const { return m_browser; }

    void dump(ScreenDumpWriter& writer) const override;
    void webBrowserClosed(AdWhirlWebBrowserController& controller) override;

protected:
    Face face() const override;

private:
    // Ad replies are small; images are banner-sized pictures.
    static constexpr std::size_t kReplyLimit = 2 * 1024 * 1024;
    std::shared_ptr<URLDataFetch> fetchFor();
    void fetched(URLConnection& connection, Result<std::pair<int, Data>> reply);
    void fail(NetworkBannerError code, std::string text, std::optional<Error> underlying = std::nullopt);
    void tapped();

    std::string m_networkName;
    std::weak_ptr<NetworkBannerListener> m_listener;
    std::shared_ptr<URLConnection> m_adConnection;
    std::shared_ptr<URLConnection> m_imageConnection;
    std::optional<NetworkAd> m_ad;
    std::shared_ptr<const Image> m_image;
    std::optional<Color> m_background;
    std::optional<Color> m_textColor;
    std::shared_ptr<AdWhirlWebBrowserController> m_browser;
    bool m_tapInstalled = false;
};

// The query value `text` percent-encoded (everything but A-Z a-z 0-9 - . _ ~).
std::string adQueryEncode(std::string_view text);

} // namespace murmelo
