// OVAdwhirlView: the banner host a web screen places at the bottom of its
// view — a 320 by 50 view that owns the rotating banner (AdWhirlView) as its
// subview, is its delegate, and hands it the application key, the screen for
// modal presentations and the AdSense keywords and channels. While an AdSense
// ad shows, the banner's own refresh timer is switched off; explicit
// refreshes still get through.
//
// Main thread only. The screen that places the host owns it (as a subview);
// the host owns the banner and holds that screen weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ads/AdWhirlDelegate.h"
#include "app/ads/AdWhirlView.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace murmelo {

class OVAdwhirlView : public View, public AdWhirlDelegate {
public:
    static constexpr double kWidth = 320;
    static constexpr double kHeight = 50;

    // requestAdViewWithChannels:keywords:viewController: — a host with frame
    // (0, 0, 320, 50) and its banner, which starts fetching its configuration.
    static std::shared_ptr<OVAdwhirlView>
    requestAdViewWithChannels(std::vector<std::string> channels, std::optional<std::string> keywords,
                              std::weak_ptr<ViewController> viewController);

    explicit OVAdwhirlView(const Rect& frame);

    // Keeps the previous keywords when `keywords` is nothing or "", and the
    // previous channels when `channels` is empty; then asks for a fresh ad.
    void refreshAdWithKeywords(const std::optional<std::string>& keywords,
                               const std::vector<std::string>& channels);

    std::shared_ptr<ViewController> placedViewController() const { return m_placedViewController.lock(); }
    const std::shared_ptr<AdWhirlView>& adWhirlView() const { return m_adWhirlView; }
    const std::vector<std::string>& channels() const { return m_channels; }
    const std::optional<std::string>& keywords() const { return m_keywords; }

    // ---- AdWhirlDelegate
    std::string adWhirlApplicationKey() override;
    std::optional<std::shared_ptr<ViewController>> viewControllerForPresentingModalView() override;
    std::optional<std::string> googleAdSenseCompanyName() override;
    std::optional<std::string> googleAdSenseAppName() override;
    std::optional<std::string> googleAdSenseApplicationAppleID() override;
    std::optional<std::string> googleAdSenseKeywords() override { return m_keywords; }
    std::optional<std::vector<std::string>> googleAdSenseChannelIDs() override { return m_channels; }
    std::optional<std::string> keywords() override { return m_keywords; }
    void adWhirlDidReceiveAd(AdWhirlView& view) override;
    void adWhirlDidFailToReceiveAd(AdWhirlView& view, bool usingBackup) override;

    void dump(ScreenDumpWriter& writer) const override;

private:
    std::weak_ptr<ViewController> m_placedViewController;
    std::shared_ptr<AdWhirlView> m_adWhirlView;
    std::vector<std::string> m_channels;
    std::optional<std::string> m_keywords;
};

} // namespace murmelo
