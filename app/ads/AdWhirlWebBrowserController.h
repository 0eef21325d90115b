// AdWhirlWebBrowserController: the in-application browser in which house ads
// open their links — a web view over a toolbar of back, forward, reload or
// stop, link-out and close. While a page loads the toolbar shows stop
// (loadingButtons); once it has loaded, reload (loadedButtons).
//
//   auto browser = std::make_shared<AdWhirlWebBrowserController>();
//   browser->setDelegate(listener);
//   browser->presentWithController(screen, transitionType);
//   browser->loadURL(url);
//
// Main thread. The presenting screen owns the browser while it is presented;
// the browser holds its delegate and presenter weakly. The delegate hears
// webBrowserClosed once the browser has disappeared after close.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WebView.h"

namespace murmelo {

class AdWhirlWebBrowserController;

class AdWhirlWebBrowserControllerDelegate {
public:
    virtual ~AdWhirlWebBrowserControllerDelegate() = default;
    virtual void webBrowserClosed(AdWhirlWebBrowserController& controller) = 0;
};

class AdWhirlWebBrowserController : public ViewController, public WebViewDelegate {
public:
    // Toolbar positions: the reload button leaves the loading set, the stop
    // button the loaded one.
    static constexpr size_t kReloadIndex = 4;
    static constexpr size_t kStopIndex = 5;

    AdWhirlWebBrowserController();

    // The 25 by 25 back arrow: a white triangle on a transparent bitmap.
    static std::shared_ptr<const Image> backArrowImage();

    void setDelegate(std::weak_ptr<AdWhirlWebBrowserControllerDelegate> delegate) {
        m_delegate = std::move(delegate);
    }
    void presentWithController(const std::shared_ptr<ViewController>& presenter, int transitionType);
    void loadURL(const URL& url);

    // Button actions.
    void back();
    void forward();
    void reload();
    void stop();
    void linkOut();
    void close();

    const std::shared_ptr<WebView>& webView() const { return m_webView; }
    const std::shared_ptr<Toolbar>& toolBar() const { return m_toolBar; }
    const std::vector<std::shared_ptr<BarButtonItem>>& loadingButtons() const { return m_loadingButtons; }
    const std::vector<std::shared_ptr<BarButtonItem>>& loadedButtons() const { return m_loadedButtons; }
    const std::shared_ptr<BarButtonItem>& backButton() const { return m_backButton; }
    const std::shared_ptr<BarButtonItem>& forwardButton() const { return m_forwardButton; }
    const std::shared_ptr<BarButtonItem>& reloadButton() const { return m_reloadButton; }
    const std::shared_ptr<BarButtonItem>& stopButton() const { return m_stopButton; }
    const std::shared_ptr<BarButtonItem>& linkOutButton() const { return m_linkOutButton; }
    int transitionType() const { return m_transitionType; }

    // ViewController
    void loadView() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation) override;

    // WebViewDelegate
    void webViewDidStartLoad(WebView& webView) override;
    void webViewDidFinishLoad(WebView& webView) override;
    void didFailLoadWithError(WebView& webView, const Error& error) override;

private:
    std::shared_ptr<WebView> makeWebView(const Rect& frame, int tag);
    void loadEnded();

    std::weak_ptr<AdWhirlWebBrowserControllerDelegate> m_delegate;
    std::weak_ptr<ViewController> m_viewControllerForPresenting;
    std::vector<std::shared_ptr<BarButtonItem>> m_loadingButtons;
    std::vector<std::shared_ptr<BarButtonItem>> m_loadedButtons;
    int m_transitionType = 0;
    std::shared_ptr<WebView> m_webView;
    std::shared_ptr<Toolbar> m_toolBar;
    std::shared_ptr<BarButtonItem> m_backButton;
    std::shared_ptr<BarButtonItem> m_forwardButton;
    std::shared_ptr<BarButtonItem> m_reloadButton;
    std::shared_ptr<BarButtonItem> m_stopButton;
    std::shared_ptr<BarButtonItem> m_linkOutButton;
    std::shared_ptr<BarButtonItem> m_closeButton;
    bool m_closing = false;
};

} // namespace murmelo
