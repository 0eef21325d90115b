#include "platform/ui/MailComposeViewController.h"

#include <atomic>
#include <unistd.h>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/foundation/FileSystem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/MailMessage.h"
#include "platform/ui/MailSettings.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/internal/ChildProcess.h"

namespace murmelo {

namespace {

constexpr int kDeleteDraft = 0;
constexpr int kSaveDraft = 1;

std::string joined(const std::vector<std::string>& addresses) {
    std::string text;
    for (const auto& a : addresses) {
        if (!text.empty()) {
            text += ", ";
        }
        text += a;
    }
    return text;
}

// A name no other message of this process (or another) takes.
std::string messageFileName() {
    static std::atomic<unsigned> counter{0};
    return std::to_string(static_cast<long long>(Clock::now())) + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1)) + ".eml";
}

Result<std::string> writeInto(const std::string& directory, const std::string& message) {
    MURMELO_TRY_VOID(fs::createDirectories(directory));
    std::string path = directory + "/" + messageFileName();
    MURMELO_TRY_VOID(fs::writeFileAtomically(path, message, 0600));
    return path;
}

std::string lineFeedsOnly(const std::string& crlf) {
    std::string out;
    out.reserve(crlf.size());
    for (size_t i = 0; i < crlf.size(); ++i) {
        if (crlf[i] == '\r' && i + 1 < crlf.size() && crlf[i + 1] == '\n') {
            continue;
        }
        out += crlf[i];
    }
    return out;
}

Error mailError(long code, const std::string& description, std::optional<Error> underlying = std::nullopt) {
    Error error(std::string(MailComposeViewController::kErrorDomain), code, description);
    if (underlying) {
        error.withUnderlyingError(*underlying);
    }
    return error;
}

} // namespace

const char* mailComposeResultName(MailComposeResult result) {
    switch (result) {
    case MailComposeResult::Saved:
        return "saved";
    case MailComposeResult::Sent:
        return "sent";
    case MailComposeResult::Failed:
        return "failed";
    case MailComposeResult::Cancelled:
        break;
    }
    return "cancelled";
}

bool MailComposeViewController::canSendMail() {
    return MailSettings::shared().canSendMail();
}

MailComposeViewController::MailComposeViewController() {
    setTitle("New Message");
}

void MailComposeViewController::setSubject(std::string subject) {
    m_subject = std::move(subject);
    refreshFields();
}

void MailComposeViewController::setToRecipients(std::vector<std::string> recipients) {
    m_to = std::move(recipients);
    m_toValid = !m_to.empty();
    for (const auto& address : m_to) {
        m_toValid = m_toValid && isValidMailAddress(address);
    }
    refreshFields();
}

void MailComposeViewController::setMessageBody(std::string body, bool isHTML) {
    m_body = std::move(body);
    m_isHTML = isHTML;
    refreshFields();
}

bool MailComposeViewController::canSend() const {
    return m_toValid;
}

void MailComposeViewController::refreshFields() {
    if (!isViewLoaded()) {
        return;
    }
    m_subjectField->setText(m_subject);
    m_titleLabel->setText(m_subject.empty() ? title() : m_subject);
    if (m_toField->text() != joined(m_to) && m_toValid) {
        m_toField->setText(joined(m_to));
    }
    m_bodyView->setText(m_body);
    m_sendButton->setEnabled(canSend());
}

void MailComposeViewController::loadView() {
    Rect frame = Screen::mainScreen().applicationFrame();
    double width = frame.size.width;
    auto root = std::make_shared<View>(frame);
    root->setBackgroundColor(Color::whiteColor());
    setView(root);
    auto self = sharedAs<MailComposeViewController>();

    auto bar = std::make_shared<View>(Rect(0, 0, width, 44));
    bar->setBackgroundColor(Color(0.43, 0.52, 0.64));
    root->addSubview(bar);
    auto cancelButton = std::make_shared<Button>(Rect(5, 7, 64, 30), ButtonType::RoundedRect);
    cancelButton->setTitle("Cancel", ControlState::Normal);
    m_titleLabel = std::make_shared<Label>(Rect(74, 7, width - 148, 30));
    m_titleLabel->setBackgroundColor(std::nullopt);
    m_titleLabel->setTextColor(Color::whiteColor());
    m_titleLabel->setTextAlignment(TextAlignment::Center);
    m_titleLabel->setFont(Font::boldSystemFontOfSize(18));
    m_sendButton = std::make_shared<Button>(Rect(width - 69, 7, 64, 30), ButtonType::RoundedRect);
    m_sendButton->setTitle("Send", ControlState::Normal);
    bar->addSubview(cancelButton);
    bar->addSubview(m_titleLabel);
    bar->addSubview(m_sendButton);
    if (self) {
        cancelButton->addTarget(self, &MailComposeViewController::cancel, ControlEvents::TouchUpInside);
        m_sendButton->addTarget(self, &MailComposeViewController::send, ControlEvents::TouchUpInside);
    }

    auto toLabel = std::make_shared<Label>(Rect(8, 52, 60, 30));
    toLabel->setText("To:");
    toLabel->setTextColor(Color::grayColor());
    root->addSubview(toLabel);
    m_toField = std::make_shared<TextField>(Rect(70, 52, width - 78, 30));
    m_toField->setKeyboardType(KeyboardType::EmailAddress);
    m_toField->setPlaceholder("To");
    m_toField->setText(joined(m_to));
    if (self) {
        m_toField->addTarget(self, &MailComposeViewController::toChanged, ControlEvents::EditingChanged);
    }
    root->addSubview(m_toField);

    auto subjectLabel = std::make_shared<Label>(Rect(8, 90, 60, 30));
    subjectLabel->setText("Subject:");
    subjectLabel->setTextColor(Color::grayColor());
    root->addSubview(subjectLabel);
    m_subjectField = std::make_shared<TextField>(Rect(70, 90, width - 78, 30));
    m_subjectField->setPlaceholder("Subject");
    if (self) {
        m_subjectField->addAction(
            [weak = std::weak_ptr<MailComposeViewController>(self)](Control& field) {
                if (auto composer = weak.lock()) {
                    composer->m_subject = static_cast<TextField&>(field).text();
                    composer->m_titleLabel->setText(composer->m_subject.empty() ? composer->title()
                                                                                : composer->m_subject);
                }
            },
            ControlEvents::EditingChanged);
    }
    root->addSubview(m_subjectField);

    m_bodyView = std::make_shared<TextView>(Rect(0, 128, width, frame.size.height - 128));
    root->addSubview(m_bodyView);
    refreshFields();
}

