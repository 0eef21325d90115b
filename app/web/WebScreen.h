// WebScreen: the template all web screens share — a black toolbar across the
// top whose first item swaps between the reload button and a spinner while a
// page loads, a web view below it, an optional title, page-driven segment
// control and search bar, the swipe operations, the ad banner slot, and the
// web-view delegate that applies the link routing of WebLinkRouting.
//
// The five screens (OVWebViewController, OVPostWebViewController,
// OVAllWebViewController, OVFeedbackWebViewController,
// OVCommentWebViewController) derive from it; none derives from another.
// Each differs from the template only by overriding its virtual members
// (toolbar items, web view frame and background, when the web view is
// made, banner tags, log lines, what `close` does, the stacked screen's
// routing state); the template never asks which screen it is. The kind is
// what the screen hands the routing decision (routeRequest).
//
// Threading: main thread only. Ownership: the screen owns its toolbar items,
// web view, spinner, title label, segment control and search bar (some only
// until its view is unloaded, see viewDidUnload); the web view and the search
// bar hold the screen weakly as their delegate; the comment form, once made
// by addComment, stays with the screen. Screens must be owned by a shared_ptr
// (they hand out weak references to themselves).
#pragma once

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/posting/PostCommentViewController.h"
#include "app/web/WebLinkRouting.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Label.h"
#include "platform/ui/SearchBar.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WebView.h"

namespace murmelo {

class WebScreen : public ViewController, public WebViewDelegate, public SearchBarDelegate {
public:
    // ---- fixed values
    static constexpr double kToolBarHeight = 44;
    // What the swipe operations evaluate in the page.
    static constexpr const char* kNextPageScript = "gotoNextPage()";
    static constexpr const char* kPrevPageScript = "gotoPrevPage()";

    ~WebScreen() override;

    WebScreenKind kind() const { return m_kind; }

    // ---- loading
    // Loads `url` into the web view, unless it is nothing, equals the
    // address of the web view's current request, or holds neither "http://"
    // nor "https://". Makes the view first when it is not loaded yet, so a
    // load asked for before the screen was shown is not lost.
    void loadURL(const std::optional<std::string>& url);
    // The web view reloads its current page.
    void reload();

    // ---- toolbar
    void startLoadAnimating();
    void stopLoadAnimating();
    void setToolBarActivityButtonItem();
    void setToolBarRefreshButtonItem();
    // Builds the toolbar items (each screen its own) and gives them to the
    // toolbar.
    virtual void loadToolBar() = 0;
    // `color` nothing: white.
    void setToolBarTitle(const std::string& title, const std::optional<Color>& color);
    // setToolBarSegmentControlsTitle:widthArray:jsAction:leftMargin:
    void setToolBarSegmentControlsTitle(const std::vector<std::string>& titles,
                                        const std::vector<double>& widthArray,
                                        const std::vector<std::string>& jsAction, int leftMargin);
    // The segment control's action: the selected segment's action string
    // "<1|0>,<script>" shows ("1") or hides the search bar and runs the
    // script from the third character on.
    void segmentAction(SegmentedControl& control);

    // ---- search bar
    void showSearchBar();
    void hideSearchBar();
    void searchBarSearchButtonClicked(SearchBar& searchBar) override;
    bool searchBarShouldBeginEditing(SearchBar&) override { return true; }
    bool searchBarShouldEndEditing(SearchBar&) override { return true; }

    // ---- page scripts (the sender is not read)
    void swipeLeft(Object* sender = nullptr);
    void swipeRight(Object* sender = nullptr);

    // ---- leaving
    // Pops the navigation controller, animated (the Secret-pool screen
    // dismisses the modal screen its parent presents instead).
    virtual void close();
    // Presents the comment form (made on first use, then kept) for
    // `secret_id`, modally and animated.
    void addComment();

    // ---- advertising
    // Places, refreshes or removes the banner (tag bannerTag()).
    void refreshAds();
    // 3001 and, once removed, 6002 (the Secret-pool screen: 3000 and 6000).
    virtual int bannerTag() const;
    virtual int removedBannerTag() const;

    // ---- web-view delegate
    bool shouldStartLoadWithRequest(WebView& webView, const URLRequest& request,
                                    WebViewNavigationType navigationType) override;
    void webViewDidStartLoad(WebView& webView) override;
    void webViewDidFinishLoad(WebView& webView) override;
    void didFailLoadWithError(WebView& webView, const Error& error) override;

    // ---- view lifecycle
    void loadView() override;
    void viewDidLoad() override;
    // Under memory pressure: drops the toolbar, its items (except what the
    // screen keeps, see the subclasses), the web view, the spinner, the
    // title, the segment control and the search bar; the next view creation
    // builds them afresh.
    void viewDidUnload() override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;

