// MailSettings: where the device's mail goes. A sent message is written as
// one RFC 5322 file into the outbox folder (by default Library/Mail/Outbox
// under the current app home) and, when a sendmail program is set, also
// piped to it (for example {"/usr/sbin/sendmail", "-t", "-oi"}); a saved
// draft goes into the drafts folder (Library/Mail/Drafts). Mail can be sent
// when there is an outbox or a sendmail program.
//
// shared() is the one settings object (a documented single instance);
// thread-safe.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace murmelo {

class MailSettings {
public:
    static MailSettings& shared();

    // Nothing: no outbox. The default folder is under the current home.
    std::optional<std::string> outboxDirectory() const;
    void setOutboxDirectory(std::optional<std::string> directory);
    std::string draftsDirectory() const;
    void setDraftsDirectory(std::optional<std::string> directory);

    std::optional<std::vector<std::string>> sendmailCommand() const;
    void setSendmailCommand(std::optional<std::vector<std::string>> command);
    // How long a sendmail run may take before it is stopped (default 10 s).
    double sendmailTimeout() const;
    void setSendmailTimeout(double seconds);

    // The sender, "Name <address>"; by default the device's name and
    // mobile@localhost.
    std::string fromAddress() const;
    void setFromAddress(std::optional<std::string> from);

    bool canSendMail() const;

    // Back to the defaults.
    void reset();

private:
    MailSettings() = default;

    mutable std::mutex m_mutex;
    bool m_outboxDisabled = false;
    std::optional<std::string> m_outbox;
    std::optional<std::string> m_drafts;
    std::optional<std::vector<std::string>> m_sendmail;
    double m_sendmailTimeout = 10;
    std::optional<std::string> m_from;
};

} // namespace murmelo
