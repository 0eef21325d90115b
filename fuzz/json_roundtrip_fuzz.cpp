// libFuzzer target: whatever the JSON reader accepts, the writer must write
// (compact, and sorted human-readable), and reading that text back must give
// an equal value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/json/KQJsonParser.h"
#include "app/json/KQJsonWriter.h"

using namespace murmelo;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    KQJsonParser parser;
    parser.setMaxDepth(0);
    Result<Value> first = parser.fragmentWithString(text);
    if (!first.ok()) {
        return 0;
    }
    for (bool pretty : {false, true}) {
        KQJsonWriter writer;
        writer.setMaxDepth(0);
        writer.setSortKeys(pretty);
        writer.setHumanReadable(pretty);
        Result<std::string> written = writer.stringWithFragment(*first);
        check(written.ok());
        Result<Value> second = parser.fragmentWithString(*written);
        check(second.ok());
        check(*second == *first);
        if (!pretty) {
            // Same order, same types, same digits.
            check(second->debugDescription() == first->debugDescription());
            Result<std::string> again = writer.stringWithFragment(*second);
            check(again.ok() && *again == *written);
        }
    }
    return 0;
}
