// OVAdwhirlView: the banner host a web screen places at the bottom of its
// view — a 320 by 50 view that would own the rotating banner and hand it the
// AdSense keywords and channels.
//
// This build has no rotating banner: the host keeps its settings and shows
// nothing. AdUtils answers that no ads are shown, so no screen places one.
//
// Main thread only. The screen that places the host owns it (as a subview);
// the host holds that screen weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace murmelo {

class OVAdwhirlView : public View {
public:
    static constexpr double kWidth = 320;
    static constexpr double kHeight = 50;

    // requestAdViewWithChannels:keywords:viewController: — a host with frame
    // (0, 0, 320, 50) holding the settings.
    static std::shared_ptr<OVAdwhirlView>
    requestAdViewWithChannels(std::vector<std::string> channels, std::optional<std::string> keywords,
                              std::weak_ptr<ViewController> viewController);

    explicit OVAdwhirlView(const Rect& frame);

    // Keeps the previous keywords when `keywords` is nothing or "", and the
    // previous channels when `channels` is empty.
    void refreshAdWithKeywords(const std::optional<std::string>& keywords,
                               const std::vector<std::string>& channels);

    std::shared_ptr<ViewController> placedViewController() const { return m_placedViewController.lock(); }
    const std::vector<std::string>& channels() const { return m_channels; }
    const std::optional<std::string>& keywords() const { return m_keywords; }

private:
    std::weak_ptr<ViewController> m_placedViewController;
    std::vector<std::string> m_channels;
    std::optional<std::string> m_keywords;
};

} // namespace murmelo
