#include "app/ads/AdWhirlView.h"

#include <algorithm>
#include <cinttypes>

#include "app/ads/AdWhirlError.h"
#include "app/ads/AdWhirlLog.h"
#include "app/product/Constants.h"
#include "platform/foundation/Locale.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/Perform.h"
#include "platform/ui/Application.h"
#include "platform/ui/Event.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

namespace {

std::optional<unsigned>& randomSeedForTesting() {
    static std::optional<unsigned> seed;
    return seed;
}

// Metric pings are fire and forget: the answer is read and dropped.
class IgnoringDelegate : public URLConnectionDelegate {};

constexpr double kMetricPingTimeout = 30.0;

} // namespace

void AdWhirlView::setRandomSeedForTesting(std::optional<unsigned> seed) {
    randomSeedForTesting() = seed;
}

Result<std::shared_ptr<AdWhirlView>>
AdWhirlView::requestAdWhirlViewWithDelegate(const std::shared_ptr<AdWhirlDelegate>& delegate) {
    if (!delegate || !delegate->viewControllerForPresentingModalView()) {
        return Error(kIncompleteDelegateException, 0,
                     "AdWhirlDelegate must implement viewControllerForPresentingModalView");
    }
    auto banner = std::make_shared<AdWhirlView>();
    banner->initWithDelegate(delegate);
    return banner;
}

namespace {

// The class-level listener of startPreFetchingConfigurationDataWithDelegate.
class PreFetchListener : public AdWhirlConfigDelegate {
public:
    explicit PreFetchListener(std::weak_ptr<AdWhirlDelegate> delegate) : m_delegate(std::move(delegate)) {}
    void adWhirlConfigDidReceiveConfig(AdWhirlConfig& config) override {
        AWLogDebug("Fetched Ad network config: %s", config.description().c_str());
        if (auto delegate = m_delegate.lock()) {
            delegate->adWhirlDidReceiveConfig(nullptr);
        }
    }
    void adWhirlConfigDidFail(AdWhirlConfig&, const Error& error) override {
        AWLogError("Failed pre-fetching AdWhirl config: %s", error.localizedDescription().c_str());
    }
    std::optional<URL> adWhirlConfigURL() override {
        auto delegate = m_delegate.lock();
        return delegate ? delegate->adWhirlConfigURL() : std::nullopt;
    }

private:
    std::weak_ptr<AdWhirlDelegate> m_delegate;
};

} // namespace

void AdWhirlView::startPreFetchingConfigurationDataWithDelegate(
    const std::shared_ptr<AdWhirlDelegate>& delegate) {
    static std::shared_ptr<PreFetchListener>* listener = nullptr; // class-wide, kept for the process
    if (listener || !delegate) {
        return;
    }
    listener = new std::shared_ptr<PreFetchListener>(std::make_shared<PreFetchListener>(delegate));
    (void)AdWhirlConfig::fetchConfig(delegate->adWhirlApplicationKey(), *listener);
}

std::shared_ptr<ARRollerView>
ARRollerView::requestRollerViewWithDelegate(const std::shared_ptr<AdWhirlDelegate>& delegate) {
    auto roller = std::make_shared<ARRollerView>();
    if (delegate) {
        roller->initWithDelegate(delegate);
    }
    return roller;
}

AdWhirlView::AdWhirlView() : View(Rect(0, 0, 320, 50)) {
    const unsigned seed = randomSeedForTesting() ? *randomSeedForTesting() : std::random_device{}();
    m_random.seed(seed);
    setBackgroundColor(Color::clearColor());
    setClipsToBounds(true);
}

AdWhirlView::~AdWhirlView() {
    if (m_config) {
        m_config->removeDelegate(this);
    }
    for (auto* adapter : {&m_currAdapter, &m_lastAdapter}) {
        if (*adapter) {
            (*adapter)->stopBeingDelegate();
            (*adapter)->setAdWhirlDelegate({});
            (*adapter)->setAdWhirlView({});
        }
    }
}