    // ---- properties
    const std::shared_ptr<Toolbar>& toolBar() const { return m_toolBar; }
    const std::shared_ptr<WebView>& webView() const { return m_webView; }
    const std::shared_ptr<ActivityIndicatorView>& aiView() const { return m_aiView; }
    const std::vector<std::shared_ptr<BarButtonItem>>& itemArray() const { return m_itemArray; }
    const std::shared_ptr<BarButtonItem>& refreshButtonItem() const { return m_refreshButtonItem; }
    const std::shared_ptr<BarButtonItem>& fixButtonItem() const { return m_fixButtonItem; }
    const std::shared_ptr<BarButtonItem>& flexibleButtonItem() const { return m_flexibleButtonItem; }
    // The Secret-pool screen's "Feedback" button; the others' close button.
    const std::shared_ptr<BarButtonItem>& closeButtonItem() const { return m_closeButtonItem; }
    // The variants' "add comment" (or, on the stacked screen, "Share")
    // button; none on the Secret-pool screen.
    const std::shared_ptr<BarButtonItem>& commentButtonItem() const { return m_commentButtonItem; }
    const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }
    const std::shared_ptr<BarButtonItem>& titleItem() const { return m_titleItem; }
    const std::shared_ptr<SegmentedControl>& segmentControl() const { return m_segmentControl; }
    const std::shared_ptr<BarButtonItem>& segmentControlItem() const { return m_segmentControlItem; }
    const std::vector<std::string>& segmentActionArray() const { return m_segmentActionArray; }
    const std::shared_ptr<SearchBar>& searchBar() const { return m_searchBar; }
    // True between appearing and disappearing.
    bool isOnScreen() const { return m_isOnScreen; }
    void setIsOnScreen(bool onScreen) { m_isOnScreen = onScreen; }
    const std::optional<std::string>& barTitle() const { return m_barTitle; }
    void setBarTitle(std::optional<std::string> title) { m_barTitle = std::move(title); }
    const std::shared_ptr<PostCommentViewController>& postCommentVC() const { return m_postCommentVC; }
    const std::optional<std::string>& secret_id() const { return m_secretId; }
    void setSecret_id(std::optional<std::string> secretId) { m_secretId = std::move(secretId); }

protected:
    explicit WebScreen(WebScreenKind kind);

    // The web view, made with the screen's frame and background, the screen
    // as its delegate, added to the view.
    void createWebView();
    // The reload, fixed-space and flexible-space items, each when missing.
    void createCommonToolBarItems();
    // The variants' close button (image "close.png", plain, action close).
    void createCloseButtonItem();
    // The variants' "add comment" button (bordered, action addComment).
    void createCommentButtonItem();
    // Appends `items` to the item array, in order, and hands the array to the toolbar.
    void placeToolBarItems(std::initializer_list<std::shared_ptr<BarButtonItem>> items);
    // Hands the item array to the toolbar.
    void applyToolBarItems();
    std::shared_ptr<BarButtonItem>& mutableCloseButtonItem() { return m_closeButtonItem; }
    std::shared_ptr<BarButtonItem>& mutableCommentButtonItem() { return m_commentButtonItem; }

    // When createWebView() runs: from loadView(), or at the start of
    // viewDidLoad().
    enum class WebViewMade { InLoadView, InViewDidLoad };
    virtual WebViewMade webViewMade() const { return WebViewMade::InLoadView; }
    // The web view's frame, and whether it is see-through over the
    // "secret_bg.png" pattern (else opaque, the default background).
    virtual Rect webViewFrame() const;
    virtual bool webViewShowsPattern() const { return true; }
    // Whether the web-view delegate calls write their log lines.
    virtual bool logsLoadEvents() const { return true; }

    // The stacked screen's state for the decision (others: none).
    virtual StackedScreenState stackedState() const { return {}; }
    // Carries out the route; returns what the delegate answers.
    bool applyRoute(const Route& route);
    // Hooks of the route actions that need a subclass.
    virtual void storeOldUrl(const std::string& /*url*/) {}
    virtual void didFinishLoadHook() {}

    template <class T> std::shared_ptr<T> self() { return sharedAs<T>(); }

private:
    // Where the title or segment control item goes: replaces index 2 of a
    // five-item toolbar, is inserted at index 2 otherwise.
    void placeItemAtTitleSlot(const std::shared_ptr<BarButtonItem>& item);
    void evaluate(const std::string& script);

    WebScreenKind m_kind;
    std::shared_ptr<Toolbar> m_toolBar;
    std::shared_ptr<WebView> m_webView;
    std::shared_ptr<ActivityIndicatorView> m_aiView;
    std::vector<std::shared_ptr<BarButtonItem>> m_itemArray;
    std::shared_ptr<BarButtonItem> m_refreshButtonItem;
    std::shared_ptr<BarButtonItem> m_fixButtonItem;
    std::shared_ptr<BarButtonItem> m_flexibleButtonItem;
    std::shared_ptr<BarButtonItem> m_closeButtonItem;
    std::shared_ptr<BarButtonItem> m_commentButtonItem;
    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<BarButtonItem> m_titleItem;
    std::shared_ptr<SegmentedControl> m_segmentControl;
    std::shared_ptr<BarButtonItem> m_segmentControlItem;
    std::vector<std::string> m_segmentActionArray;
    std::shared_ptr<SearchBar> m_searchBar;
    bool m_isOnScreen = false;
    std::shared_ptr<PostCommentViewController> m_postCommentVC;
    std::optional<std::string> m_barTitle;
    std::optional<std::string> m_secretId;
};

} // namespace murmelo
