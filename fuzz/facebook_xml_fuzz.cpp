// libFuzzer target: the Facebook client's reading of REST answers over
// arbitrary bytes. Every input ends in a value or an error.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/facebook/FBXMLHandler.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    auto answer = FBXMLHandler::parseXMLResponse(bytes);
    if (!answer && answer.error().domain().empty()) {
        std::abort(); // an error must say where it comes from
    }
    return 0;
}
