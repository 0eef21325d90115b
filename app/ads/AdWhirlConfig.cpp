#include "app/ads/AdWhirlConfig.h"

#include <algorithm>
#include <map>

#include "app/ads/AdWhirlError.h"
#include "app/ads/AdWhirlLog.h"
#include "app/json/KQJSON.h"
#include "app/product/Constants.h"
#include "platform/foundation/LocationManager.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Timer.h"

namespace murmelo {

void AdWhirlConfigDelegate::adWhirlConfigDidReceiveConfig(AdWhirlConfig&) {}
void AdWhirlConfigDelegate::adWhirlConfigDidFail(AdWhirlConfig&, const Error&) {}
std::optional<URL> AdWhirlConfigDelegate::adWhirlConfigURL() {
    return std::nullopt;
}

using namespace reachability;

namespace {

std::map<std::string, std::shared_ptr<AdWhirlConfig>>& configs() {
    static auto* table = new std::map<std::string, std::shared_ptr<AdWhirlConfig>>(); // process-wide
    return *table;
}

// The legacy layout names networks; the current one numbers them.
const std::map<std::string, int>& legacyNetworkTypes() {
    static const std::map<std::string, int> table = {
        {"admob", 1},       {"jumptap", 2},         {"videoegg", 3},
        {"medialets", 4},   {"liverail", 5},        {"millennial", 6},
        {"greystripe", 7},  {"quattro", 8},         {"custom", 9},
        {"adwhirl_10", 10}, {"mobclix", 11},        {"adwhirl_12", 12},
        {"adwhirl_13", 13}, {"google_adsense", 14}, {"google_doubleclick", 15},
        {"generic", 16},    {"inmobi", 18},
    };
    return table;
}

Error formatError(std::string message) {
    return AdWhirlError::errorWithCode(AdWhirlErrorCode::ConfigFormatError, std::move(message));
}

std::string flagsDescription(ReachabilityFlags flags) {
    auto letter = [flags](ReachabilityFlags bit, char c) { return (flags & bit) ? c : '-'; };
    return {letter(kTransientConnection, 't'),
            letter(kReachable, 'R'),
            letter(kConnectionRequired, 'c'),
            letter(kConnectionOnTraffic, 'C'),
            letter(kInterventionRequired, 'i'),
            '-',
            letter(kIsLocalAddress, 'l'),
            letter(kIsDirect, 'd'),
            letter(kIsWWAN, 'W')};
}

} // namespace

std::optional<Color> colorWithDict(const Dictionary& dict) {
    int red = 0;
    int green = 0;
    int blue = 0;
    if (!awIntVal(&red, dict.find("red")) || !awIntVal(&green, dict.find("green")) ||
        !awIntVal(&blue, dict.find("blue"))) {
        return std::nullopt;
    }
    float alpha = 1;
    if (!awFloatVal(&alpha, dict.find("alpha")) || !(alpha == alpha)) {
        alpha = 1;
    }
    auto component = [](int value) { return std::clamp(value, 0, 255) / 255.0; };
    return Color(component(red), component(green), component(blue),
                 std::clamp(static_cast<double>(alpha), 0.0, 1.0));
}

// Forwards the transfer's events to the record; the connection keeps it alive
// for the length of the load.
class AdWhirlConfig::Connection : public URLConnectionDelegate {
public:
    explicit Connection(std::weak_ptr<AdWhirlConfig> config) : m_config(std::move(config)) {}
    void didReceiveResponse(URLConnection& connection, const URLResponse& response) override {
        if (auto config = m_config.lock()) {
            config->connectionDidReceiveResponse(connection, response);
        }
    }
    void didReceiveData(URLConnection& connection, const Data& data) override {
        if (auto config = m_config.lock()) {
            config->connectionDidReceiveData(connection, data);
        }
    }
    void connectionDidFinishLoading(URLConnection& connection) override {
        if (auto config = m_config.lock()) {
            config->connectionDidFinish(connection);
        }
    }
    void didFailWithError(URLConnection& connection, const Error& error) override {
        if (auto config = m_config.lock()) {
            config->connectionDidFail(connection, error);
        }
    }

private:
    std::weak_ptr<AdWhirlConfig> m_config;
};

std::shared_ptr<AdWhirlConfig> AdWhirlConfig::fetchConfig(const std::string& appKey,
                                                          std::weak_ptr<AdWhirlConfigDelegate> delegate) {
    auto& table = configs();
    auto it = table.find(appKey);
    if (it == table.end()) {
        auto config = std::make_shared<AdWhirlConfig>(appKey);
        config->addDelegate(delegate);
        config->buildConfigURL(delegate.lock());
        table.emplace(appKey, config);
        config->checkReachability();
        return config;
    }
    std::shared_ptr<AdWhirlConfig> config = it->second;
    if (config->m_fetched) {
        RunLoop::current().post([config, delegate] {
            if (auto listener = delegate.lock()) {
                listener->adWhirlConfigDidReceiveConfig(*config);
            }
        });
        return config;
    }
    config->addDelegate(delegate);
    if (config->m_failure) {
        // Without this a listener of a failed record would never hear back.
        RunLoop::current().post([config, delegate, error = *config->m_failure] {
            if (auto listener = delegate.lock()) {
                listener->adWhirlConfigDidFail(*config, error);
            }
        });
    }
    return config;
}

URL AdWhirlConfig::defaultConfigBaseURL() {
    return *URL::strictParse("http://" + std::string(kMediationConfigHost) + "/getInfo.php");
}

void AdWhirlConfig::resetConfigsForTesting() {
    configs().clear();
}

void AdWhirlConfig::storeConfigForTesting(std::shared_ptr<AdWhirlConfig> config) {
    config->m_fetched = true;
    configs()[config->m_appKey] = std::move(config);
}

AdWhirlConfig::AdWhirlConfig(std::string appKey) : m_appKey(std::move(appKey)) {}

AdWhirlConfig::~AdWhirlConfig() {
    if (m_connection) {
        m_connection->cancel();
    }
    if (m_reachability) {
        (void)m_reachability->unscheduleFromRunLoop(RunLoop::current().handle(), RunLoop::kDefaultMode);
    }
}

void AdWhirlConfig::addDelegate(std::weak_ptr<AdWhirlConfigDelegate> delegate) {
    auto listener = delegate.lock();
    if (!listener) {
        return;
    }
    for (const auto& existing : m_delegates) {
        if (existing.lock() == listener) {
            return;
        }
    }
    m_delegates.push_back(std::move(delegate));
}

void AdWhirlConfig::removeDelegate(const AdWhirlConfigDelegate* delegate) {
    auto it = std::find_if(m_delegates.begin(), m_delegates.end(), [delegate](const auto& weak) {
        auto listener = weak.lock();
        return listener.get() == delegate || (!listener && !delegate);
    });
    if (it != m_delegates.end()) {
        m_delegates.erase(it);
    }
}

std::vector<std::shared_ptr<AdWhirlConfigDelegate>> AdWhirlConfig::liveDelegates() {
    std::erase_if(m_delegates, [](const auto& weak) { return weak.expired(); });
    std::vector<std::shared_ptr<AdWhirlConfigDelegate>> live;
    for (const auto& weak : m_delegates) {
        if (auto listener = weak.lock()) {
            live.push_back(std::move(listener));
        }
    }
    return live;
}

void AdWhirlConfig::buildConfigURL(const std::shared_ptr<AdWhirlConfigDelegate>& delegate) {
    std::optional<URL> base;
    if (delegate) {
        base = delegate->adWhirlConfigURL();
    }
    if (!base) {
        base = defaultConfigBaseURL();
    }
    m_configURL =
        URL::resolve(*base, "?appid=" + m_appKey + "&appver=" + std::to_string(kAdWhirlAppVer) + "&client=1");
    AWLogDebug("Going to fetch config at %s", m_configURL ? m_configURL->absoluteString().c_str() : "(null)");
}

bool AdWhirlConfig::retryFetch() {
    if (!m_failure || m_connection || m_reachability || Timer::now() - m_failedAt < kRetryBackoffSeconds) {
        return false;
    }
    AWLogDebug("Retrying the config fetch of %s", m_appKey.c_str());
    m_failure.reset();
    checkReachability();
    return true;
}

void AdWhirlConfig::checkReachability() {
    const std::string host = m_configURL && m_configURL->host() ? *m_configURL->host() : std::string();
    m_reachability = Reachability::createWithName(host);
    if (!m_reachability) {
        notifyDelegatesOfFailure(AdWhirlError::errorWithCode(
            AdWhirlErrorCode::ConfigConnectionError, "Error setting up reachability test to config server"));
        return;
    }
    std::weak_ptr<AdWhirlConfig> weakSelf = weak_from_this();
    m_reachability->setCallback([weakSelf](Reachability&, ReachabilityFlags flags) {
        if (auto self = weakSelf.lock()) {
            self->reachabilityIs(flags);
        }
    });
    if (!m_reachability->scheduleWithRunLoop(RunLoop::current().handle(), RunLoop::kDefaultMode)) {
        m_reachability.reset();
        notifyDelegatesOfFailure(AdWhirlError::errorWithCode(
            AdWhirlErrorCode::ConfigConnectionError, "Error scheduling reachability test to config server"));
    }
}

void AdWhirlConfig::reachabilityIs(ReachabilityFlags flags) {
    AWLogDebug("Reachability flag status: %s", flagsDescription(flags).c_str());
    const std::string url = m_configURL ? m_configURL->absoluteString() : std::string();
    if (!(flags & kReachable)) {
        AWLogDebug("Config URL %s not reachable", url.c_str());
        return;
    }
    if ((flags & kConnectionRequired) && !(flags & kIsWWAN) &&
        !((flags & kConnectionOnTraffic) && !(flags & kInterventionRequired))) {
        AWLogDebug("Config URL not reachable %s", url.c_str());
        return;
    }
    AWLogDebug("Config URL reachable %s", url.c_str());
    auto reachability = std::move(m_reachability);
    m_reachability.reset();
    if (!reachability->unscheduleFromRunLoop(RunLoop::current().handle(), RunLoop::kDefaultMode)) {
        notifyDelegatesOfFailure(AdWhirlError::errorWithCode(
            AdWhirlErrorCode::ConfigConnectionError, "Error unscheduling reachability test to config"));
        return;
    }
    startTransfer();
}

void AdWhirlConfig::startTransfer() {
    if (!m_configURL) {
        notifyDelegatesOfFailure(AdWhirlError::errorWithCode(AdWhirlErrorCode::ConfigConnectionError,
                                                             "Error connecting to config server"));
        return;
    }
    m_connection = URLConnection::connectionWithRequest(URLRequest(*m_configURL),
                                                        std::make_shared<Connection>(weak_from_this()));
    if (m_connection) {
        m_receivedData = std::string();
    }
}

void AdWhirlConfig::connectionDidReceiveResponse(URLConnection& connection, const URLResponse& response) {
    if (&connection != m_connection.get()) {
        return;
    }
    if (response.statusCode != 0 && (response.statusCode < 200 || response.statusCode > 299)) {
        AWLogDebug("AdWhirlConfig: HTTP %d, cancelling %s", response.statusCode,
                   response.url.absoluteString().c_str());
        m_connection->cancel();
        dropTransfer();
        notifyDelegatesOfFailure(AdWhirlError::errorWithCode(AdWhirlErrorCode::ConfigStatusError,
                                                             "Config server did not return status 200"));
        return;
    }
    m_receivedData = std::string();
}

void AdWhirlConfig::connectionDidReceiveData(URLConnection& connection, const Data& data) {
    if (&connection != m_connection.get() || !m_receivedData) {
        return;
    }
    m_receivedData->append(data.begin(), data.end());
}

void AdWhirlConfig::connectionDidFail(URLConnection& connection, const Error& error) {
    if (&connection != m_connection.get()) {
        return;
    }
    dropTransfer();
    notifyDelegatesOfFailure(AdWhirlError::errorWithCode(AdWhirlErrorCode::ConfigConnectionError,
                                                         "Error connecting to config server", error));
}

void AdWhirlConfig::connectionDidFinish(URLConnection& connection) {
    if (&connection != m_connection.get()) {
        return;
    }
    std::string body = m_receivedData.value_or(std::string());
    dropTransfer();
    Result<void> parsed = parseConfig(body);
    if (!parsed) {
        notifyDelegatesOfFailure(parsed.error());
        return;
    }
    m_fetched = true;
    m_failure.reset();
    auto self = shared_from_this(); // a listener may drop the last other reference
    for (const auto& listener : liveDelegates()) {
        listener->adWhirlConfigDidReceiveConfig(*this);
    }
}

void AdWhirlConfig::dropTransfer() {
    m_connection.reset();
    m_receivedData.reset();
}

void AdWhirlConfig::notifyDelegatesOfFailure(const Error& error) {
    m_failure = error;
    m_failedAt = Timer::now();
    auto self = shared_from_this();
    for (const auto& listener : liveDelegates()) {
        listener->adWhirlConfigDidFail(*this, error);
    }
}

int AdWhirlConfig::totalWeight() const {
    long long total = 0;
    for (const auto& network : m_adNetworkConfigs) {
        total += network->trafficPercentage();
    }
    return static_cast<int>(std::min<long long>(total, std::numeric_limits<int>::max()));
}

// ---- parsing

Result<void> AdWhirlConfig::parseConfig(const std::string& bytes) {
    KQJSON json;
    Result<Value> parsed = json.objectWithString(bytes);
    if (!parsed) {
        return AdWhirlError::errorWithCode(AdWhirlErrorCode::ConfigDataError,
                                           "Error parsing config JSON from server", parsed.error());
    }
    if (const Array* array = parsed->asArray()) {
        m_legacy = true;
        return parseLegacyConfig(*array);
    }
    if (const Dictionary* dict = parsed->asDictionary()) {
        return parseNewConfig(*dict);
    }
    return formatError("Expected top-level dictionary in config data");
}

Result<void> AdWhirlConfig::parseNewConfig(const Dictionary& dict) {
    const Value* extra = dict.find("extra");
    if (extra && extra->isDictionary()) {
        parseExtraConfig(*extra->asDictionary());
    } else {
        AWLogWarn("No extra info dict in ad network config");
    }
    const Value* rations = dict.find("rations");
    if (!rations || !rations->isArray()) {
        AWLogError("No rations array in ad network config");
        m_adsAreOff = true;
        return {};
    }
    m_adNetworkConfigs.clear();
    if (rations->asArray()->empty()) {
        m_adsAreOff = true;
        return {};
    }
    m_adsAreOff = false;
    for (const Value& element : *rations->asArray()) {
        const Dictionary* entry = element.asDictionary();
        if (!entry) {
            AWLogWarn("Element in rations array is not a dictionary %s in ad network config",
                      element.debugDescription().c_str());
            continue;
        }
        auto network = AdWhirlAdNetworkConfig::initWithDictionary(*entry);
        if (!network) {
            AWLogWarn("Cannot create ad network config from %s", element.debugDescription().c_str());
            continue;
        }
        m_adNetworkConfigs.push_back(std::move(network));
    }
    if (totalWeight() == 0) {
        m_adsAreOff = true;
    }
    return {};
}

void AdWhirlConfig::parseExtraConfig(const Dictionary& dict) {
    if (const Value* bg = dict.find("background_color_rgb"); bg && bg->isDictionary()) {
        m_backgroundColor = colorWithDict(*bg->asDictionary());
    }
    if (const Value* fg = dict.find("text_color_rgb"); fg && fg->isDictionary()) {
        m_textColor = colorWithDict(*fg->asDictionary());
    }
    int number = 0;
    const Value* refresh = dict.find("refresh_interval");
    if (awIntVal(&number, refresh ? refresh : dict.find("cycle_time"))) {
        m_refreshInterval = number >= 30000 ? 0 : number;
    }
    if (awIntVal(&number, dict.find("location_on"))) {
        m_locationOn = number != 0;
        if (m_locationOn && !LocationManager::locationServicesEnabled()) {
            AWLogDebug("User disabled location services, set locationOn to NO");
            m_locationOn = false;
        }
    }
    const Value* transition = dict.find("transition");
    if (awIntVal(&number, transition ? transition : dict.find("banner_animation_type")) && number >= 0 &&
        number <= 8) {
        m_bannerAnimationType = number;
    }
    if (awIntVal(&number, dict.find("fullscreen_wait_interval"))) {
        m_fullscreenWaitInterval = number;
    }
    if (awIntVal(&number, dict.find("fullscreen_max_ads"))) {
        m_fullscreenMaxAds = number;
    }
}

Result<void> AdWhirlConfig::parseLegacyConfig(const Array& array) {
    for (const Value& element : array) {
        if (!element.isDictionary()) {
            return formatError("Expected dictionary in config data");
        }
    }
    // Entries by network name, in the order their names first appear.
    std::vector<std::pair<std::string, Dictionary>> entries;
    auto entryFor = [&entries](const std::string& name) -> Dictionary& {
        for (auto& [existing, dict] : entries) {
            if (existing == name) {
                return dict;
            }
        }
        return entries.emplace_back(name, Dictionary()).second;
    };
    m_adNetworkConfigs.clear();
    for (size_t index = 0; index < array.size() && index < 3; ++index) {
        for (const auto& [keyText, value] : *array[index].asDictionary()) {
            const std::string key = keyText.str();
            int emptyRation = 0;
            if (key == "empty_ration" && awIntVal(&emptyRation, &value) && emptyRation == 100) {
                m_adsAreOff = true;
                return {};
            }
            m_adsAreOff = false;
            const size_t underscore = key.rfind('_');
            if (underscore == std::string::npos) {
                return formatError("Expected underscore delimiter in key '" + key + "'");
            }
            std::string name = key.substr(0, underscore);
            std::string field = key.substr(underscore + 1);
            if (name.empty()) {
                return formatError("Empty ad network name in key '" + key + "'");
            }
            if (field.empty()) {
                return formatError("Empty value name in key '" + key + "'");
            }
            if (name == "dontcare") {
                continue;
            }
            if (field == "ration") {
                field = "weight";
            }
            entryFor(name).set(field, value);
        }
    }
    if (array.size() > 3) {
        parseExtraConfig(*array[3].asDictionary());
    }
    for (size_t index = 4; index < array.size(); ++index) {
        AWLogWarn("Ignoring element at index %zu in legacy config", index);
    }

    const Dictionary* adrollo = nullptr;
    size_t adwhirlCount = 0;
    for (const auto& [name, dict] : entries) {
        if (name == "adrollo") {
            adrollo = &dict;
            AWLogDebug("Processing AdRollo config %s", Value(dict).debugDescription().c_str());
        } else if (name.starts_with("adwhirl_")) {
            ++adwhirlCount;
        }
    }
    for (auto& [name, dict] : entries) {
        if (name == "adrollo") {
            continue;
        }
        if (name.starts_with("adwhirl_") && adrollo) {
            int weight = 0;
            (void)awIntVal(&weight, adrollo->find("weight"));
            dict.set("weight", Value(weight / static_cast<int>(adwhirlCount)));
            if (const Value* key = adrollo->find("key")) {
                dict.set("key", *key);
            }
        }
        auto type = legacyNetworkTypes().find(name);
        if (type == legacyNetworkTypes().end()) {
            AWLogWarn("Unrecognized ad network '%s' in legacy config, ignored", name.c_str());
            continue;
        }
        dict.set("nname", Value(name));
        dict.set("nid", Value(std::to_string(type->second)));
        dict.set("type", Value(type->second));
        auto network = AdWhirlAdNetworkConfig::initWithDictionary(dict);
        if (!network) {
            AWLogWarn("Cannot create ad network config from %s", Value(dict).debugDescription().c_str());
            continue;
        }
        m_adNetworkConfigs.push_back(std::move(network));
    }
    if (totalWeight() == 0) {
        m_adsAreOff = true;
    }
    return {};
}

std::string AdWhirlConfig::description() const {
    auto colour = [](const std::optional<Color>& color) {
        if (!color) {
            return std::string("(null)");
        }
        char text[96];
        std::snprintf(text, sizeof text, "rgba(%.3f,%.3f,%.3f,%.3f)", color->red(), color->green(),
                      color->blue(), color->alpha());
        return std::string(text);
    };
    std::string networks;
    for (const auto& network : m_adNetworkConfigs) {
        networks += "\n  " + network->description();
    }
    char settings[256];
    std::snprintf(settings, sizeof settings,
                  "location_access:%d fg_color:%s bg_color:%s cycle_time:%lf transition:%d",
                  m_locationOn ? 1 : 0, colour(m_textColor).c_str(), colour(m_backgroundColor).c_str(),
                  m_refreshInterval, m_bannerAnimationType);
    return m_appKey + ":\n" + settings + " networks:" + networks;
}

} // namespace murmelo
