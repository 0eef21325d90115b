// ADActionViewController: an iAd's page, full screen — a web view under a
// bar with a Done button. The banner presents it when its ad is tapped and
// hears when it has gone (after Done or cancelBannerViewAction()).
// Main thread.
#pragma once

#include <memory>

#include "platform/net/URL.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WebView.h"

namespace murmelo {

class ADBannerView;

class ADActionViewController : public ViewController {
public:
    ADActionViewController(std::weak_ptr<ADBannerView> banner, URL page);

    void loadView() override;
    void viewDidDisappear(bool animated) override;
    void done();
    const std::shared_ptr<WebView>& webView() const { return m_webView; }

private:
    std::weak_ptr<ADBannerView> m_banner;
    URL m_page;
    std::shared_ptr<WebView> m_webView;
    std::shared_ptr<Toolbar> m_toolBar;
    bool m_closing = false;
};

} // namespace murmelo
