#include "platform/ui/MailMessage.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "platform/foundation/Crypto.h"
#include "platform/foundation/DeviceProfile.h"

namespace murmelo {

namespace {

constexpr size_t kMaxAddressLength = 254;
constexpr size_t kLineLimit = 76;

bool isAtext(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

bool isDotAtom(std::string_view text, bool(accept)(char)) {
    if (text.empty() || text.front() == '.' || text.back() == '.') {
        return false;
    }
    char previous = 0;
    for (char c : text) {
        if (c == '.') {
            if (previous == '.') {
                return false;
            }
        } else if (!accept(c)) {
            return false;
        }
        previous = c;
    }
    return true;
}

bool isDomainLabelChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool isDomain(std::string_view domain) {
    if (!isDotAtom(domain, isDomainLabelChar)) {
        return false;
    }
    size_t start = 0;
    while (start <= domain.size()) {
        size_t end = domain.find('.', start);
        std::string_view label = domain.substr(start, end == std::string_view::npos ? end : end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
            return false;
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return true;
}

std::string_view trim(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// Control characters (line breaks included) become blanks.
std::string sanitized(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = ' ';
        }
    }
    return out;
}

bool isPlainASCII(std::string_view text) {
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) {
            return false;
        }
    }
    return true;
}

// Splits UTF-8 text into pieces of at most `maxBytes`, never inside a character.
std::vector<std::string_view> utf8Chunks(std::string_view text, size_t maxBytes) {
    std::vector<std::string_view> chunks;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.size(), start + maxBytes);
        while (end < text.size() && end > start + 1 &&
               (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            --end;
        }
        chunks.push_back(text.substr(start, end - start));
        start = end;
    }
    return chunks;
}

bool needsEncoding(std::string_view text);

std::string displayName(std::string_view name) {
    std::string clean = sanitized(name);
    if (clean.empty()) {
        return {};
    }
    if (needsEncoding(clean)) {
        return encodeHeaderText(clean);
    }
    bool special = clean.find_first_of("()<>[]:;@\\,.\"") != std::string::npos;
    if (!special) {
        return clean;
    }
    std::string quoted = "\"";
    for (char c : clean) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// "Name: value" folded at blanks so no line passes the limit.
std::string foldedHeader(const std::string& name, const std::string& value) {
    std::string line = name + ": ";
    std::string out;
    size_t start = 0;
    while (start < value.size()) {
        size_t space = value.find(' ', start);
        std::string word =
            value.substr(start, space == std::string::npos ? std::string::npos : space - start);
        if (line.size() > name.size() + 2 && line.size() + 1 + word.size() > 78) {
            out += line + "\r\n";
            line = " " + word;
        } else {
            if (line.size() > name.size() + 2) {
                line += ' ';
            }
            line += word;
        }
        if (space == std::string::npos) {
            break;
        }
        start = space + 1;
    }
    return out + line + "\r\n";
}

std::string addressList(const std::vector<std::string>& addresses) {
    std::string value;
    for (const auto& a : addresses) {
        if (!value.empty()) {
            value += ", ";
        }
        value += a;
    }
    return value;
}

std::string newMessageID() {
    static std::atomic<unsigned> counter{0};
    std::string random = DeviceProfile::newUniqueIdentifier().substr(0, 16);
    return random + "." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) +
           "@murmelo.local";
}

} // namespace

bool isValidMailAddress(std::string_view address) {
    if (address.empty() || address.size() > kMaxAddressLength) {
        return false;
    }
    size_t at = address.rfind('@');
    if (at == std::string_view::npos || at == 0 || at > 64) {
        return false;
    }
    return isDotAtom(address.substr(0, at), isAtext) && isDomain(address.substr(at + 1));
}

std::optional<MailAddress> parseMailbox(std::string_view text) {
    text = trim(text);
    size_t open = text.rfind('<');
    if (open == std::string_view::npos) {
        if (!isValidMailAddress(text)) {
            return std::nullopt;
        }
        return MailAddress{"", std::string(text)};
    }
    if (text.back() != '>') {
        return std::nullopt;
    }
    std::string_view address = text.substr(open + 1, text.size() - open - 2);
    if (!isValidMailAddress(address)) {
        return std::nullopt;
    }
    std::string_view name = trim(text.substr(0, open));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    return MailAddress{std::string(name), std::string(address)};
}

