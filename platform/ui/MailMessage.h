// MailMessage: one e-mail as the device writes it — RFC 5322 headers (Date,
// From, To, Cc, Bcc, Subject, Message-ID, MIME) and a UTF-8 text or HTML
// body in quoted-printable, lines ending in CRLF and never longer than 78
// characters. Header texts are made safe: line breaks and other control
// characters in a subject or a name become blanks (no header can be slipped
// in), and non-ASCII texts are written as RFC 2047 encoded words.
//
// Addresses are plain "local@domain" (dot-atoms; no quoted local parts, no
// comments). Value type; thread-safe to copy.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"

namespace murmelo {

bool isValidMailAddress(std::string_view address);
// "a@b, Name <c@d>" → the addresses; an error names the first bad entry.
Result<std::vector<std::string>> parseMailAddressList(std::string_view text);

struct MailAddress {
    std::string name; // may be empty
    std::string address;
};
// "Name <address>" or a bare address; nothing when the address is not valid.
std::optional<MailAddress> parseMailbox(std::string_view text);

class MailMessage {
public:
    std::string from = "mobile@localhost"; // "Name <address>" or an address
    std::vector<std::string> to;
    std::vector<std::string> cc;
    std::vector<std::string> bcc;
    std::string subject;
    std::string body;
    bool isHTML = false;
    double date = 0;       // seconds since 1970
    std::string messageID; // without the angle brackets; made up when empty

    // The whole message. Errors: a sender or recipient that is not a valid
    // address.
    Result<std::string> serialize() const;
};

// Helpers, exposed for their tests.
// Plain text as it is; otherwise RFC 2047 encoded words (UTF-8, Base64)
// separated by blanks, each short enough to fold onto its own line.
std::string encodeHeaderText(std::string_view text);
std::string quotedPrintable(std::string_view text);
std::string rfc5322Date(double secondsSince1970);

} // namespace murmelo
