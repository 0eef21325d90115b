#include "app/ads/AdWhirlAdNetworkAdapter.h"

#include "app/ads/AdWhirlDelegate.h"
#include "app/ads/AdWhirlLog.h"
#include "app/ads/AdWhirlView.h"

namespace murmelo {

AdWhirlAdNetworkAdapter::AdWhirlAdNetworkAdapter(std::weak_ptr<AdWhirlDelegate> delegate,
                                                 std::weak_ptr<AdWhirlView> view,
                                                 std::shared_ptr<AdWhirlConfig> config,
                                                 std::shared_ptr<const AdWhirlAdNetworkConfig> networkConfig)
    : m_adWhirlDelegate(std::move(delegate)), m_adWhirlView(std::move(view)),
      m_adWhirlConfig(std::move(config)), m_networkConfig(std::move(networkConfig)) {}

void AdWhirlAdNetworkAdapter::rotateToOrientation(int orientation) {
    AWLogDebug("rotate to orientation %d called for adapter %p", orientation, static_cast<void*>(this));
}

void AdWhirlAdNetworkAdapter::helperNotifyDelegateOfFullScreenModal() {
    if (auto view = adWhirlView()) {
        view->setShowingModalView(true);
    }
    if (auto delegate = adWhirlDelegate()) {
        delegate->adWhirlWillPresentFullScreenModal();
    }
}

void AdWhirlAdNetworkAdapter::helperNotifyDelegateOfFullScreenModalDismissal() {
    if (auto delegate = adWhirlDelegate()) {
        delegate->adWhirlDidDismissFullScreenModal();
    }
    if (auto view = adWhirlView()) {
        view->setShowingModalView(false);
    }
}

} // namespace murmelo
