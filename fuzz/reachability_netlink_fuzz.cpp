// rtnetlink answers and sysfs uevent text as the reachability source reads
// them: never a read past the bytes, and every parsed entry stays in range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/net/internal/ReachabilityNetlink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto batch = murmelo::internal::parseNetlinkMessages(std::span<const std::uint8_t>(data, size));
    if (batch) {
        for (const auto& link : batch->links) {
            // Names come from a bounded attribute and stop at the first NUL.
            if (link.name.size() > size || link.name.find('\0') != std::string::npos) {
                std::abort();
            }
        }
        if (batch->errorCode < 0) {
            std::abort();
        }
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string type = murmelo::internal::ueventDeviceType(text);
    if (type.size() > size || type.find('\n') != std::string::npos) {
        std::abort();
    }
    return 0;
}
