// ShareFT: the share sheet controller a screen makes per share — it offers
// mail, Facebook and Twitter for the share record it is given, carries out
// the choice and grants the reward (24 hours without ads) for a Facebook
// post or a tweet that went through.
//
//   ShareFT::initWithSharedObj(ShareFTObj::sharedShareFTObj())->shareAction();
//
// Lifetime: callers hand the controller over and keep no reference.
// shareAction() makes it hold itself until the last callback of its share
// has arrived (the sheet's choice, the composer's result and its ping, the
// Facebook dialogs, the tweet's outcome); then it lets go and is freed on
// the main thread. Everything that calls back holds it weakly, so nothing
// reaches a freed controller.
//
// Threading: main thread, except postTweet and the Twitter callbacks, which
// run on the tweet's background operation and hand their screen work back.
// The record is the process-wide ShareFTObj, not owned.
#pragma once

#include <memory>
#include <string>

#include "app/facebook/FBDialog.h"
#include "app/facebook/FBSession.h"
#include "app/sharing/ShareFTObj.h"
#include "app/twitter/TwitterRequest.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/MailComposeViewController.h"

namespace murmelo {

class OVActivityIndicatorView;
class ViewController;

class ShareFT : public ActionSheetDelegate,
                public AlertViewDelegate,
                public MailComposeViewControllerDelegate,
                public FBSessionDelegate,
                public FBDialogDelegate,
                public TwitterRequestDelegate,
                public std::enable_shared_from_this<ShareFT> {
public:
    static constexpr const char* kNoRecordLine = "ShareFT: no share record given; nothing to share";
    static constexpr const char* kSheetTitle =
        "Good news! \n Share to Facebook or Twitter will get ad-free for "
        "24hrs!!! After sharing restart app to see the magic!";
    static constexpr const char* kNoMailMessage =
        "Oops,  seems you can not send email now, please configure it.";
    static constexpr const char* kFeedPrompt = "Say something here";
    static constexpr int kTwitterPromptTag = 2115;
    static constexpr double kSendResultDelay = 0.3;
    // How long after its last callback a finished share lets go.
    static constexpr double kReleaseDelay = 0.5;
    enum ButtonIndex { kCancelButton = 0, kMailButton = 1, kFacebookButton = 2, kTwitterButton = 3 };

    // init: finds the root and top screens and builds the sheet; give the
    // record with setShareObj() before shareAction().
    ShareFT();
    ~ShareFT() override;
    // initWithSharedObj: — a new controller for `record`.
    static std::shared_ptr<ShareFT> initWithSharedObj(ShareFTObj& record);

    ShareFTObj* shareObj() const { return m_shareObj; }
    void setShareObj(ShareFTObj* record) { m_shareObj = record; }
    const std::shared_ptr<ActionSheet>& shareActionSheet() const { return m_shareActionSheet; }
    const std::shared_ptr<FBSession>& fbSession() const { return m_fbSession; }
    const std::shared_ptr<ViewController>& rootViewController() const { return m_rootViewController; }
    const std::shared_ptr<ViewController>& topViewController() const { return m_topViewController; }
    const std::shared_ptr<OVActivityIndicatorView>& aiView() const { return m_aiView; }

    // Shows the sheet on the top screen; the controller holds itself from now on.
    void shareAction();
    std::shared_ptr<ViewController> getTopViewController() const;

    // ActionSheetDelegate / AlertViewDelegate
    void clickedButtonAtIndex(ActionSheet& sheet, int index) override;
    void didDismissWithButtonIndex(ActionSheet& sheet, int index) override;
    void clickedButtonAtIndex(AlertView& alert, int index) override;

    // Mail.
    void forward();
    void didFinishWithResult(MailComposeViewController& controller, MailComposeResult result,
                             const std::optional<Error>& error) override;
    // The link server's mail ping (blocking; run off the main thread).
    static void sendResult();
    // The mail's HTML body for the record; the record's texts are escaped.
    static std::string mailBody(const ShareFTObj& record);

    // Facebook.
    void publishFeed();
    void didLogin(FBSession& session, std::int64_t uid) override;
    void sessionDidNotLogin(FBSession& session) override;
    void sessionDidLogout(FBSession& session) override;
    void dialogDidSucceed(FBDialog& dialog) override;
    void dialogDidCancel(FBDialog& dialog) override;
    void didFailWithError(FBDialog& dialog, const Error& error) override;

    // The reward: starts the ad-free window now (24 hours), then tells the
    // service server about the share without blocking the caller.
    static void sharedTo(const std::string& type);
    // The service server's notice for `type` (blocking).
    static void sendSharedNotify(const std::string& type);

    // Twitter.
    void postTweet(const std::string& username, const std::string& password, const std::string& text);
    // The tweet's text for the record, extra message and (shortened) link.
    static std::string tweetText(const std::string& message, const ShareFTObj& record,
                                 const std::string& link);
    void status_updateCallback(const Data& data);
    void status_updateErrCallback(const std::string& message);

    void showActivityWithTitle(const std::string& text);
    void hideActivity();

private:
    void openTwitterPrompt();
    void endShare();
    void onMain(std::function<void(ShareFT&)> task, bool endsShare);

    std::shared_ptr<ActionSheet> m_shareActionSheet;
    std::shared_ptr<FBSession> m_fbSession;
    std::shared_ptr<FBDialog> m_dialog;
    std::shared_ptr<ViewController> m_rootViewController;
    std::shared_ptr<ViewController> m_topViewController;
    std::shared_ptr<MailComposeViewController> m_composer;
    std::shared_ptr<OVActivityIndicatorView> m_aiView;
    ShareFTObj* m_shareObj = nullptr; // the single record, never destroyed
    std::shared_ptr<ShareFT> m_self;  // while the share runs
};

} // namespace murmelo
