#include "app/base/RequestIdentity.h"

#include "app/base/OVUtils.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/net/URL.h"

namespace murmelo {

namespace {

constexpr std::string_view kMissingObject = "(null)";

std::string orMissing(const std::optional<std::string>& value) {
    return value ? *value : std::string(kMissingObject);
}

std::optional<std::string> infoString(const Bundle& bundle, const std::string& key) {
    std::optional<Value> value = bundle.objectForInfoDictionaryKey(key);
    if (!value || value->isNull()) {
        return std::nullopt;
    }
    // "%@" of a number is its description; of a string, the string.
    if (value->isString() || value->isNumber()) {
        return value->stringValue();
    }
    return value->debugDescription();
}

} // namespace

RequestIdentityInputs RequestIdentityInputs::gather(std::string networkType) {
    RequestIdentityInputs inputs;
    std::shared_ptr<Bundle> bundle = Bundle::mainBundle();
    inputs.bundleName = infoString(*bundle, "CFBundleName");
    inputs.bundleVersion = infoString(*bundle, "CFBundleVersion");
    std::shared_ptr<const DeviceProfile> device = DeviceProfile::current();
    inputs.model = device->model();
    inputs.systemName = device->systemName();
    inputs.systemVersion = device->systemVersion();
    inputs.uniqueIdentifier = device->uniqueIdentifier();
    inputs.localeIdentifier = OVgetCurrentLocale().localeIdentifier();
    inputs.machine = specificMachineModel();
    inputs.networkType = std::move(networkType);
    inputs.jailBroken = OVUtils::isJailBroken();
    return inputs;
}

std::string makeUserAgent(const RequestIdentityInputs& in) {
    std::string agent;
    agent.reserve(160);
    agent += orMissing(in.bundleName);
    agent += '/';
    agent += orMissing(in.bundleVersion);
    agent += " (";
    agent += in.model;
    agent += "; ";
    agent += in.systemName;
    agent += ' ';
    agent += in.systemVersion;
    agent += "; ";
    agent += in.localeIdentifier;
    agent += "; ";
    agent += in.machine;
    agent += "; ";
    agent += orMissing(in.uniqueIdentifier);
    agent += "; ";
    agent += in.networkType;
    agent += "; JB_";
    agent += in.jailBroken ? '1' : '0';
    agent += ')';
    return agent;
}

std::string makeParameterBlock(const RequestIdentityInputs& in) {
    std::string block;
    block.reserve(128);
    block += "app=";
    block += addingPercentEscapes(orMissing(in.bundleName));
    block += "&v=";
    block += addingPercentEscapes(orMissing(in.bundleVersion));
    block += "&lang=";
    block += addingPercentEscapes(in.localeIdentifier);
    block += "&jb=";
    block += in.jailBroken ? '1' : '0';
    block += "&deviceid=";
    block += addingPercentEscapes(orMissing(in.uniqueIdentifier));
    block += "&phonetype=iphone";
    return block;
}

} // namespace murmelo
