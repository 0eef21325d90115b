// libFuzzer target: mail addresses typed by a person, and the messages
// written with whatever subject and body: no header may be slipped in, the
// subject and body keep to 78 characters a line, and no line (an address
// may be long) passes the hard limit of 998.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ui/MailMessage.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    MailMessage message;
    message.from = "Tester <tester@example.org>";
    message.to = {"friend@example.com"};
    if (auto addresses = parseMailAddressList(text)) {
        for (const auto& address : *addresses) {
            if (!isValidMailAddress(address)) {
                std::abort();
            }
        }
        if (!addresses->empty()) {
            message.to = *addresses;
        }
    }
    (void)parseMailbox(text);
    message.subject = text;
    message.body = text;
    message.isHTML = size % 2 == 0;
    auto serialized = message.serialize();
    if (!serialized) {
        std::abort(); // valid addresses always make a message
    }
    const std::string& out = *serialized;
    size_t headerEnd = out.find("\r\n\r\n");
    if (headerEnd == std::string::npos) {
        std::abort();
    }
    int subjects = 0;
    bool inSubject = false;
    for (size_t start = 0; start < out.size();) {
        size_t end = out.find("\r\n", start);
        if (end == std::string::npos || end - start > 998) {
            std::abort(); // every line ends in CRLF within the hard limit
        }
        std::string line = out.substr(start, end - start);
        if (line.find('\r') != std::string::npos || line.find('\n') != std::string::npos) {
            std::abort();
        }
        bool header = start < headerEnd;
        if (header && !line.empty() && line[0] != ' ') {
            inSubject = line.rfind("Subject:", 0) == 0;
            subjects += inSubject ? 1 : 0;
        }
        if ((!header || inSubject) && line.size() > 78) {
            std::abort();
        }
        if (start < headerEnd && line.rfind("Bcc:", 0) == 0) {
            std::abort(); // nothing set a blind copy
        }
        start = end + 2;
    }
    if (subjects != 1) {
        std::abort();
    }
    return 0;
}
