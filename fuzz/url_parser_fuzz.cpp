// libFuzzer target: URLParser's query splitting and lookup.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/base/URLParser.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    URLParser parser(text);
    for (const std::string& piece : parser.variables()) {
        if (piece.empty() || piece.front() == '&' || piece.front() == '?' ||
            piece.find('&') != std::string::npos) {
            std::abort(); // pieces are never empty, never start with a separator, never hold "&"
        }
        size_t equals = piece.find('=');
        if (equals != std::string::npos && equals + 1 < piece.size()) {
            std::string name = piece.substr(0, equals);
            auto value = parser.valueForVariable(name);
            if (!value || value->empty()) {
                std::abort(); // a name with a value is always found
            }
        }
    }
    (void)parser.valueForVariable(text.substr(0, size / 2));
    return 0;
}