Result<std::vector<std::string>> parseMailAddressList(std::string_view text) {
    std::vector<std::string> addresses;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string_view entry =
            trim(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (!entry.empty()) {
            auto mailbox = parseMailbox(entry);
            if (!mailbox) {
                return Error("MailErrorDomain", 1, "not a mail address: " + sanitized(entry));
            }
            addresses.push_back(mailbox->address);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return addresses;
}

namespace {
bool needsEncoding(std::string_view text) {
    if (!isPlainASCII(text)) {
        return true;
    }
    // A word too long to fold would break the line limit, even after the
    // longest header name it is written under.
    size_t run = 0;
    for (char c : text) {
        run = c == ' ' ? 0 : run + 1;
        if (run > 60) {
            return true;
        }
    }
    return false;
}
} // namespace

std::string encodeHeaderText(std::string_view text) {
    std::string clean = sanitized(text);
    if (!needsEncoding(clean)) {
        return clean;
    }
    // 39 bytes make a 64-character encoded word, which fits a folded line
    // even after "Subject: ".
    std::string out;
    for (auto chunk : utf8Chunks(clean, 39)) {
        if (!out.empty()) {
            out += ' ';
        }
        out += "=?UTF-8?B?" + base64Encode(chunk) + "?=";
    }
    return out;
}

std::string quotedPrintable(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    // One line of the text at a time; line breaks of any kind become CRLF.
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
        std::string encoded;
        size_t lineLength = 0;
        auto append = [&](const std::string& piece) {
            if (lineLength + piece.size() > kLineLimit - 1) {
                encoded += "=\r\n";
                lineLength = 0;
            }
            encoded += piece;
            lineLength += piece.size();
        };
        for (size_t i = 0; i < line.size(); ++i) {
            auto c = static_cast<unsigned char>(line[i]);
            bool last = i + 1 == line.size();
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) {
                append(std::string(1, static_cast<char>(c)));
            } else {
                append(std::string{'=', hex[c >> 4], hex[c & 0xF]});
            }
        }
        out += encoded;
        if (end == std::string_view::npos) {
            break;
        }
        out += "\r\n";
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return out;
}

std::string rfc5322Date(double secondsSince1970) {
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc.tm_wday % 7],
                  utc.tm_mday, months[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return buffer;
}

Result<std::string> MailMessage::serialize() const {
    auto sender = parseMailbox(from);
    if (!sender) {
        return Error("MailErrorDomain", 1, "not a mail address: " + sanitized(from));
    }
    for (const auto* list : {&to, &cc, &bcc}) {
        for (const auto& address : *list) {
            if (!isValidMailAddress(address)) {
                return Error("MailErrorDomain", 1, "not a mail address: " + sanitized(address));
            }
        }
    }
    std::string text;
    text += "Date: " + rfc5322Date(date) + "\r\n";
    std::string name = displayName(sender->name);
    text += foldedHeader("From", name.empty() ? sender->address : name + " <" + sender->address + ">");
    if (!to.empty()) {
        text += foldedHeader("To", addressList(to));
    }
    if (!cc.empty()) {
        text += foldedHeader("Cc", addressList(cc));
    }
    if (!bcc.empty()) {
        text += foldedHeader("Bcc", addressList(bcc));
    }
    text += foldedHeader("Subject", encodeHeaderText(subject));
    text += "Message-ID: <" + (messageID.empty() ? newMessageID() : sanitized(messageID)) + ">\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += std::string("Content-Type: ") + (isHTML ? "text/html" : "text/plain") + "; charset=UTF-8\r\n";
    text += "Content-Transfer-Encoding: quoted-printable\r\n";
    text += "\r\n";
    text += quotedPrintable(body);
    text += "\r\n";
    return text;
}

} // namespace murmelo
