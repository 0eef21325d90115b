// Property-list reader under arbitrary bytes: it must return a value or an
// error, never crash, and whatever it reads must write and read back equal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/foundation/PropertyListSerialization.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto value = PropertyListSerialization::propertyListWithData(bytes);
    if (!value) {
        return 0;
    }
    for (auto format : {PropertyListFormat::Xml, PropertyListFormat::Binary}) {
        auto written = PropertyListSerialization::dataWithPropertyList(*value, format);
        if (!written) {
            continue; // e.g. a string with a NUL byte: refused, which is fine
        }
        auto again = PropertyListSerialization::propertyListWithData(*written);
        if (!again) {
            std::abort(); // we wrote something we cannot read
        }
    }
    return 0;
}
