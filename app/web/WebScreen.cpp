#include "app/web/WebScreen.h"

#include <algorithm>

#include "app/ads/AdUtils.h"
#include "app/ads/OVAdwhirlView.h"
#include "app/base/OVUtils.h"
#include "app/sharing/ShareFT.h"
#include "app/sharing/ShareFTObj.h"
#include "app/web/OVAllWebViewController.h"
#include "platform/core/Log.h"
#include "platform/core/Text.h"
#include "platform/graphics/Image.h"
#include "platform/ui/NavigationController.h"

namespace murmelo {

namespace {

constexpr int kUIChannelIndex = 1;

const Rect kScreenFrame(0, 0, 320, 480);
const Rect kToolBarFrame(0, 0, 320, 44);
const Rect kWebViewFrame(0, 44, 320, 360);
const Rect kWebViewFrameWithSearchBar(0, 88, 320, 392);
const Rect kWebViewFrameAfterSearchBar(0, 44, 320, 436);
const Rect kSearchBarFrame(0, 44, 320, 44);
const Rect kTitleLabelFrame(20, 2, 260, 40);
const Rect kActivityIndicatorFrame(0, 0, 18, 18);
const Rect kBannerFrame(0, 361, 320, 50);

// The bundle's picture, or one of the same name drawn in code when the
// bundle does not carry it (the screen still shows the item and names it).
std::shared_ptr<const Image> bundleImage(const std::string& name, Size fallbackSize) {
    if (auto image = Image::imageNamed(name)) {
        return image;
    }
    return Image::imageWithSize(name, fallbackSize);
}

bool holdsHTTPScheme(std::string_view text) {
    return text.find("http://") != std::string_view::npos || text.find("https://") != std::string_view::npos;
}

} // namespace

WebScreen::WebScreen(WebScreenKind kind) : m_kind(kind) {}

WebScreen::~WebScreen() = default;

// ---- loading

void WebScreen::loadURL(const std::optional<std::string>& url) {
    if (!url) {
        return;
    }
    view();
    if (!m_webView) {
        return;
    }
    const auto& current = m_webView->request();
    if (current && current->url.absoluteString() == *url) {
        return;
    }
    if (!holdsHTTPScheme(*url)) {
        return;
    }
    if (auto request = URLRequest::requestWithURL(*url)) {
        m_webView->loadRequest(*request);
    }
}

void WebScreen::reload() {
    if (m_webView) {
        m_webView->reload();
    }
}

// ---- toolbar

void WebScreen::startLoadAnimating() {
    setToolBarActivityButtonItem();
    m_aiView->startAnimating();
}

void WebScreen::stopLoadAnimating() {
    setToolBarRefreshButtonItem();
    if (m_aiView) {
        m_aiView->stopAnimating();
    }
}

void WebScreen::setToolBarActivityButtonItem() {
    if (!m_aiView) {
        m_aiView = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::White);
        m_aiView->setHidesWhenStopped(true);
        m_aiView->setFrame(kActivityIndicatorFrame);
    }
    auto item = BarButtonItem::withCustomView(m_aiView);
    if (m_itemArray.empty()) {
        m_itemArray.push_back(item);
    } else {
        m_itemArray[0] = item;
    }
    applyToolBarItems();
}

void WebScreen::setToolBarRefreshButtonItem() {
    if (!m_refreshButtonItem) {
        return;
    }
    if (m_itemArray.empty()) {
        m_itemArray.push_back(m_refreshButtonItem);
    } else {
        m_itemArray[0] = m_refreshButtonItem;
    }
    applyToolBarItems();
}

void WebScreen::createCommonToolBarItems() {
    auto me = self<WebScreen>();
    if (!m_refreshButtonItem) {
        m_refreshButtonItem =
            BarButtonItem::withSystemItem(BarButtonSystemItem::Refresh, me, &WebScreen::reload);
    }
    if (!m_fixButtonItem) {
        m_fixButtonItem = BarButtonItem::withSystemItem(BarButtonSystemItem::FixedSpace);
    }
    if (!m_flexibleButtonItem) {
        m_flexibleButtonItem = BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace);
    }
}

