#include "app/ads/AdUtils.h"

#include <mutex>

#include "app/base/OVOperation.h"
#include "app/base/OVOperationManager.h"
#include "app/base/OVUtils.h"
#include "app/product/Constants.h"
#include "platform/core/Clock.h"
#include "platform/foundation/UserDefaults.h"

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

namespace {
constexpr const char* kLastTimeIntervalKey = "lastTimeInterval";
constexpr const char* kAdsenseKeywordsKey = "adsense_keywords";

std::string trimmed(const std::string& text) {
    constexpr const char* kWhitespace = " \t\n\r\v\f";
    const size_t first = text.find_first_not_of(kWhitespace);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kWhitespace) - first + 1);
}
} // namespace

bool AdUtils::shouldShowAds() const {
    const double hiddenUntil = UserDefaults::standardUserDefaults()->doubleForKey(kLastTimeIntervalKey);
    return Clock::now() - hiddenUntil >= 0;
}

void AdUtils::hideForSeconds(double seconds) {
    const double duration = seconds > 0 ? seconds : kDefaultHideSeconds;
    UserDefaults::standardUserDefaults()->setDouble(Clock::now() + duration, kLastTimeIntervalKey);
}

std::string AdUtils::getAdsenseKeywords() {
    if (auto stored = UserDefaults::standardUserDefaults()->stringForKey(kAdsenseKeywordsKey)) {
        return *stored;
    }
    // One fetch at a time: every refresh while none is stored would queue another.
    if (!m_fetchingKeywords.exchange(true)) {
        auto operation = OVOperation::operationWithTarget(this, nullptr, &AdUtils::getAdsenseKeywordsAsync);
        OVOperationManager::sharedOperationManager().addOperation(operation);
    }
    return std::string(Constant_Default_Adsense_Keywords);
}

std::optional<std::string> AdUtils::getAdsenseKeywordsAsync() {
    struct ClearFlag {
        std::atomic<bool>& flag;
        ~ClearFlag() { flag = false; }
    } clear{m_fetchingKeywords};
    const std::string address = OVUtils::urlByAddingParamsForURL(Constant_GetAdsenseKeywordsUrl);
    std::optional<Data> body = OVUtils::dataWithContentsOfURL(URL::strictParse(address));
    if (!body) {
        return std::nullopt;
    }
    std::string keywords = trimmed(std::string(body->begin(), body->end()));
    UserDefaults::standardUserDefaults()->setObject(Value(keywords), kAdsenseKeywordsKey);
    return keywords;
}

std::vector<std::string> AdUtils::getAdsenseChannelsForUIIndex(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= AdSense_UI_Channels.size()) {
        return {};
    }
    return {std::string(AdSense_UI_Channels[static_cast<std::size_t>(index)])};
}

} // namespace murmelo
