// MailComposeViewController: the mail composer screen. The app fills in the
// subject, recipients and body and presents it; the user (or the driver)
// edits the fields and taps "Send", or "Cancel" and then "Delete Draft" or
// "Save Draft" on the sheet that follows. The delegate learns the result
// (sent, saved, cancelled, failed); dismissing the composer is its job.
//
// Sending writes the RFC 5322 message (MailMessage) into the outbox and
// pipes it to the sendmail program when one is set (MailSettings); it is
// sent when either took it, failed with the error otherwise. "Send" is
// enabled while the To field holds at least one address and only valid
// ones. Saving writes the message into the drafts folder.
//
// Main thread only (a sendmail run blocks it for at most the sendmail
// time-out). Owned by whoever presents it; the delegate is held weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/ViewController.h"

namespace murmelo {

class Button;
class Label;
class MailComposeViewController;
class TextField;
class TextView;

enum class MailComposeResult { Cancelled = 0, Saved = 1, Sent = 2, Failed = 3 };
const char* mailComposeResultName(MailComposeResult result);

class MailComposeViewControllerDelegate {
public:
    virtual ~MailComposeViewControllerDelegate() = default;
    // mailComposeController:didFinishWithResult:error:
    virtual void didFinishWithResult(MailComposeViewController& controller, MailComposeResult result,
                                     const std::optional<Error>& error) = 0;
};

class MailComposeViewController : public ViewController, public ActionSheetDelegate {
public:
    static constexpr std::string_view kErrorDomain = "MFMailComposeErrorDomain";
    static constexpr long kErrorSaveFailed = 0;
    static constexpr long kErrorSendFailed = 1;

    static bool canSendMail();

    MailComposeViewController();

    void setMailComposeDelegate(std::weak_ptr<MailComposeViewControllerDelegate> delegate) {
        m_delegate = std::move(delegate);
    }

    const std::string& subject() const { return m_subject; }
    void setSubject(std::string subject);
    const std::vector<std::string>& toRecipients() const { return m_to; }
    void setToRecipients(std::vector<std::string> recipients);
    void setCcRecipients(std::vector<std::string> recipients) { m_cc = std::move(recipients); }
    void setBccRecipients(std::vector<std::string> recipients) { m_bcc = std::move(recipients); }
    const std::string& messageBody() const { return m_body; }
    bool isBodyHTML() const { return m_isHTML; }
    // setMessageBody:isHTML:
    void setMessageBody(std::string body, bool isHTML);

    // What the composer's buttons do.
    void send();
    void cancel();
    bool canSend() const;

    void loadView() override;
    void clickedButtonAtIndex(ActionSheet& sheet, int index) override;

private:
    void toChanged();
    void finish(MailComposeResult result, std::optional<Error> error);
    Result<std::string> composedMessage() const;
    void refreshFields();

    std::weak_ptr<MailComposeViewControllerDelegate> m_delegate;
    std::string m_subject;
    std::vector<std::string> m_to;
    std::vector<std::string> m_cc;
    std::vector<std::string> m_bcc;
    std::string m_body;
    bool m_isHTML = false;
    bool m_toValid = false;

    std::shared_ptr<Button> m_sendButton;
    std::shared_ptr<TextField> m_toField;
    std::shared_ptr<TextField> m_subjectField;
    std::shared_ptr<TextView> m_bodyView;
    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<ActionSheet> m_cancelSheet;
};

} // namespace murmelo
