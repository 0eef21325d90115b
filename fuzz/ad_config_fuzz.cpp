// libFuzzer target: arbitrary bytes as a mediation configuration. Every input
// must parse or give an AdWhirl error of the configuration's codes; a parsed
// record never holds a network without adapter, priority or a negative weight.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlError.h"

using namespace murmelo;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Adapter classes for the types the program serves, so entries survive parsing.
bool registerTypes() {
    for (int type : {1, 9, 14, 16, 17, 19}) {
        auto adapterClass = std::make_shared<AdWhirlAdapterClass>();
        adapterClass->networkType = type;
        adapterClass->name = "FuzzAdapter";
        AdWhirlAdNetworkRegistry::sharedRegistry().registerClass(adapterClass);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = registerTypes();
    (void)registered;
    AdWhirlConfig config("fuzz");
    Result<void> parsed = config.parseConfig(std::string(reinterpret_cast<const char*>(data), size));
    if (!parsed) {
        const long code = parsed.error().code();
        check(parsed.error().domain() == kAdWhirlErrorDomain && (code == 20 || code == 30));
        return 0;
    }
    for (const auto& network : config.adNetworkConfigs()) {
        check(network->adapterClass() && network->networkType() != 0 && network->priority() != 0);
        check(network->trafficPercentage() >= 0);
    }
    check(config.totalWeight() >= 0);
    check(!(config.totalWeight() == 0 && !config.adsAreOff()));
    if (config.backgroundColor()) {
        check(config.backgroundColor()->red() >= 0 && config.backgroundColor()->red() <= 1);
    }
    return 0;
}
