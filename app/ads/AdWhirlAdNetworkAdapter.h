// AdWhirlAdNetworkAdapter: turns one ad request of the banner into the calls
// of one ad network, and the network's answer into exactly one of the
// banner's adapter callbacks (didReceiveAdView, didFailAd or
// adapterDidFinishAdRequest). The banner makes a fresh adapter per request
// from the adapter class the registry holds for the network's type.
//
// AdWhirlAdapterClass is the "class": its type number, a name for logs and
// the factory (initWithAdWhirlDelegate:view:config:networkConfig:).
//
// Main thread. The banner owns its current and last adapter; an adapter holds
// the banner and its owner weakly, the configuration and its network entry
// strongly.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/Geometry.h"

#include "platform/ui/View.h"

namespace murmelo {

class AdWhirlView;
class AdWhirlDelegate;
class AdWhirlConfig;
class AdWhirlAdNetworkConfig;

class AdWhirlAdNetworkAdapter : public std::enable_shared_from_this<AdWhirlAdNetworkAdapter> {
public:
    AdWhirlAdNetworkAdapter(std::weak_ptr<AdWhirlDelegate> delegate, std::weak_ptr<AdWhirlView> view,
                            std::shared_ptr<AdWhirlConfig> config,
                            std::shared_ptr<const AdWhirlAdNetworkConfig> networkConfig);
    virtual ~AdWhirlAdNetworkAdapter() = default;
    AdWhirlAdNetworkAdapter(const AdWhirlAdNetworkAdapter&) = delete;
    AdWhirlAdNetworkAdapter& operator=(const AdWhirlAdNetworkAdapter&) = delete;

    // Starts the request; the answer comes later, on the main loop. The base
    // logs at critical level and fails the request: a class that does not
    // implement it must not leave the banner waiting.
    virtual void getAd();
    virtual void rotateToOrientation(int orientation);
    // Whether the banner sends impression and click pings for this network.
    virtual bool shouldSendExMetric() const { return true; }
    // The banner is done with this adapter: it must not call back any more.
    virtual void stopBeingDelegate() {}

    std::shared_ptr<AdWhirlDelegate> adWhirlDelegate() const { return m_adWhirlDelegate.lock(); }
    std::shared_ptr<AdWhirlView> adWhirlView() const { return m_adWhirlView.lock(); }
    const std::shared_ptr<AdWhirlConfig>& adWhirlConfig() const { return m_adWhirlConfig; }
    const std::shared_ptr<const AdWhirlAdNetworkConfig>& networkConfig() const { return m_networkConfig; }
    const std::shared_ptr<View>& adNetworkView() const { return m_adNetworkView; }

    void setAdWhirlDelegate(std::weak_ptr<AdWhirlDelegate> delegate) {
        m_adWhirlDelegate = std::move(delegate);
    }
    void setAdWhirlView(std::weak_ptr<AdWhirlView> view) { m_adWhirlView = std::move(view); }
    void setAdNetworkView(std::shared_ptr<View> view) { m_adNetworkView = std::move(view); }

    // Sets the banner's showingModalView, then tells the owner.
    void helperNotifyDelegateOfFullScreenModal();
    // Tells the owner, then clears the banner's showingModalView.
    void helperNotifyDelegateOfFullScreenModalDismissal();
    // The owner's adWhirlTextColor, else the configuration's textColor.
    std::optional<Color> helperTextColorToUse() const;
    // The owner's adWhirlAdBackgroundColor, else the configuration's.
    std::optional<Color> helperBackgroundColorToUse() const;
    std::optional<Color> helperSecondaryTextColorToUse() const;

private:
    std::weak_ptr<AdWhirlDelegate> m_adWhirlDelegate;
    std::weak_ptr<AdWhirlView> m_adWhirlView;
    std::shared_ptr<AdWhirlConfig> m_adWhirlConfig;
    std::shared_ptr<const AdWhirlAdNetworkConfig> m_networkConfig;
    std::shared_ptr<View> m_adNetworkView;
};

struct AdWhirlAdapterClass {
    using Factory = std::function<std::shared_ptr<AdWhirlAdNetworkAdapter>(
        std::weak_ptr<AdWhirlDelegate>, std::weak_ptr<AdWhirlView>, std::shared_ptr<AdWhirlConfig>,
        std::shared_ptr<const AdWhirlAdNetworkConfig>)>;

    int networkType = 0;
    std::string name;
    Factory create;
};

// The class record of an adapter type that has a kNetworkType and the
// constructor every adapter shares.
template <class Adapter> AdWhirlAdapterClass adapterClassOf(const char* name) {
    AdWhirlAdapterClass adapterClass;
    adapterClass.networkType = Adapter::kNetworkType;
    adapterClass.name = name;
    adapterClass.create = [](auto delegate, auto view, auto config, auto network) {
        return std::make_shared<Adapter>(std::move(delegate), std::move(view), std::move(config),
                                         std::move(network));
    };
    return adapterClass;
}

} // namespace murmelo
