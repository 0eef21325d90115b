// OVUtils: the cached request identity.
#include <mutex>

#include "app/base/OVUtils.h"
#include "app/base/RequestIdentity.h"
#include "app/reach/OVReachability.h"

namespace murmelo {

namespace {

// The three once-per-process values. Each has its own lock so that
// computing the user agent may ask for the network type.
struct CachedValue {
    std::mutex mutex;
    std::optional<std::string> value;

    template <class Compute> std::string get(Compute compute) {
        std::lock_guard lock(mutex);
        if (!value) {
            value = compute();
        }
        return *value;
    }
    void reset() {
        std::lock_guard lock(mutex);
        value.reset();
    }
};

struct IdentityCache {
    CachedValue userAgent;
    CachedValue parameterBlock;
    CachedValue networkType;
};

IdentityCache& identityCache() {
    static IdentityCache* cache = new IdentityCache(); // never destroyed: used until exit
    return *cache;
}

} // namespace

std::string OVUtils::defaultUserAgent() {
    return identityCache().userAgent.get(
        [] { return makeUserAgent(RequestIdentityInputs::gather(OVUtils::networkType())); });
}

std::string OVUtils::customHTTPGETParams() {
    return identityCache().parameterBlock.get(
        [] { return makeParameterBlock(RequestIdentityInputs::gather(OVUtils::networkType())); });
}

std::string OVUtils::networkType() {
    return identityCache().networkType.get([] {
        switch (OVReachability::sharedReachability().internetConnectionStatus()) {
        case NetworkStatus::ReachableViaWiFiNetwork:
            return std::string("WIFI");
        case NetworkStatus::ReachableViaCarrierDataNetwork:
            return std::string("Carrier");
        default:
            return std::string("None");
        }
    });
}

std::string OVUtils::urlByAddingParamsForURL(std::string_view url) {
    return urlByAddingParamsForURL(url, customHTTPGETParams());
}

void OVUtils::resetCachedIdentityForTesting() {
    IdentityCache& cache = identityCache();
    cache.userAgent.reset();
    cache.parameterBlock.reset();
    cache.networkType.reset();
}

} // namespace murmelo