void AdWhirlView::initWithDelegate(const std::shared_ptr<AdWhirlDelegate>& delegate) {
    m_delegate = delegate;
    auto self = sharedAs<AdWhirlView>();
    std::weak_ptr<AdWhirlView> weakSelf = self;
    auto& center = NotificationCenter::defaultCenter();
    m_resignActiveObserver = center.addObserver(std::string(Application::kWillResignActiveNotification),
                                                nullptr, [weakSelf](const Notification&) {
                                                    if (auto banner = weakSelf.lock()) {
                                                        banner->resignActive();
                                                    }
                                                });
    m_becomeActiveObserver = center.addObserver(std::string(Application::kDidBecomeActiveNotification),
                                                nullptr, [weakSelf](const Notification&) {
                                                    if (auto banner = weakSelf.lock()) {
                                                        banner->becomeActive();
                                                    }
                                                });
    m_config = AdWhirlConfig::fetchConfig(delegate->adWhirlApplicationKey(),
                                          std::weak_ptr<AdWhirlConfigDelegate>(self));
}

void AdWhirlView::setDelegate(std::weak_ptr<AdWhirlDelegate> delegate) {
    m_delegate = delegate;
    for (auto* adapter : {&m_currAdapter, &m_lastAdapter}) {
        if (*adapter) {
            (*adapter)->setAdWhirlDelegate(delegate);
        }
    }
}

// ---- configuration

std::optional<URL> AdWhirlView::adWhirlConfigURL() {
    auto owner = delegate();
    return owner ? owner->adWhirlConfigURL() : std::nullopt;
}

void AdWhirlView::adWhirlConfigDidReceiveConfig(AdWhirlConfig& config) {
    if (&config != m_config.get()) {
        AWLogWarn(
            "AdWhirlView: getting adWhirlConfigDidReceiveConfig callback from unknown AdWhirlConfig object");
        return;
    }
    AWLogDebug("Fetched Ad network config: %s", config.description().c_str());
    auto self = sharedAs<AdWhirlView>();
    if (auto owner = delegate()) {
        owner->adWhirlDidReceiveConfig(this);
    }
    if (config.adsAreOff()) {
        if (auto owner = delegate()) {
            owner->adWhirlReceivedNotificationAdsAreOff(*this);
        }
        return;
    }
    prepAdNetworks();
    makeAdRequest(RequestKind::First);
}

void AdWhirlView::adWhirlConfigDidFail(AdWhirlConfig& config, const Error& error) {
    if (m_config && &config != m_config.get()) {
        AWLogWarn("AdWhirlView: getting adWhirlConfigDidFail callback from unknown AdWhirlConfig object");
        return;
    }
    AWLogError("Failed fetching AdWhirl config: %s", error.localizedDescription().c_str());
    auto self = sharedAs<AdWhirlView>();
    m_lastError = error;
    if (auto owner = delegate()) {
        owner->adWhirlDidFailToReceiveAd(*this, false);
    }
}

// ---- requests

void AdWhirlView::reportFailure(Error error, bool usingBackup) {
    m_lastError = std::move(error);
    auto self = sharedAs<AdWhirlView>(); // the owner may drop the banner in its callback
    if (auto owner = delegate()) {
        owner->adWhirlDidFailToReceiveAd(*this, usingBackup);
    }
}

void AdWhirlView::requestFreshAd() {
    // Going ahead here would rebuild the network list under a request in flight.
    if (m_ignoreNewAdRequests) {
        reportFailure(AdWhirlError::errorWithCode(AdWhirlErrorCode::AdRequestIgnoredError,
                                                  "ignoreNewAdRequests flag set"),
                      false);
        return;
    }
    if (m_requesting) {
        reportFailure(AdWhirlError::errorWithCode(AdWhirlErrorCode::AdRequestInProgressError,
                                                  "Ad request already in progress"),
                      false);
        return;
    }
    if (m_config && m_config->retryFetch()) {
        return; // the request follows when the configuration arrives
    }
    requestFreshAdInternal();
}

void AdWhirlView::requestFreshAdInternal() {
    if (m_lastRequestTime) {
        const double elapsed = Timer::now() - *m_lastRequestTime;
        if (elapsed <= kMinimumRequestInterval) {
            char text[128];
            std::snprintf(text, sizeof text,
                          "Requesting fresh ad too soon! It has been only %lfs. Minimum %lfs", elapsed,
                          kMinimumRequestInterval);
            reportFailure(AdWhirlError::errorWithCode(AdWhirlErrorCode::AdRequestTooSoonError, text), false);
            return;
        }
    }
    if (!m_config) {
        reportFailure(
            AdWhirlError::errorWithCode(AdWhirlErrorCode::AdRequestNoConfigError, "No ad configuration"),
            false);
        return;
    }
    if (m_config->fetched() && m_config->adsAreOff()) {
        // No network carries weight: nothing can be chosen, so no ads.
        if (auto owner = delegate()) {
            owner->adWhirlReceivedNotificationAdsAreOff(*this);
        }
        return;
    }
    prepAdNetworks();
    makeAdRequest(RequestKind::First);
}

