#include "app/ads/AdUtils.h"

#include <mutex>

#include "app/product/Constants.h"

namespace murmelo {

namespace {

struct ClassSlot {
    std::mutex mutex; // the lock on the class
    AdUtils* instance = nullptr;
};

ClassSlot& classSlot() {
    static ClassSlot* slot = new ClassSlot(); // never destroyed, like the instance
    return *slot;
}

} // namespace

AdUtils& AdUtils::sharedAdUtils() {
    ClassSlot& slot = classSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.instance) {
        slot.instance = new AdUtils(); // the single instance, never destroyed
    }
    return *slot.instance;
}

AdUtils* AdUtils::alloc() {
    ClassSlot& slot = classSlot();
    std::lock_guard lock(slot.mutex);
    if (slot.instance) {
        return nullptr;
    }
    slot.instance = new AdUtils(); // the single instance, never destroyed
    return slot.instance;
}

bool AdUtils::shouldShowAds() const {
    // This build has no banner, so no screen places one.
    return false;
}

std::string AdUtils::getAdsenseKeywords() const {
    return std::string(Constant_Default_Adsense_Keywords);
}

std::vector<std::string> AdUtils::getAdsenseChannelsForUIIndex(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= AdSense_UI_Channels.size()) {
        return {};
    }
    return {std::string(AdSense_UI_Channels[static_cast<std::size_t>(index)])};
}

} // namespace murmelo
