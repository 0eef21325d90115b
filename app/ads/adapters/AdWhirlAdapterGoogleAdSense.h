// AdWhirlAdapterGoogleAdSense (network type 14): builds the AdSense
// attribute dictionary from the owner's answers and loads a banner with the
// AdSense client. The owner must answer the company name, application name
// and application identifier; an owner that does not gets a failed request
// (error domain "NSInvalidArgumentException" with the missing operation
// named). GASParamNameToSel lists the optional owner answers and the
// attribute each fills. Main thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ads/AdWhirlAdNetworkAdapter.h"
#include "app/ads/clients/GADAdViewController.h"

namespace murmelo {

struct GASParam {
    const char* operation; // the owner's operation
    const char* attribute; // the AdSense attribute key
    std::function<std::optional<Value>(AdWhirlDelegate&)> answer;
};
const std::vector<GASParam>& GASParamNameToSel();

class AdWhirlAdapterGoogleAdSense : public AdWhirlAdNetworkAdapter, public GADAdViewControllerDelegate {
public:
    static constexpr int kNetworkType = 14;
    static AdWhirlAdapterClass adapterClass();

    using AdWhirlAdNetworkAdapter::AdWhirlAdNetworkAdapter;
    ~AdWhirlAdapterGoogleAdSense() override;

    void getAd() override;
    void stopBeingDelegate() override;
    // The attributes of a request for the current owner; an error when it
    // lacks one of the three required answers.
    Result<Dictionary> adSenseAttributes();

    const std::shared_ptr<GADAdViewController>& adViewController() const { return m_adViewController; }

    // GADAdViewControllerDelegate
    std::shared_ptr<ViewController>
    viewControllerForModalPresentation(GADAdViewController& controller) override;
    void loadSucceeded(GADAdViewController& controller, const Dictionary& results) override;
    void loadFailed(GADAdViewController& controller, const Error& error) override;
    int adControllerActionModelForAdClick(GADAdViewController& controller) override;
    void adControllerDidCloseWebsiteView(GADAdViewController& controller) override;
    void adControllerDidExpandAd(GADAdViewController&) override { helperNotifyDelegateOfFullScreenModal(); }
    void adControllerDidCollapseAd(GADAdViewController&) override {
        helperNotifyDelegateOfFullScreenModalDismissal();
    }

private:
    std::shared_ptr<GADAdViewController> m_adViewController;
};

} // namespace murmelo
