#include "app/sharing/ShareFT.h"

#include "app/ads/AdUtils.h"
#include "app/base/OVOperationManager.h"
#include "app/base/OVUtils.h"
#include "app/facebook/FBLoginDialog.h"
#include "app/facebook/FBStreamDialog.h"
#include "app/overlays/OVActivityIndicatorView.h"
#include "app/product/Constants.h"
#include "app/twitter/AlertPrompt.h"
#include "platform/core/Log.h"
#include "platform/core/Text.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/Perform.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Localization.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/HtmlEscape.h"

namespace murmelo {

namespace {

constexpr const char* kUsernameKey = "twitter_username";
constexpr const char* kPasswordKey = "twitter_password";
constexpr const char* kTextKey = "twitter_text";

std::string replacingAll(std::string text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A link as one query value: everything but the unreserved characters escaped.
std::string queryValue(std::string_view text) {
    return text::percentEncoded(text, [](unsigned char c) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '-' || c == '_' || c == '.' || c == '~';
        return !unreserved;
    });
}

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\f\v";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Blocking pings go to the shared operation queue, never the main thread.
void runInBackground(UniqueFunction<void()> work) {
    OVOperationManager::sharedOperationManager().operationQueue()->addOperationWithBlock(std::move(work));
}

std::shared_ptr<ViewController> findRootViewController() {
    Application& application = Application::sharedApplication();
    std::shared_ptr<Window> window = application.keyWindow();
    if (window && window->windowLevel() != kWindowLevelNormal) {
        window.reset();
        for (const auto& candidate : application.windows()) {
            if (candidate->windowLevel() == kWindowLevelNormal) {
                window = candidate;
                break;
            }
        }
    }
    if (!window || window->subviews().empty()) {
        return nullptr;
    }
    auto* controller = dynamic_cast<ViewController*>(window->subviews().front()->nextResponder());
    return controller ? controller->sharedAs<ViewController>() : nullptr;
}

} // namespace

ShareFT::ShareFT() {
    m_rootViewController = findRootViewController();
    m_topViewController = getTopViewController();
    // Cancel first, the choices added after it: Cancel is index 0 and the
    // choices 1-3, the indexes the sheet's delegate call goes by.
    m_shareActionSheet =
        std::make_shared<ActionSheet>(localizedString(kSheetTitle), std::weak_ptr<ActionSheetDelegate>(),
                                      std::string("Cancel"), std::nullopt, std::vector<std::string>{});
    m_shareActionSheet->addButtonWithTitle(localizedString("Mail"));
    m_shareActionSheet->addButtonWithTitle("Facebook");
    m_shareActionSheet->addButtonWithTitle("Twitter");
    m_shareActionSheet->setActionSheetStyle(ActionSheetStyle::BlackTranslucent);
}

ShareFT::~ShareFT() {
    if (m_aiView) {
        m_aiView->removeFromSuperview();
    }
}

std::shared_ptr<ShareFT> ShareFT::initWithSharedObj(ShareFTObj& record) {
    auto controller = std::make_shared<ShareFT>();
    controller->setShareObj(&record);
    return controller;
}

std::shared_ptr<ViewController> ShareFT::getTopViewController() const {
    std::shared_ptr<ViewController> top = m_rootViewController;
    while (top) {
        auto presented = top->modalViewController();
        if (!presented || presented == top) {
            break;
        }
        top = presented;
    }
    return top;
}

void ShareFT::shareAction() {
    if (!m_shareObj) {
        logLine("%s", kNoRecordLine);
        return;
    }
    logLine("okay");
    if (!m_topViewController) {
        logLine("ShareFT: no screen to show the share sheet on");
        return;
    }
    m_self = shared_from_this();
    m_shareActionSheet->setDelegate(weak_from_this());
    m_shareActionSheet->showInView(*m_topViewController->view());
}

void ShareFT::endShare() {
    // Let go once what the share showed has faded out (the panel, the
    // overlay): they finish their animations while the controller still
    // holds them, and the caller returns before the controller goes.
    if (m_self) {
        RunLoop::main().scheduleAfter(kReleaseDelay, [self = std::move(m_self)] {});
    }
}

void ShareFT::clickedButtonAtIndex(ActionSheet&, int) {}

void ShareFT::didDismissWithButtonIndex(ActionSheet& sheet, int index) {
    // The choice opens once the sheet has gone: a panel opened earlier would
    // land in the sheet's window, which then stays in front.
    if (&sheet != m_shareActionSheet.get()) {
        return;
    }
    switch (index) {
    case kMailButton:
        forward();
        break;
    case kFacebookButton:
        if (!m_fbSession) {
            m_fbSession = FBSession::sessionForApplication(
                std::string(kFacebookApiKey), std::string(kFacebookApiSecret), shared_from_this());
        }
        if (m_fbSession->resume()) {
            return; // didLogin has opened the post panel
        }
        m_dialog = std::make_shared<FBLoginDialog>(m_fbSession);
        m_dialog->show();
        break;
    case kTwitterButton:
        openTwitterPrompt();
        break;
    default:
        endShare();
        break;
    }
}

// ---- mail

std::string ShareFT::mailBody(const ShareFTObj& record) {
    // The record's texts come from page links: escaped, so a page cannot
    // put markup into the user's mail.
    const std::string itemUrl = htmlEscape(record.itemUrl());
    const std::string image = record.imageFullPath();
    std::string greeting = "<html><body>Hey, " + htmlEscape(Constant_MailBody) + " \n\n " +
                           htmlEscape(record.maincontent()) + " \n ";
    std::string picture;
    if (image.size() > 3) {
        picture = "<a href='" + itemUrl + "'><img src='" + htmlEscape(image) + "'/></a>";
    }
    std::string body = greeting + " " + picture + " \n <hr>  <a href='" +
                       htmlEscape(Constant_sharedTitleLink) + "' style='text-decoration:none;'><img src='" +
                       htmlEscape(Constant_sharedIconLink) + "'>\n<strong>" +
                       htmlEscape(Constant_sharedTitle) + "</strong></a> \n " + htmlEscape(Constant_AppInfo) +
                       " <hr> \n\n-</body></html>";
    return replacingAll(std::move(body), "\n", "<br />");
}

void ShareFT::forward() {
    if (!MailComposeViewController::canSendMail()) {
        auto alert = std::make_shared<AlertView>(std::nullopt, localizedString(kNoMailMessage),
                                                 weak_from_this(), localizedString("OK"));
        alert->show();
        endShare();
        return;
    }
    m_composer = std::make_shared<MailComposeViewController>();
    m_composer->setMailComposeDelegate(weak_from_this());
    m_composer->setSubject(std::string(Constant_MailTitle));
    m_composer->setMessageBody(mailBody(*m_shareObj), true);
    m_topViewController->presentModalViewController(m_composer, true);
}

void ShareFT::didFinishWithResult(MailComposeViewController&, MailComposeResult result,
                                  const std::optional<Error>&) {
    (void)m_topViewController->becomeFirstResponder();
    m_topViewController->dismissModalViewControllerAnimated(true);
    m_composer.reset();
    if (result != MailComposeResult::Sent) {
        endShare();
        return;
    }
    RunLoop::main().scheduleAfter(kSendResultDelay, [self = shared_from_this()] {
        runInBackground([] { sendResult(); });
        self->endShare();
    });
}

void ShareFT::sendResult() {
    (void)OVUtils::dataWithContentsOfStrURL("http://" + std::string(kLinkServerHost) + "/vasksendmailEn");
}

// ---- Facebook

void ShareFT::publishFeed() {
    auto stream = std::make_shared<FBStreamDialog>(m_fbSession);
    stream->setDelegate(weak_from_this());
    stream->setUserMessagePrompt(kFeedPrompt);
    stream->setAttachment(m_shareObj->getFacebookString().value_or(""));
    m_dialog = stream;
    stream->show();
}

void ShareFT::didLogin(FBSession&, std::int64_t) {
    publishFeed();
}

void ShareFT::sessionDidNotLogin(FBSession&) {
    endShare();
}

void ShareFT::sessionDidLogout(FBSession&) {}

void ShareFT::dialogDidSucceed(FBDialog& dialog) {
    if (dynamic_cast<FBStreamDialog*>(&dialog)) {
        sharedTo("facebook");
        endShare();
    }
}

void ShareFT::dialogDidCancel(FBDialog& dialog) {
    if (dynamic_cast<FBStreamDialog*>(&dialog)) {
        endShare();
    }
}

void ShareFT::didFailWithError(FBDialog& dialog, const Error&) {
    if (dynamic_cast<FBStreamDialog*>(&dialog)) {
        endShare();
    }
}

// ---- reward

void ShareFT::sharedTo(const std::string& type) {
    // The window starts first, so the reward never waits on the network.
    AdUtils::sharedAdUtils().hideForSeconds(0);
    runInBackground([type] { sendSharedNotify(type); });
}

void ShareFT::sendSharedNotify(const std::string& type) {
    (void)OVUtils::dataWithContentsOfStrURL("http://" + std::string(kServiceServerHost) +
                                            "/sharedNotify.php?type=" + type);
}

// ---- Twitter

void ShareFT::openTwitterPrompt() {
    auto defaults = UserDefaults::standardUserDefaults();
    auto prompt = std::make_shared<AlertPrompt>(
        "Twitter Account:\n", "", weak_from_this(), defaults->stringForKey(kTextKey),
        defaults->stringForKey(kUsernameKey), defaults->stringForKey(kPasswordKey),
        localizedString("Dismiss"), "Post");
    prompt->setTag(kTwitterPromptTag);
    prompt->show();
}

void ShareFT::clickedButtonAtIndex(AlertView& alert, int index) {
    auto* prompt = dynamic_cast<AlertPrompt*>(&alert);
    if (!prompt || alert.tag() != kTwitterPromptTag) {
        return;
    }
    if (index == alert.cancelButtonIndex()) {
        endShare();
        return;
    }
    std::string text = prompt->enteredText();
    std::string username = prompt->usernameText();
    std::string password = prompt->passwordText();
    auto defaults = UserDefaults::standardUserDefaults();
    defaults->setObject(Value(username), kUsernameKey);
    defaults->setObject(Value(password), kPasswordKey); // unencrypted: stored values rely on it
    defaults->setObject(Value(text), kTextKey);
    runInBackground([self = shared_from_this(), username, password, text] {
        self->postTweet(username, password, text);
        // The last reference may be this one: let it go on the main thread.
        (void)performOnMainThread([self = std::move(self)]() mutable { self.reset(); }, WaitUntilDone::No);
    });
    showActivityWithTitle("Posting");
    (void)defaults->synchronize();
}

std::string ShareFT::tweetText(const std::string& message, const ShareFTObj& record,
                               const std::string& link) {
    std::string mainText = link.size() <= 3 ? record.maincontent() : std::string();
    return message + " " + mainText + " " + link + " via " + record.appName() + ", " + record.appLink();
}

void ShareFT::postTweet(const std::string& username, const std::string& password, const std::string& text) {
    TwitterRequest twitter(username, password);
    std::string link = m_shareObj->itemUrl();
    if (link.size() <= 3) {
        link.clear();
    }
    if (link.size() >= 4 && link.find(kShortenerDomain) == std::string::npos) {
        std::string address =
            "http://" + std::string(kShortenerApiHost) + "/v3/shorten?login=" + queryValue(kShortenerLogin) +
            "&apiKey=" + queryValue(kShortenerApiKey) + "&uri=" + queryValue(link) + "&format=txt";
        std::optional<std::string> answer = OVUtils::stringWithContentsOfStrURL(address);
        std::string shortLink = answer ? trimmed(*answer) : std::string();
        if (shortLink.size() <= 2) {
            onMain(
                [](ShareFT& share) {
                    auto alert = std::make_shared<AlertView>(
                        std::string(),
                        "Server is busy, please try again later. \ntech-support: " +
                            std::string(kSupportEmail),
                        share.weak_from_this(), localizedString("OK"));
                    alert->show();
                    share.hideActivity();
                },
                true);
            return;
        }
        link = shortLink;
    }
    auto self = shared_from_this();
    twitter.setErrorCallback([self](const std::string& message) { self->status_updateErrCallback(message); });
    twitter.statuses_update(tweetText(text, *m_shareObj, link), self,
                            [self](const Data& reply) { self->status_updateCallback(reply); });
}

void ShareFT::status_updateCallback(const Data&) {
    sharedTo("twitter");
    onMain(
        [](ShareFT& share) {
            share.hideActivity();
            auto alert =
                std::make_shared<AlertView>(std::string(), std::string("Succeed"),
                                            std::weak_ptr<AlertViewDelegate>(), localizedString("OK"));
            alert->show();
        },
        true);
}

void ShareFT::status_updateErrCallback(const std::string& message) {
    onMain(
        [message](ShareFT& share) {
            share.hideActivity();
            auto alert =
                std::make_shared<AlertView>(localizedString("Error occured"), message,
                                            std::weak_ptr<AlertViewDelegate>(), localizedString("OK"));
            alert->show();
        },
        true);
}

void ShareFT::onMain(std::function<void(ShareFT&)> task, bool endsShare) {
    auto posted = performOnMainThread(
        [self = shared_from_this(), task = std::move(task), endsShare]() mutable {
            task(*self);
            if (endsShare) {
                self->endShare();
            }
            // The background thread may still hold the controller; the last
            // reference then goes there, so drop this one here on the main thread.
        },
        WaitUntilDone::No);
    if (!posted) {
        logLine("ShareFT: %s", posted.error().localizedDescription().c_str());
    }
}

// ---- overlay

void ShareFT::showActivityWithTitle(const std::string& text) {
    if (!m_aiView) {
        m_aiView = OVActivityIndicatorView::activityIndicatorView();
        const auto& view = m_topViewController->view();
        m_aiView->setCenter(view->center());
        view->addSubview(m_aiView);
        view->bringSubviewToFront(*m_aiView);
    }
    m_aiView->setInfo(text);
    m_aiView->show();
}

void ShareFT::hideActivity() {
    if (m_aiView) {
        m_aiView->hide();
    }
}

} // namespace murmelo
