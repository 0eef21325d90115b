#include "platform/ui/MailSettings.h"

#include "platform/foundation/AppHome.h"
#include "platform/foundation/DeviceProfile.h"

namespace murmelo {

MailSettings& MailSettings::shared() {
    static MailSettings* settings = new MailSettings(); // lives for the whole process
    return *settings;
}

std::optional<std::string> MailSettings::outboxDirectory() const {
    std::lock_guard lock(m_mutex);
    if (m_outboxDisabled) {
        return std::nullopt;
    }
    if (m_outbox) {
        return m_outbox;
    }
    return AppHome::current()->libraryDirectory() + "/Mail/Outbox";
}

void MailSettings::setOutboxDirectory(std::optional<std::string> directory) {
    std::lock_guard lock(m_mutex);
    m_outboxDisabled = !directory;
    m_outbox = std::move(directory);
}

std::string MailSettings::draftsDirectory() const {
    std::lock_guard lock(m_mutex);
    if (m_drafts) {
        return *m_drafts;
    }
    return AppHome::current()->libraryDirectory() + "/Mail/Drafts";
}

void MailSettings::setDraftsDirectory(std::optional<std::string> directory) {
    std::lock_guard lock(m_mutex);
    m_drafts = std::move(directory);
}

std::optional<std::vector<std::string>> MailSettings::sendmailCommand() const {
    std::lock_guard lock(m_mutex);
    return m_sendmail;
}

void MailSettings::setSendmailCommand(std::optional<std::vector<std::string>> command) {
    std::lock_guard lock(m_mutex);
    if (command && command->empty()) {
        command.reset();
    }
    m_sendmail = std::move(command);
}

double MailSettings::sendmailTimeout() const {
    std::lock_guard lock(m_mutex);
    return m_sendmailTimeout;
}

void MailSettings::setSendmailTimeout(double seconds) {
    std::lock_guard lock(m_mutex);
    m_sendmailTimeout = seconds > 0 ? seconds : 10;
}

std::string MailSettings::fromAddress() const {
    std::lock_guard lock(m_mutex);
    if (m_from) {
        return *m_from;
    }
    auto profile = DeviceProfile::current();
    std::string name = profile ? profile->name() : "iPhone";
    return name + " <mobile@localhost>";
}

void MailSettings::setFromAddress(std::optional<std::string> from) {
    std::lock_guard lock(m_mutex);
    m_from = std::move(from);
}

bool MailSettings::canSendMail() const {
    std::lock_guard lock(m_mutex);
    return !m_outboxDisabled || m_sendmail.has_value();
}

void MailSettings::reset() {
    std::lock_guard lock(m_mutex);
    m_outboxDisabled = false;
    m_outbox.reset();
    m_drafts.reset();
    m_sendmail.reset();
    m_sendmailTimeout = 10;
    m_from.reset();
}

} // namespace murmelo
