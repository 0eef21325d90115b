// AdWhirlAdapterCustom (network type 9): house ads from the mediation server.
// One request is two transfers: "custom.php" answers a JSON description of
// the ad (parseCustomAdData), then its image is fetched and decoded, and the
// drawn AdWhirlCustomAdView goes to the banner. A tap pings the ad's click
// address and opens its link — in the system browser (launch type 1) or in
// the in-application browser (2) — but only an http or https link.
//
// The house-ad server counts its own impressions and clicks, so the banner
// sends no metric pings for this network.
//
// Main thread. While the in-application browser is open the adapter keeps
// itself alive, so the browser's close reaches it after the banner moved on.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "app/ads/AdWhirlAdNetworkAdapter.h"
#include "app/ads/AdWhirlWebBrowserController.h"
#include "app/ads/adapters/AdWhirlCustomAdView.h"
#include "platform/core/Result.h"
#include "platform/core/Value.h"
#include "platform/foundation/LocationManager.h"
#include "platform/net/URLConnection.h"

namespace murmelo {

// A parsed house-ad reply: the ad view's content and the image to fetch.
struct CustomAdData {
    AdWhirlCustomAdView::Content content;
    URL imageURL;
};

// The house-ad JSON. Errors 50 (not JSON) and 60 (not an object; a missing,
// null or unreadable integer field or "img_url"; an integer out of range).
// Optional texts and addresses of the wrong kind count as absent.
Result<CustomAdData> parseCustomAdData(std::string_view bytes);

class AdWhirlAdapterCustom : public AdWhirlAdNetworkAdapter,
                             public AdWhirlCustomAdViewDelegate,
                             public AdWhirlWebBrowserControllerDelegate {
public:
    static constexpr int kNetworkType = 9;
    // Each transfer gives up after this long without progress.
    static constexpr double kTransferTimeout = 15.0;

    static AdWhirlAdapterClass adapterClass();

    using AdWhirlAdNetworkAdapter::AdWhirlAdNetworkAdapter;
    ~AdWhirlAdapterCustom() override;

    void getAd() override;
    bool shouldSendExMetric() const override { return false; }
    void stopBeingDelegate() override;

    // The address of the ad request (base URL and query) as getAd sends it.
    std::optional<URL> customAdRequestURL();

    bool requesting() const;
    const std::shared_ptr<AdWhirlCustomAdView>& adView() const { return m_adView; }
    const std::shared_ptr<AdWhirlWebBrowserController>& webBrowserController() const {
        return m_webBrowserController;
    }

    // AdWhirlCustomAdViewDelegate
    void adTapped(AdWhirlCustomAdView& adView) override;
    // AdWhirlWebBrowserControllerDelegate
    void webBrowserClosed(AdWhirlWebBrowserController& controller) override;

private:
    class Transfer;
    enum class Leg { Ad, Image };

    void transferDidReceiveResponse(URLConnection& connection);
    void transferDidReceiveData(URLConnection& connection, const Data& data);
    void transferDidFinish(URLConnection& connection);
    void transferDidFail(URLConnection& connection, const Error& error);
    std::shared_ptr<URLConnection> startTransfer(const URL& url);
    void adDataArrived();
    void imageDataArrived();
    void fail(const Error& error);
    void setRequesting(bool requesting);
    void openInBrowser(const URL& url);

    mutable std::mutex m_lock; // guards m_requesting
    bool m_requesting = false;
    std::unique_ptr<LocationManager> m_locationManager; // made on first use
    std::shared_ptr<URLConnection> m_adConnection;
    Data m_adData;
    std::shared_ptr<URLConnection> m_imageConnection;
    Data m_imageData;
    std::shared_ptr<AdWhirlCustomAdView> m_adView;
    std::shared_ptr<AdWhirlWebBrowserController> m_webBrowserController;
    std::shared_ptr<AdWhirlAdapterCustom> m_keepAliveWhileBrowsing;
};

} // namespace murmelo