void AdWhirlView::rollOver() {
    if (m_ignoreNewAdRequests) {
        return;
    }
    makeAdRequest(RequestKind::RollOver);
}

void AdWhirlView::prepAdNetworks() {
    // A configuration still pending or failed has no usable networks.
    if (!m_config->fetched()) {
        m_prioritizedAdNetworks.clear();
        m_totalPercent = 0;
        return;
    }
    m_prioritizedAdNetworks = m_config->adNetworkConfigs();
    std::stable_sort(m_prioritizedAdNetworks.begin(), m_prioritizedAdNetworks.end(),
                     [](const auto& a, const auto& b) { return a->priority() < b->priority(); });
    m_totalPercent = m_config->totalWeight();
}

std::shared_ptr<const AdWhirlAdNetworkConfig> AdWhirlView::nextNetworkByPercent() {
    if (m_totalPercent <= 0) {
        return nullptr;
    }
    std::uniform_int_distribution<int> darts(0, m_totalPercent - 1);
    const int dart = darts(m_random);
    long long sum = 0;
    for (const auto& network : m_prioritizedAdNetworks) {
        sum += network->trafficPercentage();
        if (sum > dart) {
            AWLogDebug("nextNetworkByPercent chosen %s (%s), dart %d in %d", network->nid().c_str(),
                       network->networkName().c_str(), dart, m_totalPercent);
            return network;
        }
    }
    return nullptr;
}

std::shared_ptr<const AdWhirlAdNetworkConfig> AdWhirlView::nextNetworkByPriority() const {
    if (m_prioritizedAdNetworks.empty()) {
        return nullptr;
    }
    const auto& network = m_prioritizedAdNetworks.front();
    AWLogDebug("nextNetworkByPriority chosen %s (%s)", network->nid().c_str(),
               network->networkName().c_str());
    return network;
}

void AdWhirlView::makeAdRequest(RequestKind kind) {
    if (!RunLoop::isMainThread()) {
        std::weak_ptr<AdWhirlView> weakSelf = sharedAs<AdWhirlView>();
        (void)performOnMainThread(
            [weakSelf, kind] {
                if (auto banner = weakSelf.lock()) {
                    banner->makeAdRequest(kind);
                }
            },
            WaitUntilDone::No);
        return;
    }
    if (m_prioritizedAdNetworks.empty()) {
        reportFailure(AdWhirlError::errorWithCode(AdWhirlErrorCode::AdRequestNoMoreAdNetworks,
                                                  "No more ad networks for roll over"),
                      false);
        return;
    }
    if (m_requesting) {
        AWLogWarn("Already requesting ad");
        return;
    }
    auto network = kind == RequestKind::First ? nextNetworkByPercent() : nextNetworkByPriority();
    if (!network) {
        // Only networks without weight are left: nothing is chosen by weight.
        reportFailure(AdWhirlError::errorWithCode(AdWhirlErrorCode::AdRequestNoMoreAdNetworks,
                                                  "No more ad networks for roll over"),
                      false);
        return;
    }
    m_requesting = true;
    auto self = sharedAs<AdWhirlView>();
    auto adapter = network->adapterClass()->create(m_delegate, self, m_config, network);
    if (m_lastAdapter && m_lastAdapter != m_currAdapter) {
        detachLastAdapter();
    }
    m_lastAdapter = m_currAdapter;
    m_currAdapter = adapter;
    std::erase(m_prioritizedAdNetworks, network);
    m_lastRequestTime = Timer::now();
    std::weak_ptr<AdWhirlView> weakSelf = self;
    m_requestTimeout = Timer(kRequestTimeoutSeconds, Timer::Repeats::No, [weakSelf] {
        if (auto banner = weakSelf.lock()) {
            banner->requestTimedOut();
        }
    });
    adapter->getAd();
}