void WebScreen::createCloseButtonItem() {
    if (!m_closeButtonItem) {
        m_closeButtonItem =
            BarButtonItem::withImage(bundleImage("close.png", Size{20, 20}), BarButtonItemStyle::Plain,
                                     self<WebScreen>(), &WebScreen::close);
    }
}

void WebScreen::createCommentButtonItem() {
    if (!m_commentButtonItem) {
        m_commentButtonItem = BarButtonItem::withTitle("add comment", BarButtonItemStyle::Bordered,
                                                       self<WebScreen>(), &WebScreen::addComment);
    }
}

void WebScreen::placeToolBarItems(std::initializer_list<std::shared_ptr<BarButtonItem>> items) {
    m_itemArray.insert(m_itemArray.end(), items);
    applyToolBarItems();
}

void WebScreen::applyToolBarItems() {
    if (m_toolBar) {
        m_toolBar->setItems(m_itemArray);
    }
}

void WebScreen::placeItemAtTitleSlot(const std::shared_ptr<BarButtonItem>& item) {
    if (std::find(m_itemArray.begin(), m_itemArray.end(), item) != m_itemArray.end()) {
        return; // already shown; a second copy would show one view twice
    }
    if (m_itemArray.size() == 5) {
        m_itemArray[2] = item;
    } else {
        m_itemArray.insert(m_itemArray.begin() +
                               static_cast<std::ptrdiff_t>(std::min<std::size_t>(2, m_itemArray.size())),
                           item);
    }
}

void WebScreen::setToolBarTitle(const std::string& title, const std::optional<Color>& color) {
    if (!m_titleLabel) {
        m_titleLabel = std::make_shared<Label>(kTitleLabelFrame);
        m_titleLabel->setBackgroundColor(Color::clearColor());
        m_titleLabel->setTextColor(color.value_or(Color::whiteColor()));
        m_titleLabel->setFont(Font::fontWithName("Georgia-Bold", 20));
        m_titleLabel->setTextAlignment(TextAlignment::Center);
    }
    m_titleLabel->setText(title);
    if (!m_titleItem) {
        m_titleItem = BarButtonItem::withCustomView(m_titleLabel);
    }
    placeItemAtTitleSlot(m_titleItem);
    if (m_fixButtonItem) {
        m_fixButtonItem->setWidth(0);
    }
    applyToolBarItems();
}

void WebScreen::setToolBarSegmentControlsTitle(const std::vector<std::string>& titles,
                                               const std::vector<double>& widthArray,
                                               const std::vector<std::string>& jsAction, int leftMargin) {
    m_segmentControl = std::make_shared<SegmentedControl>(titles);
    m_segmentControl->setSegmentedControlStyle(SegmentedControlStyle::Bar);
    m_segmentControl->setTintColor(Color::grayColor());
    m_segmentControl->addTarget(self<WebScreen>(), &WebScreen::segmentAction, ControlEvents::ValueChanged);
    for (std::size_t i = 0; i < widthArray.size() && i < m_segmentControl->numberOfSegments(); ++i) {
        m_segmentControl->setWidth(widthArray[i], i);
    }
    if (m_segmentControlItem) {
        std::erase(m_itemArray, m_segmentControlItem); // the old control leaves its slot
    }
    m_segmentControlItem = BarButtonItem::withCustomView(m_segmentControl);
    placeItemAtTitleSlot(m_segmentControlItem);
    if (m_fixButtonItem) {
        m_fixButtonItem->setWidth(leftMargin);
    }
    applyToolBarItems();
    m_segmentActionArray = jsAction;
}

void WebScreen::segmentAction(SegmentedControl& control) {
    int selected = control.selectedSegmentIndex();
    if (selected < 0 || static_cast<std::size_t>(selected) >= m_segmentActionArray.size()) {
        return;
    }
    const std::string& action = m_segmentActionArray[static_cast<std::size_t>(selected)];
    if (!action.empty() && action[0] == '1') {
        showSearchBar();
    } else {
        hideSearchBar();
    }
    if (action.size() > 2) {
        evaluate(action.substr(2));
    }
}

