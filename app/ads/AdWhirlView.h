// AdWhirlView: the rotating banner — a 320 by 50 view that obtains its
// mediation configuration, picks a network by weight, asks that network's
// adapter for an ad, rolls over through the remaining networks by priority
// when one fails, shows the ad it gets (tag 1000) with a transition, pings the
// metrics server on impressions and clicks, and asks again when its refresh
// timer fires.
//
//   auto banner = AdWhirlView::requestAdWhirlViewWithDelegate(owner);
//   if (banner) host->addSubview(*banner);
//
// Guards beyond the bare rotation: a request made while one is in flight or
// while new requests are ignored is reported and goes no further; an adapter
// that does not answer within kRequestTimeoutSeconds fails and rolls over;
// the weighted choice uses the banner's own generator, seeded once; a click is
// counted on a touch that ends inside the banner, and showingModalView clears
// when the presented screen goes away.
//
// Main thread; timers follow Timer::now(). The owner (delegate) is held
// weakly; the banner owns its current and last adapter.
#pragma once

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/ads/AdWhirlAdNetworkAdapter.h"
#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlDelegate.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/runloop/Timer.h"
#include "platform/ui/View.h"

namespace murmelo {

class AdWhirlView : public View, public AdWhirlConfigDelegate {
public:
    static constexpr int kAdViewTag = 1000;
    static constexpr double kMinimumRequestInterval = 1.9;
    static constexpr double kRequestTimeoutSeconds = 15.0;
    static constexpr double kTransitionDuration = 1.0;
    static constexpr const char* kIncompleteDelegateException = "AdWhirlIncompleteDelegateException";

    // requestAdWhirlViewWithDelegate: — an error (domain
    // "AdWhirlIncompleteDelegateException") when the delegate does not answer
    // viewControllerForPresentingModalView.
    static Result<std::shared_ptr<AdWhirlView>>
    requestAdWhirlViewWithDelegate(const std::shared_ptr<AdWhirlDelegate>& delegate);
    // Fetches the configuration of the delegate's key ahead of any banner; the
    // delegate hears adWhirlDidReceiveConfig (without a banner). Only the
    // first call counts.
    static void
    startPreFetchingConfigurationDataWithDelegate(const std::shared_ptr<AdWhirlDelegate>& delegate);
    // The generator seed of banners made from now on (tests); none: random.
    static void setRandomSeedForTesting(std::optional<unsigned> seed);

    AdWhirlView();
    ~AdWhirlView() override;

    void setDelegate(std::weak_ptr<AdWhirlDelegate> delegate);
    std::shared_ptr<AdWhirlDelegate> delegate() const { return m_delegate.lock(); }

    // ---- requests and control
    void requestFreshAd();
    void rollOver();
    void ignoreAutoRefreshTimer() { m_ignoreAutoRefreshTimer = true; }
    void doNotIgnoreAutoRefreshTimer() { m_ignoreAutoRefreshTimer = false; }
    void ignoreNewAdRequests() { m_ignoreNewAdRequests = true; }
    void doNotIgnoreNewAdRequests() { m_ignoreNewAdRequests = false; }
    bool adExists() const;
    std::optional<std::string> mostRecentNetworkName() const;
    Size actualAdSize() const;
    void rotateToOrientation(int orientation);
    void replaceBannerViewWith(const std::shared_ptr<View>& view) { transitionToView(view); }

    const std::optional<Error>& lastError() const { return m_lastError; }
    // What the last failing adapter reported (nothing for a failure without
    // an error); lastError holds the banner's own verdict.
    const std::optional<Error>& lastAdapterError() const { return m_lastAdapterError; }
    bool showingModalView() const { return m_showingModalView; }
    void setShowingModalView(bool showing) { m_showingModalView = showing; }
    // Application state, from the platform's notifications.
    void resignActive();
    void becomeActive();

    // ---- adapter-facing
    void didReceiveAdView(AdWhirlAdNetworkAdapter& adapter, const std::shared_ptr<View>& view);
    void didFailAd(AdWhirlAdNetworkAdapter& adapter, const std::optional<Error>& error);
    void adapterDidFinishAdRequest(AdWhirlAdNetworkAdapter& adapter);
    void transitionToView(const std::shared_ptr<View>& view);

    // ---- AdWhirlConfigDelegate
    void adWhirlConfigDidReceiveConfig(AdWhirlConfig& config) override;
    void adWhirlConfigDidFail(AdWhirlConfig& config, const Error& error) override;
    std::optional<URL> adWhirlConfigURL() override;

