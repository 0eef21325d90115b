#include "app/ads/AdWhirlAdNetworkRegistry.h"

namespace murmelo {

AdWhirlAdNetworkRegistry& AdWhirlAdNetworkRegistry::sharedRegistry() {
    static AdWhirlAdNetworkRegistry* registry = new AdWhirlAdNetworkRegistry(); // never destroyed
    return *registry;
}

void AdWhirlAdNetworkRegistry::registerClass(AdWhirlAdapterClassPtr adapterClass) {
    if (!adapterClass) {
        return;
    }
    std::lock_guard lock(m_mutex);
    m_adapterDict[adapterClass->networkType] = std::move(adapterClass);
}

void AdWhirlAdNetworkRegistry::unregisterClassFor(int networkType) {
    std::lock_guard lock(m_mutex);
    m_adapterDict.erase(networkType);
}

AdWhirlAdapterClassPtr AdWhirlAdNetworkRegistry::adapterClassFor(int networkType) const {
    std::lock_guard lock(m_mutex);
    auto it = m_adapterDict.find(networkType);
    return it == m_adapterDict.end() ? nullptr : it->second;
}

} // namespace murmelo
