// AdWhirlAdNetworkConfig: one usable network of a mediation configuration —
// type, the server's entry id, name, weight, priority, credentials and the
// adapter class that serves it. Immutable once made; any thread.
//
// Also the number readers of the configuration (awIntVal, awFloatVal): a
// JSON number (true/false as 1/0) or a string's leading number; anything
// else fails and leaves the output alone.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "platform/core/Value.h"

namespace murmelo {

bool awIntVal(int* out, const Value* value);
bool awFloatVal(float* out, const Value* value);

class AdWhirlAdNetworkConfig {
public:
    // initWithDictionary: — one entry of the "rations" array; null (with a
    // warning) when it is not usable.
    static std::shared_ptr<const AdWhirlAdNetworkConfig>
    initWithDictionary(const Dictionary& dict,
                       const AdWhirlAdNetworkRegistry& registry = AdWhirlAdNetworkRegistry::sharedRegistry());

    int networkType() const { return m_networkType; }
    const std::string& nid() const { return m_nid; }
    const std::string& networkName() const { return m_networkName; }
    // Never negative: a negative weight reads as 0.
    int trafficPercentage() const { return m_trafficPercentage; }
    int priority() const { return m_priority; }
    const std::optional<Dictionary>& credentials() const { return m_credentials; }
    const AdWhirlAdapterClassPtr& adapterClass() const { return m_adapterClass; }
    // credentials["pubid"] when it is a string.
    std::optional<std::string> pubId() const;

    std::string description() const;

private:
    AdWhirlAdNetworkConfig() = default;

    int m_networkType = 0;
    std::string m_nid;
    std::string m_networkName;
    int m_trafficPercentage = 0;
    int m_priority = 0;
    std::optional<Dictionary> m_credentials;
    AdWhirlAdapterClassPtr m_adapterClass;
};

} // namespace murmelo