void AdWhirlView::requestTimedOut() {
    if (!m_requesting || !m_currAdapter) {
        return;
    }
    auto adapter = m_currAdapter;
    adapter->stopBeingDelegate();
    didFailAd(*adapter, AdWhirlError::errorWithCode(AdWhirlErrorCode::AdRequestNoMoreAdNetworks,
                                                    "Ad network did not answer in time"));
}

// ---- adapter callbacks

void AdWhirlView::didReceiveAdView(AdWhirlAdNetworkAdapter& adapter, const std::shared_ptr<View>& view) {
    if (!isCurrent(adapter) || !view) {
        return; // a late answer of an adapter the banner gave up on
    }
    auto self = sharedAs<AdWhirlView>();
    View* shownBefore = viewWithTag(kAdViewTag);
    AWLogDebug("Received ad from adapter (nid %s)", adapter.networkConfig()->nid().c_str());
    m_requestTimeout.invalidate();
    transitionToView(view);
    m_requesting = false;
    if (adapter.shouldSendExMetric()) {
        notifyExImpression(*adapter.networkConfig());
    }
    if (auto owner = delegate()) {
        owner->adWhirlDidReceiveAd(*this);
    }
    if (view.get() != shownBefore) {
        scheduleNextAdRefresh();
    }
}

void AdWhirlView::adapterDidFinishAdRequest(AdWhirlAdNetworkAdapter& adapter) {
    if (!isCurrent(adapter)) {
        return;
    }
    m_requestTimeout.invalidate();
    m_requesting = false;
    if (adapter.shouldSendExMetric()) {
        notifyExImpression(*adapter.networkConfig());
    }
    scheduleNextAdRefresh();
}

void AdWhirlView::didFailAd(AdWhirlAdNetworkAdapter& adapter, const std::optional<Error>& error) {
    if (!isCurrent(adapter) || !m_requesting) {
        return;
    }
    AWLogDebug("Failed to receive ad from adapter (nid %s): %s", adapter.networkConfig()->nid().c_str(),
               error ? error->localizedDescription().c_str() : "(null)");
    m_requestTimeout.invalidate();
    m_requesting = false;
    m_lastAdapterError = error;
    auto self = sharedAs<AdWhirlView>();
    if (!m_prioritizedAdNetworks.empty()) {
        m_lastError.reset();
        if (auto owner = delegate()) {
            owner->adWhirlDidFailToReceiveAd(*this, true);
        }
        // Never inside the failing adapter's callback.
        std::weak_ptr<AdWhirlView> weakSelf = self;
        RunLoop::current().post([weakSelf] {
            if (auto banner = weakSelf.lock()) {
                banner->rollOver();
            }
        });
        return;
    }
    reportFailure(AdWhirlError::errorWithCode(AdWhirlErrorCode::AdRequestNoMoreAdNetworks,
                                              "No more ad networks for roll over"),
                  false);
}

// ---- refresh

void AdWhirlView::scheduleNextAdRefresh() {
    const double interval = m_config ? m_config->refreshInterval() : 0;
    if (interval <= kMinimumRequestInterval || m_ignoreNewAdRequests) {
        return;
    }
    AWLogDebug("Scheduling next ad refresh after %lfs", interval);
    std::weak_ptr<AdWhirlView> weakSelf = sharedAs<AdWhirlView>();
    m_refreshTimer = Timer(interval, Timer::Repeats::No, [weakSelf] {
        if (auto banner = weakSelf.lock()) {
            banner->requestFreshAdTimer();
        }
    });
}

void AdWhirlView::requestFreshAdTimer() {
    m_refreshTimer = Timer();
    if (m_showingModalView) {
        // The presented screen may have been closed by someone other than the adapter.
        auto owner = delegate();
        auto presenter = owner ? owner->viewControllerForPresentingModalView() : std::nullopt;
        if (!presenter || !*presenter || !(*presenter)->modalViewController()) {
            m_showingModalView = false;
        }
    }
    if (!canRefresh()) {
        scheduleNextAdRefresh();
        return;
    }
    if (m_ignoreNewAdRequests) {
        AWLogDebug("Received ad timer, but ignoreNewAdRequests flag set. Do not make request");
        return;
    }
    if (m_requesting) {
        return;
    }
    requestFreshAdInternal();
}

void AdWhirlView::willMoveToSuperview(View* newSuperview) {
    View::willMoveToSuperview(newSuperview);
    if (!newSuperview) {
        m_refreshTimer.invalidate();
        m_refreshTimer = Timer();
    }
}

