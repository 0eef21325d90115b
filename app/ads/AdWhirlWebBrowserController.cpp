#include "app/ads/AdWhirlWebBrowserController.h"

#include "platform/graphics/ImageContext.h"
#include "platform/ui/Application.h"

namespace murmelo {

namespace {

const Rect kViewFrame(0, 0, 320, 460);
const Rect kWebViewFrame(0, 0, 320, 416);
const Rect kToolBarFrame(0, 416, 320, 44);

} // namespace

AdWhirlWebBrowserController::AdWhirlWebBrowserController() = default;

std::shared_ptr<const Image> AdWhirlWebBrowserController::backArrowImage() {
    auto offscreen = ImageContext::create(Size{25, 25});
    if (!offscreen) {
        return nullptr;
    }
    DrawingContext& context = (*offscreen)->context();
    context.setFillColor(Color::whiteColor());
    context.moveToPoint(19, 2);
    context.addLineToPoint(4, 11);
    context.addLineToPoint(19, 20);
    context.closePath();
    context.fillPath();
    return (*offscreen)->image();
}

std::shared_ptr<WebView> AdWhirlWebBrowserController::makeWebView(const Rect& frame, int tag) {
    auto web = std::make_shared<WebView>(frame);
    web->setTag(tag);
    web->setScalesPageToFit(true);
    web->setDelegate(sharedAs<AdWhirlWebBrowserController>());
    return web;
}

void AdWhirlWebBrowserController::loadView() {
    auto root = std::make_shared<View>(kViewFrame);
    setView(root);
    auto self = sharedAs<AdWhirlWebBrowserController>();
    m_webView = makeWebView(kWebViewFrame, 0);
    m_backButton = BarButtonItem::withImage(backArrowImage(), BarButtonItemStyle::Plain, self,
                                            &AdWhirlWebBrowserController::back);
    m_forwardButton =
        BarButtonItem::withSystemItem(BarButtonSystemItem::Play, self, &AdWhirlWebBrowserController::forward);
    m_reloadButton = BarButtonItem::withSystemItem(BarButtonSystemItem::Refresh, self,
                                                   &AdWhirlWebBrowserController::reload);
    m_stopButton =
        BarButtonItem::withSystemItem(BarButtonSystemItem::Stop, self, &AdWhirlWebBrowserController::stop);
    m_linkOutButton = BarButtonItem::withSystemItem(BarButtonSystemItem::Action, self,
                                                    &AdWhirlWebBrowserController::linkOut);
    m_closeButton =
        BarButtonItem::withSystemItem(BarButtonSystemItem::Done, self, &AdWhirlWebBrowserController::close);
    auto space = [] { return BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace); };
    // Positions 4 and 5 hold reload and stop (kReloadIndex, kStopIndex).
    std::vector<std::shared_ptr<BarButtonItem>> items = {
        m_backButton, space(), m_forwardButton, space(), m_reloadButton,
        m_stopButton, space(), m_linkOutButton, space(), m_closeButton};
    m_toolBar = std::make_shared<Toolbar>(kToolBarFrame);
    m_toolBar->setItems(items);
    m_loadingButtons = items;
    m_loadingButtons.erase(m_loadingButtons.begin() + kReloadIndex);
    m_loadedButtons = items;
    m_loadedButtons.erase(m_loadedButtons.begin() + kStopIndex);
    root->addSubview(m_webView);
    root->addSubview(m_toolBar);
    m_toolBar->setItems(m_loadedButtons);
    loadEnded();
}

void AdWhirlWebBrowserController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    // A page from an earlier showing would flash before the new one loads.
    if (m_webView && m_webView->request()) {
        auto fresh = makeWebView(m_webView->frame(), m_webView->tag());
        if (View* parent = m_webView->superview()) {
            parent->insertSubviewBelow(fresh, *m_webView);
        }
        m_webView->setDelegate({});
        m_webView->stopLoading();
        m_webView->removeFromSuperview();
        m_webView = fresh;
    }
    if (m_toolBar) {
        m_toolBar->setItems(m_loadedButtons);
    }
    m_closing = false;
}

void AdWhirlWebBrowserController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    if (!m_closing) {
        return;
    }
    m_closing = false;
    if (auto delegate = m_delegate.lock()) {
        delegate->webBrowserClosed(*this);
    }
}

bool AdWhirlWebBrowserController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation) {
    auto presenter = m_viewControllerForPresenting.lock();
    return presenter ? presenter->shouldAutorotateToInterfaceOrientation(orientation)
                     : ViewController::shouldAutorotateToInterfaceOrientation(orientation);
}

void AdWhirlWebBrowserController::presentWithController(const std::shared_ptr<ViewController>& presenter,
                                                        int transitionType) {
    m_viewControllerForPresenting = presenter;
    m_transitionType = transitionType;
    ModalTransitionStyle style = ModalTransitionStyle::CoverVertical;
    if (transitionType == 1 || transitionType == 2) {
        style = ModalTransitionStyle::FlipHorizontal;
    } else if (transitionType == 7) {
        style = ModalTransitionStyle::CrossDissolve;
    }
    setModalTransitionStyle(style);
    presenter->presentModalViewController(sharedAs<AdWhirlWebBrowserController>(), true);
}

void AdWhirlWebBrowserController::loadURL(const URL& url) {
    (void)view(); // the web view is made with the view
    m_webView->loadRequest(URLRequest(url));
}

void AdWhirlWebBrowserController::back() {
    m_webView->goBack();
}

void AdWhirlWebBrowserController::forward() {
    m_webView->goForward();
}

void AdWhirlWebBrowserController::reload() {
    m_webView->reload();
}

void AdWhirlWebBrowserController::stop() {
    m_webView->stopLoading();
    loadEnded();
}

void AdWhirlWebBrowserController::linkOut() {
    if (m_webView && m_webView->request()) {
        (void)Application::sharedApplication().openURL(m_webView->request()->url);
    }
}

void AdWhirlWebBrowserController::close() {
    auto presenter = m_viewControllerForPresenting.lock();
    if (!presenter) {
        return;
    }
    m_closing = true;
    presenter->dismissModalViewControllerAnimated(true);
}

void AdWhirlWebBrowserController::webViewDidStartLoad(WebView&) {
    Application::sharedApplication().setNetworkActivityIndicatorVisible(true);
    m_toolBar->setItems(m_loadingButtons);
    m_backButton->setEnabled(false);
    m_forwardButton->setEnabled(false);
    m_reloadButton->setEnabled(false);
    m_stopButton->setEnabled(true);
}

void AdWhirlWebBrowserController::webViewDidFinishLoad(WebView&) {
    loadEnded();
}

void AdWhirlWebBrowserController::didFailLoadWithError(WebView&, const Error&) {
    loadEnded();
}

void AdWhirlWebBrowserController::loadEnded() {
    Application::sharedApplication().setNetworkActivityIndicatorVisible(false);
    m_toolBar->setItems(m_loadedButtons);
    m_forwardButton->setEnabled(m_webView->canGoForward());
    m_backButton->setEnabled(m_webView->canGoBack());
    m_reloadButton->setEnabled(true);
    m_stopButton->setEnabled(false);
    m_linkOutButton->setEnabled(m_webView->request().has_value());
}

} // namespace murmelo
