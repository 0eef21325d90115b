#include "app/ads/AdWhirlAdNetworkConfig.h"

#include "app/ads/AdWhirlLog.h"

namespace murmelo {

namespace {

bool readsAsNumber(const Value* value) {
    return value && (value->isNumber() || value->isBoolean() || value->isString());
}

} // namespace

bool awIntVal(int* out, const Value* value) {
    if (!readsAsNumber(value)) {
        return false;
    }
    *out = value->intValue();
    return true;
}

bool awFloatVal(float* out, const Value* value) {
    if (!readsAsNumber(value)) {
        return false;
    }
    *out = value->floatValue();
    return true;
}

std::shared_ptr<const AdWhirlAdNetworkConfig>
AdWhirlAdNetworkConfig::initWithDictionary(const Dictionary& dict, const AdWhirlAdNetworkRegistry& registry) {
    const Value* type = dict.find("type");
    const Value* nid = dict.find("nid");
    const Value* nname = dict.find("nname");
    const Value* priority = dict.find("priority");
    if (!type || !nid || !nname || !priority) {
        AWLogWarn("Ad network config has no network type, network id, network name, or priority");
        return nullptr;
    }
    auto config = std::shared_ptr<AdWhirlAdNetworkConfig>(new AdWhirlAdNetworkConfig());
    if (awIntVal(&config->m_networkType, type)) {
        config->m_adapterClass = registry.adapterClassFor(config->m_networkType);
        if (!config->m_adapterClass) {
            AWLogWarn("Ad network type %d not supported, no adapter found", config->m_networkType);
            return nullptr;
        }
    }
    const bool hasNid = nid->isString();
    const bool hasName = nname->isString();
    if (hasNid) {
        config->m_nid = *nid->asString();
    }
    if (hasName) {
        config->m_networkName = *nname->asString();
    }
    (void)awIntVal(&config->m_trafficPercentage, dict.find("weight"));
    (void)awIntVal(&config->m_priority, priority);
    if (config->m_networkType == 0 || !hasNid || !hasName || config->m_priority == 0) {
        AWLogWarn("Ad network config has invalid network type, network id, network name or priority");
        return nullptr;
    }
    // A negative weight would make the weighted choice's total meaningless.
    if (config->m_trafficPercentage < 0) {
        AWLogWarn("Negative weight %d for ad network %s, using 0", config->m_trafficPercentage,
                  config->m_networkName.c_str());
        config->m_trafficPercentage = 0;
    }
    if (const Value* key = dict.find("key")) {
        if (const Dictionary* credentials = key->asDictionary()) {
            config->m_credentials = *credentials;
        } else if (const ValueString* pubid = key->asString()) {
            config->m_credentials = Dictionary{{"pubid", Value(*pubid)}};
        }
    }
    return config;
}

std::optional<std::string> AdWhirlAdNetworkConfig::pubId() const {
    if (!m_credentials) {
        return std::nullopt;
    }
    const Value* pubid = m_credentials->find("pubid");
    if (!pubid || !pubid->isString()) {
        return std::nullopt;
    }
    return pubid->asString()->str();
}

std::string AdWhirlAdNetworkConfig::description() const {
    std::string creds;
    if (auto pub = pubId()) {
        creds = *pub;
    } else if (m_credentials) {
        creds = "{";
        for (const auto& [key, value] : *m_credentials) {
            creds += key.str() + ":" + value.stringValue() + " ";
        }
        creds += "}";
    } else {
        creds = "(null)";
    }
    return "name:" + m_networkName + " type:" + std::to_string(m_networkType) + " nid:" + m_nid +
           " weight:" + std::to_string(m_trafficPercentage) + " priority:" + std::to_string(m_priority) +
           " creds:" + creds;
}

} // namespace murmelo