    // ---- state, for the owner, the driver and tests
    const std::shared_ptr<AdWhirlConfig>& config() const { return m_config; }
    const std::vector<std::shared_ptr<const AdWhirlAdNetworkConfig>>& prioritizedAdNetworks() const {
        return m_prioritizedAdNetworks;
    }
    int totalPercent() const { return m_totalPercent; }
    bool requesting() const { return m_requesting; }
    bool appInactive() const { return m_appInactive; }
    bool isIgnoringAutoRefreshTimer() const { return m_ignoreAutoRefreshTimer; }
    bool isIgnoringNewAdRequests() const { return m_ignoreNewAdRequests; }
    bool canRefresh() const { return !m_ignoreAutoRefreshTimer && !m_appInactive && !m_showingModalView; }
    bool hasRefreshTimer() const { return m_refreshTimer.isValid(); }
    const std::shared_ptr<AdWhirlAdNetworkAdapter>& currAdapter() const { return m_currAdapter; }
    const std::shared_ptr<AdWhirlAdNetworkAdapter>& lastAdapter() const { return m_lastAdapter; }
    // The weighted choice over the current list (nothing when no network
    // carries weight).
    std::shared_ptr<const AdWhirlAdNetworkConfig> nextNetworkByPercent();
    std::shared_ptr<const AdWhirlAdNetworkConfig> nextNetworkByPriority() const;
    // Rebuilds the list of networks to try from the configuration, by priority.
    void prepAdNetworks();

    // ---- View
    void willMoveToSuperview(View* newSuperview) override;
    void touchesEnded(const TouchSet& touches, const Event* event) override;
    void dump(ScreenDumpWriter& writer) const override;

protected:
    void initWithDelegate(const std::shared_ptr<AdWhirlDelegate>& delegate);

private:
    enum class RequestKind { First, RollOver };

    void requestFreshAdInternal();
    void makeAdRequest(RequestKind kind);
    void reportFailure(Error error, bool usingBackup);
    void scheduleNextAdRefresh();
    void requestFreshAdTimer();
    void requestTimedOut();
    void notifyExImpression(const AdWhirlAdNetworkConfig& network);
    void notifyExClick(const AdWhirlAdNetworkConfig& network);
    void metricPing(const URL& baseURL, const AdWhirlAdNetworkConfig& network);
    void newAdAnimationDidStop(const std::string& animationID, bool finished, void* context);
    void finishTransition(const std::shared_ptr<View>& oldView);
    void detachLastAdapter();
    bool isCurrent(const AdWhirlAdNetworkAdapter& adapter) const { return m_currAdapter.get() == &adapter; }
    int pickAnimationType();

    std::weak_ptr<AdWhirlDelegate> m_delegate;
    std::shared_ptr<AdWhirlConfig> m_config;
    std::vector<std::shared_ptr<const AdWhirlAdNetworkConfig>> m_prioritizedAdNetworks;
    int m_totalPercent = 0;
    bool m_ignoreAutoRefreshTimer = false;
    bool m_ignoreNewAdRequests = false;
    bool m_appInactive = false;
    bool m_showingModalView = false;
    bool m_requesting = false;
    std::shared_ptr<AdWhirlAdNetworkAdapter> m_currAdapter;
    std::shared_ptr<AdWhirlAdNetworkAdapter> m_lastAdapter;
    std::optional<double> m_lastRequestTime;
    Timer m_refreshTimer;
    Timer m_requestTimeout;
    std::weak_ptr<AdWhirlAdNetworkAdapter> m_lastNotifyAdapter;
    std::optional<Error> m_lastError;
    std::optional<Error> m_lastAdapterError;
    std::mt19937 m_random;
    std::shared_ptr<View> m_outgoingView; // the old ad while a transition runs
    ObserverToken m_resignActiveObserver;
    ObserverToken m_becomeActiveObserver;
};

// ARRollerView: the banner under its older calling convention — made without
// the delegate check; getNextAd is requestFreshAd.
class ARRollerView : public AdWhirlView {
public:
    static std::shared_ptr<ARRollerView>
    requestRollerViewWithDelegate(const std::shared_ptr<AdWhirlDelegate>& delegate);
    void getNextAd() { requestFreshAd(); }
    void setDelegateToNil() { setDelegate({}); }
};

} // namespace murmelo