void MailComposeViewController::toChanged() {
    auto parsed = parseMailAddressList(m_toField->text());
    if (parsed) {
        m_to = std::move(*parsed);
        m_toValid = !m_to.empty();
    } else {
        m_toValid = false;
    }
    m_sendButton->setEnabled(canSend());
}

Result<std::string> MailComposeViewController::composedMessage() const {
    MailMessage message;
    message.from = MailSettings::shared().fromAddress();
    message.to = m_to;
    message.cc = m_cc;
    message.bcc = m_bcc;
    message.subject = m_subject;
    message.body = m_body;
    message.isHTML = m_isHTML;
    message.date = Clock::now();
    return message.serialize();
}

void MailComposeViewController::send() {
    assertMainThread();
    if (!canSend()) {
        finish(MailComposeResult::Failed, mailError(kErrorSendFailed, "The message has no valid recipient."));
        return;
    }
    auto message = composedMessage();
    if (!message) {
        finish(MailComposeResult::Failed,
               mailError(kErrorSendFailed, "The message could not be composed.", message.error()));
        return;
    }
    MailSettings& settings = MailSettings::shared();
    bool delivered = false;
    std::optional<Error> failure;
    if (auto outbox = settings.outboxDirectory()) {
        auto written = writeInto(*outbox, *message);
        if (written) {
            delivered = true;
        } else {
            failure = written.error();
            logLine("Mail: the outbox did not take the message: %s",
                    written.error().localizedDescription().c_str());
        }
    }
    if (auto command = settings.sendmailCommand()) {
        auto run = internal::runProcess(*command, lineFeedsOnly(*message), settings.sendmailTimeout(),
                                        internal::OnTimeout::Kill);
        if (run && run->succeeded()) {
            delivered = true;
        } else {
            std::string why = run ? (*command)[0] + " ended with status " + std::to_string(run->code)
                                  : run.error().localizedDescription();
            logLine("Mail: sendmail did not take the message: %s", why.c_str());
            if (!delivered) {
                failure = run ? Error("MailErrorDomain", 2, why) : run.error();
            }
        }
    }
    if (!settings.outboxDirectory() && !settings.sendmailCommand()) {
        failure = Error("MailErrorDomain", 3, "no outbox and no sendmail program");
    }
    if (delivered) {
        finish(MailComposeResult::Sent, std::nullopt);
    } else {
        finish(MailComposeResult::Failed,
               mailError(kErrorSendFailed, "The message could not be sent.", failure));
    }
}

void MailComposeViewController::cancel() {
    assertMainThread();
    if (m_cancelSheet && m_cancelSheet->isVisible()) {
        return;
    }
    auto self = sharedAs<MailComposeViewController>();
    m_cancelSheet =
        std::make_shared<ActionSheet>(std::nullopt, std::weak_ptr<ActionSheetDelegate>(self), "Cancel",
                                      "Delete Draft", std::vector<std::string>{"Save Draft"});
    if (isViewLoaded()) {
        m_cancelSheet->showInView(*view());
    } else {
        m_cancelSheet->showInView(*std::make_shared<View>());
    }
}

void MailComposeViewController::clickedButtonAtIndex(ActionSheet& sheet, int index) {
    if (&sheet != m_cancelSheet.get()) {
        return;
    }
    if (index == kDeleteDraft) {
        finish(MailComposeResult::Cancelled, std::nullopt);
    } else if (index == kSaveDraft) {
        auto message = composedMessage();
        if (!message) {
            // A draft may lack recipients; keep what there is without them.
            MailMessage draft;
            draft.from = MailSettings::shared().fromAddress();
            draft.subject = m_subject;
            draft.body = m_body;
            draft.isHTML = m_isHTML;
            draft.date = Clock::now();
            message = draft.serialize();
        }
        auto written = message ? writeInto(MailSettings::shared().draftsDirectory(), *message)
                               : Result<std::string>(message.error());
        if (written) {
            finish(MailComposeResult::Saved, std::nullopt);
        } else {
            finish(MailComposeResult::Failed,
                   mailError(kErrorSaveFailed, "The draft could not be saved.", written.error()));
        }
    }
}

void MailComposeViewController::finish(MailComposeResult result, std::optional<Error> error) {
    auto keepAlive = sharedAs<MailComposeViewController>();
    if (auto delegate = m_delegate.lock()) {
        delegate->didFinishWithResult(*this, result, error);
    }
}

} // namespace murmelo
