#include "platform/iad/ADActionViewController.h"

#include "platform/iad/ADBannerView.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/BarButtonItem.h"

namespace murmelo {

ADActionViewController::ADActionViewController(std::weak_ptr<ADBannerView> banner, URL page)
    : m_banner(std::move(banner)), m_page(std::move(page)) {}

void ADActionViewController::loadView() {
    auto root = std::make_shared<View>(Rect(0, 0, 320, 460));
    setView(root);
    auto self = sharedAs<ADActionViewController>();
    m_toolBar = std::make_shared<Toolbar>(Rect(0, 0, 320, 44));
    m_toolBar->setItems(
        {BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace),
         BarButtonItem::withSystemItem(BarButtonSystemItem::Done, self, &ADActionViewController::done)});
    m_webView = std::make_shared<WebView>(Rect(0, 44, 320, 416));
    m_webView->setScalesPageToFit(true);
    root->addSubview(m_webView);
    root->addSubview(m_toolBar);
    m_webView->loadRequest(URLRequest(m_page));
}

void ADActionViewController::done() {
    ViewController* presenter = presentingViewController();
    if (!presenter || m_closing) {
        return;
    }
    m_closing = true;
    presenter->dismissModalViewControllerAnimated(true);
}

void ADActionViewController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    if (!m_closing) {
        return;
    }
    m_closing = false;
    if (m_webView) {
        m_webView->stopLoading();
    }
    if (auto banner = m_banner.lock()) {
        banner->actionDidFinish();
    }
}

} // namespace murmelo
