// OVWebViewController: the Secret-pool screen — the root of the "Secret
// pool" tab's navigation stack. Its toolbar reads: reload (a spinner while a
// page loads), "Share" (the invitation share), "Feedback" (pushes the
// feedback screen with the support page). Its links are routed by the
// Secret-pool rules of WebLinkRouting.
//
// A documented single instance: sharedOVWebViewController() makes it on
// first use under a lock on the class; alloc() is the allocation rule (the
// first allocation makes the screen and gives it, every later one gives
// nothing). It is never destroyed. Both may be called from any thread; the
// screen itself is used on the main thread only.
//
//   auto pool = OVWebViewController::sharedOVWebViewController();
//   auto navigation = std::make_shared<NavigationController>(pool);
//   pool->loadURL(OVUtils::urlByAddingParamsForURL(contentIndex));
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/web/WebScreen.h"

namespace murmelo {

class OVFeedbackWebViewController;
class OVCommentWebViewController;

class OVWebViewController : public WebScreen {
public:
    // The invitation text of the "Share" button.
    static constexpr const char* kShareText =
        "do you have secret? tell it anonymously and see what the world say!";

    static std::shared_ptr<OVWebViewController> sharedOVWebViewController();
    static std::shared_ptr<OVWebViewController> alloc();

    // "http://<support>/isupport.php" (the parameter block is added when shown).
    static std::string feedbackPageAddress();

    // Shares the invitation: the shared record gets the invitation text and
    // an empty item link, then the share sheet opens.
    void Share();
    // Pushes the feedback screen (made on first use, reused after) and loads
    // the support page with the parameter block into it.
    void onClickShowFeedback();

    // Setting it loads it (loadURL) once the view has been made; before
    // that it is only kept.
    const std::optional<std::string>& sourceUrl() const { return m_sourceUrl; }
    void setSourceUrl(std::optional<std::string> url);

    const std::shared_ptr<BarButtonItem>& shareButtonItem() const { return m_shareButtonItem; }
    const std::shared_ptr<OVFeedbackWebViewController>& feedbackViewController() const {
        return m_feedbackViewController;
    }
    // Declared by the screen's contract; nothing sets it.
    const std::shared_ptr<OVCommentWebViewController>& commentViewController() const {
        return m_commentViewController;
    }

    void loadToolBar() override;
    void viewDidLoad() override;
    // Hides the navigation bar again: the stack shows none above the pool.
    void viewWillAppear(bool animated) override;
    // Dismisses the modal screen its parent presents, animated.
    void close() override;
    int bannerTag() const override { return 3000; }
    int removedBannerTag() const override { return 6000; }

    OVWebViewController(const OVWebViewController&) = delete;
    OVWebViewController& operator=(const OVWebViewController&) = delete;

protected:
    WebViewMade webViewMade() const override { return WebViewMade::InViewDidLoad; }
    bool logsLoadEvents() const override { return false; }

private:
    OVWebViewController(); // through alloc() and the shared accessor only
    std::optional<std::string> m_sourceUrl;
    bool m_observingSourceUrl = false;
    std::shared_ptr<BarButtonItem> m_shareButtonItem;
    std::shared_ptr<OVFeedbackWebViewController> m_feedbackViewController;
    std::shared_ptr<OVCommentWebViewController> m_commentViewController;
};

} // namespace murmelo