void AdWhirlView::resignActive() {
    AWLogDebug("App become inactive, AdWhirlView will stop requesting ads");
    m_appInactive = true;
}

void AdWhirlView::becomeActive() {
    AWLogDebug("App become active, AdWhirlView will resume requesting ads");
    m_appInactive = false;
}

// ---- transitions

int AdWhirlView::pickAnimationType() {
    const int type = m_config ? m_config->bannerAnimationType() : 0;
    if (type != 8) {
        return type;
    }
    const int chosen = std::uniform_int_distribution<int>(1, 7)(m_random);
    AWLogDebug("Animation type chosen by random is %d", chosen);
    return chosen;
}

void AdWhirlView::transitionToView(const std::shared_ptr<View>& view) {
    std::shared_ptr<View> current;
    for (const auto& subview : subviews()) {
        if (subview->tag() == kAdViewTag) {
            current = subview;
        }
    }
    if (current == view) {
        AWLogDebug("ignoring ad transition to itself");
        return;
    }
    view->setTag(kAdViewTag);
    auto notifyAnimated = [weakSelf = std::weak_ptr<AdWhirlView>(sharedAs<AdWhirlView>())] {
        if (auto banner = weakSelf.lock()) {
            if (auto owner = banner->delegate()) {
                owner->adWhirlDidAnimateToNewAdIn(*banner);
            }
        }
    };
    if (!current) {
        addSubview(view);
        RunLoop::current().post(notifyAnimated);
        return;
    }
    current->setTag(0);
    const int type = pickAnimationType();
    if (type == 0) {
        current->removeFromSuperview();
        addSubview(view);
        detachLastAdapter();
        RunLoop::current().post(notifyAnimated);
        return;
    }
    Rect frame = view->frame();
    if (type == 5) {
        frame.origin.x = -frame.size.width;
        view->setFrame(frame);
        addSubview(view);
    } else if (type == 6) {
        frame.origin.x = bounds().size.width;
        view->setFrame(frame);
        addSubview(view);
    } else if (type == 7) {
        view->setAlpha(0);
        addSubview(view);
    }
    // An earlier transition still running ends now: its old view goes.
    if (m_outgoingView) {
        m_outgoingView->removeFromSuperview();
    }
    m_outgoingView = current;
    AWLogDebug("Beginning AdWhirlAdTransition animation currAdView %p incoming %p",
               static_cast<void*>(current.get()), static_cast<void*>(view.get()));
    View::beginAnimations("AdWhirlAdTransition", current.get());
    View::setAnimationDelegate(weak_from_this());
    View::setAnimationDidStopSelector(&AdWhirlView::newAdAnimationDidStop);
    View::setAnimationBeginsFromCurrentState(true);
    View::setAnimationDuration(kTransitionDuration);
    switch (type) {
    case 1:
    case 2:
    case 3:
    case 4: {
        static constexpr AnimationTransition kTransitions[] = {
            AnimationTransition::FlipFromLeft, AnimationTransition::FlipFromRight,
            AnimationTransition::CurlUp, AnimationTransition::CurlDown};
        addSubview(view);
        current->removeFromSuperview();
        View::setAnimationTransition(kTransitions[type - 1], *this, false);
        break;
    }
    case 5:
    case 6:
        frame.origin.x = 0;
        view->setFrame(frame);
        break;
    case 7:
        view->setAlpha(1);
        break;
    default:
        addSubview(view);
        AWLogWarn("Unrecognized Animation type: %d", type);
        break;
    }
    View::commitAnimations();
}

void AdWhirlView::newAdAnimationDidStop(const std::string& animationID, bool finished, void* context) {
    AWLogDebug("animation %s finished %s context %p", animationID.c_str(), finished ? "YES" : "NO", context);
    if (m_outgoingView && m_outgoingView.get() == context) {
        m_outgoingView->removeFromSuperview();
        m_outgoingView.reset();
    }
    detachLastAdapter();
    auto self = sharedAs<AdWhirlView>();
    if (auto owner = delegate()) {
        owner->adWhirlDidAnimateToNewAdIn(*this);
    }
}

void AdWhirlView::detachLastAdapter() {
    if (m_lastAdapter && m_lastAdapter != m_currAdapter) {
        m_lastAdapter->stopBeingDelegate();
        m_lastAdapter->setAdWhirlDelegate({});
        m_lastAdapter->setAdWhirlView({});
    }
    m_lastAdapter.reset();
}

