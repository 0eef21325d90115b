#include "app/ads/adapters/AdWhirlAdapters.h"

#include <mutex>

#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "app/ads/adapters/AdWhirlAdapterAdMob.h"
#include "app/ads/adapters/AdWhirlAdapterCustom.h"
#include "app/ads/adapters/AdWhirlAdapterGeneric.h"
#include "app/ads/adapters/AdWhirlAdapterGoogleAdSense.h"

namespace murmelo {

void registerAdWhirlAdapters() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto& registry = AdWhirlAdNetworkRegistry::sharedRegistry();
        for (const AdWhirlAdapterClass& adapterClass :
             {AdWhirlAdapterAdMob::adapterClass(), AdWhirlAdapterCustom::adapterClass(),
              AdWhirlAdapterGoogleAdSense::adapterClass(), AdWhirlAdapterGeneric::adapterClass(),
              AdWhirlAdapterEvent::adapterClass()}) {
            registry.registerClass(std::make_shared<const AdWhirlAdapterClass>(adapterClass));
        }
    });
}

} // namespace murmelo
