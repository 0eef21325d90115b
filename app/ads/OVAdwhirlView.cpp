#include "app/ads/OVAdwhirlView.h"

namespace murmelo {

std::shared_ptr<OVAdwhirlView>
OVAdwhirlView::requestAdViewWithChannels(std::vector<std::string> channels,
                                         std::optional<std::string> keywords,
                                         std::weak_ptr<ViewController> viewController) {
    auto host = std::make_shared<OVAdwhirlView>(Rect(0, 0, kWidth, kHeight));
    host->m_channels = std::move(channels);
    host->m_keywords = std::move(keywords);
    host->m_placedViewController = std::move(viewController);
    return host;
}

OVAdwhirlView::OVAdwhirlView(const Rect& frame) : View(frame) {}

void OVAdwhirlView::refreshAdWithKeywords(const std::optional<std::string>& keywords,
                                          const std::vector<std::string>& channels) {
    if (keywords && !keywords->empty()) {
        m_keywords = keywords;
    }
    if (!channels.empty()) {
        m_channels = channels;
    }
}

} // namespace murmelo
