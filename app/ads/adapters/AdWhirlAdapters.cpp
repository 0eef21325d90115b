#include "app/ads/adapters/AdWhirlAdapters.h"

#include <mutex>

#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "app/ads/adapters/AdWhirlAdapterAdMob.h"
#include "app/ads/adapters/AdWhirlAdapterCustom.h"
#include "app/ads/adapters/AdWhirlAdapterGeneric.h"
#include "app/ads/adapters/AdWhirlAdapterGoogleAdSense.h"
#include "app/ads/adapters/AdWhirlAdapterIAd.h"

namespace murmelo {

void registerAdWhirlAdaptersWith(AdWhirlAdNetworkRegistry& registry) {
    for (const AdWhirlAdapterClass& adapterClass :
         {AdWhirlAdapterAdMob::adapterClass(), AdWhirlAdapterCustom::adapterClass(),
          AdWhirlAdapterGoogleAdSense::adapterClass(), AdWhirlAdapterGeneric::adapterClass(),
          AdWhirlAdapterEvent::adapterClass()}) {
        registry.registerClass(std::make_shared<const AdWhirlAdapterClass>(adapterClass));
    }
    // A device without the iAd banner class cannot serve that network; its
    // entries then count as unknown and roll over.
    if (ADBannerView::classExists()) {
        registry.registerClass(
            std::make_shared<const AdWhirlAdapterClass>(AdWhirlAdapterIAd::adapterClass()));
    }
}

void registerAdWhirlAdapters() {
    static std::once_flag once;
    std::call_once(once, [] { registerAdWhirlAdaptersWith(AdWhirlAdNetworkRegistry::sharedRegistry()); });
}

} // namespace murmelo