// ---- metrics

void AdWhirlView::notifyExImpression(const AdWhirlAdNetworkConfig& network) {
    auto owner = delegate();
    std::optional<URL> base = owner ? owner->adWhirlImpMetricURL() : std::nullopt;
    if (!base) {
        base = URL::strictParse("http://" + std::string(kMediationMetricsHost) + "/exmet.php");
    }
    if (base) {
        metricPing(*base, network);
    }
}

void AdWhirlView::notifyExClick(const AdWhirlAdNetworkConfig& network) {
    auto owner = delegate();
    std::optional<URL> base = owner ? owner->adWhirlClickMetricURL() : std::nullopt;
    if (!base) {
        base = URL::strictParse("http://" + std::string(kMediationMetricsHost) + "/exclick.php");
    }
    if (base) {
        metricPing(*base, network);
    }
}

void AdWhirlView::metricPing(const URL& baseURL, const AdWhirlAdNetworkConfig& network) {
    auto owner = delegate();
    const std::string appKey = owner ? owner->adWhirlApplicationKey() : std::string();
    const std::string query = "?appid=" + appKey + "&nid=" + network.nid() +
                              "&type=" + std::to_string(network.networkType()) +
                              "&country_code=" + Locale::currentLocale().localeIdentifier() +
                              "&appver=" + std::to_string(AdWhirlConfig::kAdWhirlAppVer) + "&client=1";
    auto url = URL::resolve(baseURL, query);
    if (!url) {
        return;
    }
    AWLogDebug("Sending metric ping to %s", url->absoluteString().c_str());
    (void)URLConnection::connectionWithRequest(
        URLRequest(*url, URLRequestCachePolicy::UseProtocolCachePolicy, kMetricPingTimeout),
        std::make_shared<IgnoringDelegate>());
}

// ---- clicks

void AdWhirlView::touchesEnded(const TouchSet& touches, const Event* event) {
    View::touchesEnded(touches, event);
    if (event && event->type != EventType::Touches) {
        return;
    }
    bool inside = false;
    for (const Touch& touch : touches) {
        inside = inside || bounds().contains(touch.locationInView(this));
    }
    if (!inside || !m_currAdapter || m_lastNotifyAdapter.lock() == m_currAdapter ||
        !m_currAdapter->shouldSendExMetric()) {
        return;
    }
    m_showingModalView = true;
    m_lastNotifyAdapter = m_currAdapter;
    notifyExClick(*m_currAdapter->networkConfig());
}

// ---- queries

bool AdWhirlView::adExists() const {
    return std::any_of(subviews().begin(), subviews().end(),
                       [](const auto& subview) { return subview->tag() == kAdViewTag; });
}

std::optional<std::string> AdWhirlView::mostRecentNetworkName() const {
    if (!m_currAdapter || !m_currAdapter->networkConfig()) {
        return std::nullopt;
    }
    return m_currAdapter->networkConfig()->networkName();
}

Size AdWhirlView::actualAdSize() const {
    if (m_currAdapter && m_currAdapter->adNetworkView()) {
        return m_currAdapter->adNetworkView()->frame().size;
    }
    return Size{320, 50};
}

void AdWhirlView::rotateToOrientation(int orientation) {
    if (m_currAdapter) {
        m_currAdapter->rotateToOrientation(orientation);
    }
}

void AdWhirlView::dump(ScreenDumpWriter& writer) const {
    std::string state;
    if (!m_config || (!m_config->fetched() && !m_config->failure())) {
        state = "waiting for configuration";
    } else if (m_config->failure()) {
        state = "configuration failed: " + m_config->failure()->localizedDescription();
    } else if (m_config->adsAreOff()) {
        state = "ads off";
    } else if (m_requesting) {
        state = "requesting " + mostRecentNetworkName().value_or("?");
    } else if (adExists()) {
        state = "showing " + mostRecentNetworkName().value_or("?");
    } else {
        state = "no ad";
    }
    if (m_lastError && !adExists() && m_config && m_config->fetched() && !m_config->adsAreOff()) {
        state += " (last error " + std::to_string(m_lastError->code()) + ": " +
                 m_lastError->localizedDescription() + ")";
    }
    writer.line("ad banner: " + state);
    writer.nested([&] { dumpSubviews(writer); });
}

} // namespace murmelo