// ---- search bar

void WebScreen::showSearchBar() {
    if (!m_searchBar) {
        m_searchBar = std::make_shared<SearchBar>(kSearchBarFrame);
        m_searchBar->setTintColor(Color::blackColor());
        m_searchBar->setDelegate(self<WebScreen>());
    }
    const auto& root = view();
    if (m_searchBar->superview() != root.get()) {
        if (m_webView) {
            m_webView->setFrame(kWebViewFrameWithSearchBar);
        }
        root->addSubview(m_searchBar);
    }
}

void WebScreen::hideSearchBar() {
    if (m_searchBar && isViewLoaded() && m_searchBar->superview() == view().get()) {
        if (m_webView) {
            m_webView->setFrame(kWebViewFrameAfterSearchBar);
        }
        m_searchBar->removeFromSuperview();
    }
}

void WebScreen::searchBarSearchButtonClicked(SearchBar& searchBar) {
    evaluate("search(" + text::scriptString(searchBar.text(), text::QuoteMark::Single) + ");");
}

void WebScreen::swipeLeft(Object*) {
    evaluate(kNextPageScript);
}

void WebScreen::swipeRight(Object*) {
    evaluate(kPrevPageScript);
}

void WebScreen::evaluate(const std::string& script) {
    if (m_webView) {
        (void)m_webView->stringByEvaluatingJavaScriptFromString(script);
    }
}

// ---- leaving

