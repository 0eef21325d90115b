// libFuzzer target: the event XML parser over arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/net/XMLEventParser.h"

using namespace murmelo;

namespace {

// Checks that starts and ends pair up, as a well-formed parse promises.
class Balance : public XMLEventParserDelegate {
public:
    std::vector<std::string> open;
    void didStartElement(XMLEventParser&, const std::string& name, const XMLAttributes&) override {
        open.push_back(name);
    }
    void didEndElement(XMLEventParser&, const std::string& name) override {
        if (open.empty() || open.back() != name) {
            std::abort();
        }
        open.pop_back();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Balance balance;
    XMLEventParser parser(std::string(reinterpret_cast<const char*>(data), size));
    parser.setDelegate(&balance);
    if (parser.parse().ok() && !balance.open.empty()) {
        std::abort();
    }
    return 0;
}
