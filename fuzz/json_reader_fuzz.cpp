// libFuzzer target: arbitrary bytes through the JSON reader. Every input must
// give a value or an error chain, never a crash, a hang or a read past the end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/json/KQJsonParser.h"

using namespace murmelo;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void readOnce(KQJsonParser& parser, std::string_view text, bool object) {
    Result<Value> result = object ? parser.objectWithString(text) : parser.fragmentWithString(text);
    std::vector<Error> trace = parser.errorTrace();
    check(parser.c() <= text.size());
    if (result.ok()) {
        check(trace.empty());
        check(!object || result->isArray() || result->isDictionary());
        return;
    }
    // The handed-back error is the last of the trace and leads through all of it.
    check(!trace.empty());
    size_t chain = 0;
    for (const Error* e = &result.error(); e; e = e->underlyingError().get()) {
        check(e->domain() == KQJSONErrorDomain);
        check(e->code() >= 1 && e->code() <= 13);
        ++chain;
    }
    check(chain == trace.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    KQJsonParser parser;
    readOnce(parser, text, true);
    readOnce(parser, text, false);
    parser.setMaxDepth(0);
    readOnce(parser, text, false);
    return 0;
}