void WebScreen::close() {
    if (NavigationController* navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

void WebScreen::addComment() {
    if (!m_postCommentVC) {
        m_postCommentVC = std::make_shared<PostCommentViewController>();
    }
    m_postCommentVC->setSecret_id(m_secretId);
    presentModalViewController(m_postCommentVC, true);
}

// ---- advertising

int WebScreen::bannerTag() const {
    return 3001;
}

int WebScreen::removedBannerTag() const {
    return 6002;
}

void WebScreen::refreshAds() {
    const auto& root = view();
    View* banner = root->viewWithTag(bannerTag());
    AdUtils& ads = AdUtils::sharedAdUtils();
    if (ads.shouldShowAds()) {
        if (!banner) {
            auto host = OVAdwhirlView::requestAdViewWithChannels(
                ads.getAdsenseChannelsForUIIndex(kUIChannelIndex), std::nullopt, self<ViewController>());
            host->setTag(bannerTag());
            host->setFrame(kBannerFrame);
            root->addSubview(host);
            banner = host.get();
        }
        if (auto* host = dynamic_cast<OVAdwhirlView*>(banner)) {
            host->refreshAdWithKeywords(ads.getAdsenseKeywords(),
                                        ads.getAdsenseChannelsForUIIndex(kUIChannelIndex));
            if (View* parent = host->superview()) {
                parent->bringSubviewToFront(*host);
            }
        }
    } else if (banner) {
        banner->setAlpha(0);
        banner->setTag(removedBannerTag());
        banner->removeFromSuperview();
    }
}

// ---- web-view delegate

bool WebScreen::shouldStartLoadWithRequest(WebView&, const URLRequest& request,
                                           WebViewNavigationType navigationType) {
    Route route =
        routeRequest(m_kind, {request.url, navigationType}, stackedState(), OVUtils::customHTTPGETParams());
    return applyRoute(route);
}

bool WebScreen::applyRoute(const Route& route) {
    if (route.newOldUrl) {
        storeOldUrl(*route.newOldUrl);
    }
    switch (route.action) {
    case RouteAction::Load:
        return true;
    case RouteAction::ShareSecret: {
        ShareFTObj& record = ShareFTObj::sharedShareFTObj();
        record.setItemUrl(route.shareItemUrl);
        record.setMaincontent(route.shareContent);
        ShareFT::initWithSharedObj(record)->shareAction();
        return false;
    }
    case RouteAction::OpenStackedScreen: {
        NavigationController* navigation = navigationController();
        if (!navigation) {
            return true; // nowhere to stack a screen: the page loads here rather than nowhere
        }
        auto screen = std::make_shared<OVAllWebViewController>();
        navigation->pushViewController(screen, true);
        screen->loadURL(route.address);
        screen->setFinishedLoad(false);
        return false;
    }
    case RouteAction::CloseStackedScreen: {
        if (NavigationController* navigation = navigationController()) {
            const auto& stack = navigation->viewControllers();
            if (!stack.empty()) {
                if (auto* first = dynamic_cast<WebScreen*>(stack.front().get())) {
                    first->reload();
                }
            }
            navigation->popViewControllerAnimated(true);
        }
        return false;
    }
    case RouteAction::OpenOutside: {
        std::optional<URL> target = URL::strictParse(route.address);
        bool opened = target && Application::sharedApplication().openURL(*target);
        return route.shouldStartLoad(opened);
    }
    }
    return true;
}

void WebScreen::webViewDidStartLoad(WebView&) {
    if (logsLoadEvents()) {
        logLine("webViewDidStartLoad");
    }
    startLoadAnimating();
}

void WebScreen::webViewDidFinishLoad(WebView&) {
    if (logsLoadEvents()) {
        logLine("webViewDidFinishLoad");
    }
    didFinishLoadHook();
    stopLoadAnimating();
}

void WebScreen::didFailLoadWithError(WebView&, const Error&) {
    if (logsLoadEvents()) {
        logLine("didFailLoadWithError");
    }
    stopLoadAnimating();
}

// ---- view lifecycle

Rect WebScreen::webViewFrame() const {
    return kWebViewFrame;
}

void WebScreen::createWebView() {
    const bool pattern = webViewShowsPattern();
    m_webView = std::make_shared<WebView>(webViewFrame());
    m_webView->setDelegate(self<WebScreen>());
    if (pattern) {
        m_webView->setOpaque(false);
    }
    view()->addSubview(m_webView);
    if (pattern) {
        m_webView->setBackgroundColor(
            Color::colorWithPatternImage(bundleImage("secret_bg.png", Size{64, 64})));
    }
}

void WebScreen::loadView() {
    setView(std::make_shared<View>(kScreenFrame));
    m_toolBar = std::make_shared<Toolbar>(kToolBarFrame);
    m_toolBar->setTintColor(Color::blackColor());
    loadToolBar();
    if (webViewMade() == WebViewMade::InLoadView) {
        createWebView();
    }
    const auto& root = view();
    root->addSubview(m_toolBar);
    root->bringSubviewToFront(*m_toolBar);
}

void WebScreen::viewDidLoad() {
    if (webViewMade() == WebViewMade::InViewDidLoad) {
        createWebView();
    }
    if (NavigationController* navigation = navigationController()) {
        navigation->setNavigationBarHidden(true);
    }
    const auto& root = view();
    root->setFrame(kScreenFrame);
    root->setBackgroundColor(Color::blackColor());
    if (m_barTitle) {
        setToolBarTitle(*m_barTitle, std::nullopt);
    }
    refreshAds();
    ViewController::viewDidLoad();
}

void WebScreen::viewDidUnload() {
    m_toolBar.reset();
    if (m_webView) {
        m_webView->stopLoading();
        m_webView.reset();
    }
    m_aiView.reset();
    m_refreshButtonItem.reset();
    m_fixButtonItem.reset();
    m_flexibleButtonItem.reset();
    m_closeButtonItem.reset();
    m_titleLabel.reset();
    m_titleItem.reset();
    m_segmentControl.reset();
    m_segmentControlItem.reset();
    m_searchBar.reset();
    m_itemArray.clear();
    ViewController::viewDidUnload();
}

void WebScreen::viewDidAppear(bool animated) {
    m_isOnScreen = true;
    ViewController::viewDidAppear(animated);
}

void WebScreen::viewDidDisappear(bool animated) {
    m_isOnScreen = false;
    ViewController::viewDidDisappear(animated);
}

} // namespace murmelo
