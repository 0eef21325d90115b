#include "app/ads/AdWhirlAdNetworkAdapter.h"

#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlDelegate.h"
#include "app/ads/AdWhirlError.h"
#include "app/ads/AdWhirlLog.h"
#include "app/ads/AdWhirlView.h"

namespace murmelo {

AdWhirlAdNetworkAdapter::AdWhirlAdNetworkAdapter(std::weak_ptr<AdWhirlDelegate> delegate,
                                                 std::weak_ptr<AdWhirlView> view,
                                                 std::shared_ptr<AdWhirlConfig> config,
                                                 std::shared_ptr<const AdWhirlAdNetworkConfig> networkConfig)
    : m_adWhirlDelegate(std::move(delegate)), m_adWhirlView(std::move(view)),
      m_adWhirlConfig(std::move(config)), m_networkConfig(std::move(networkConfig)) {}

void AdWhirlAdNetworkAdapter::getAd() {
    AWLogCrit("Calling getAd not allowed. Subclass of AdWhirlAdNetworkAdapter must implement -getAd.");
    if (auto view = adWhirlView()) {
        view->didFailAd(*this, Error("NSInvalidArgumentException", 0,
                                     "Subclass of AdWhirlAdNetworkAdapter must implement -getAd."));
    }
}

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

std::optional<Color> AdWhirlAdNetworkAdapter::helperTextColorToUse() const {
    if (auto delegate = adWhirlDelegate()) {
        if (auto color = delegate->adWhirlTextColor()) {
            return color;
        }
    }
    return m_adWhirlConfig ? m_adWhirlConfig->textColor() : std::nullopt;
}

std::optional<Color> AdWhirlAdNetworkAdapter::helperBackgroundColorToUse() const {
    if (auto delegate = adWhirlDelegate()) {
        if (auto color = delegate->adWhirlAdBackgroundColor()) {
            return color;
        }
    }
    return m_adWhirlConfig ? m_adWhirlConfig->backgroundColor() : std::nullopt;
}

std::optional<Color> AdWhirlAdNetworkAdapter::helperSecondaryTextColorToUse() const {
    auto delegate = adWhirlDelegate();
    return delegate ? delegate->adWhirlSecondaryTextColor() : std::nullopt;
}

} // namespace murmelo
