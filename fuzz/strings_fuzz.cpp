// Strings-table reader under arbitrary bytes: a table or an error, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/foundation/StringsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    auto table = murmelo::parseStringsFile(std::string_view(reinterpret_cast<const char*>(data), size));
    (void)table;
    return 0;
}
