// AdWhirlConfig: the mediation configuration of one application key — the
// usable networks with their weights, priorities and credentials, and the
// display settings — fetched once per key and process from the mediation
// server's "getInfo.php", in the current (object) or legacy (array) layout.
//
//   auto config = AdWhirlConfig::fetchConfig(appKey, listener);
//   // later, on this loop: listener->adWhirlConfigDidReceiveConfig(*config)
//   //                  or listener->adWhirlConfigDidFail(*config, error)
//
// Fetching waits until the device reports the server's host reachable, then
// loads the configuration with a URLConnection. A record already fetched
// answers a new listener on the next loop turn; a failed record answers it
// with the stored failure on the next loop turn, and retryFetch() starts a
// new fetch at most once a minute (timer clock).
//
// Main thread (the run loop that made the record hears every callback).
// The process keeps every record for its life; listeners are held weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ads/AdWhirlAdNetworkConfig.h"
#include "platform/core/Result.h"
#include "platform/graphics/Geometry.h"
#include "platform/net/Reachability.h"
#include "platform/net/URL.h"
#include "platform/net/URLConnection.h"

namespace murmelo {

class AdWhirlConfig;

// Every operation is optional; the defaults answer nothing.
class AdWhirlConfigDelegate {
public:
    virtual ~AdWhirlConfigDelegate() = default;
    virtual void adWhirlConfigDidReceiveConfig(AdWhirlConfig& config);
    virtual void adWhirlConfigDidFail(AdWhirlConfig& config, const Error& error);
    // A base URL replacing the mediation server's default.
    virtual std::optional<URL> adWhirlConfigURL();
};

// The colour reader (the platform colour's initWithDict:): "red", "green",
// "blue" as integers clamped to 0...255, "alpha" a float clamped to 0...1
// (1 when missing); nothing when a component is missing or unreadable.
std::optional<Color> colorWithDict(const Dictionary& dict);

class AdWhirlConfig : public std::enable_shared_from_this<AdWhirlConfig> {
public:
    static constexpr int kAdWhirlAppVer = 230;
    // The least time between a failure and the next fetch of the same key.
    static constexpr double kRetryBackoffSeconds = 60.0;

    // fetchConfig:delegate: — the record of `appKey`, fetched or pending.
    static std::shared_ptr<AdWhirlConfig> fetchConfig(const std::string& appKey,
                                                      std::weak_ptr<AdWhirlConfigDelegate> delegate);
    // The default base URL of the configuration ("getInfo.php" on the
    // mediation server).
    static URL defaultConfigBaseURL();
    // Forgets every record (tests start from a fresh process state).
    static void resetConfigsForTesting();
    // Stores a parsed record as fetched for its key (tests).
    static void storeConfigForTesting(std::shared_ptr<AdWhirlConfig> config);

    // A record that does not fetch: for parsing on its own (fuzzing, tests).
    explicit AdWhirlConfig(std::string appKey);
    ~AdWhirlConfig();
    AdWhirlConfig(const AdWhirlConfig&) = delete;
    AdWhirlConfig& operator=(const AdWhirlConfig&) = delete;

    void addDelegate(std::weak_ptr<AdWhirlConfigDelegate> delegate);
    void removeDelegate(const AdWhirlConfigDelegate* delegate);

    // Starts the fetch again when the last one failed at least
    // kRetryBackoffSeconds ago; whether it did.
    bool retryFetch();

    Result<void> parseConfig(const std::string& bytes);

    const std::string& appKey() const { return m_appKey; }
    const std::optional<URL>& configURL() const { return m_configURL; }
    bool legacy() const { return m_legacy; }
    bool adsAreOff() const { return m_adsAreOff; }
    const std::vector<std::shared_ptr<const AdWhirlAdNetworkConfig>>& adNetworkConfigs() const {
        return m_adNetworkConfigs;
    }
    const std::optional<Color>& backgroundColor() const { return m_backgroundColor; }
    const std::optional<Color>& textColor() const { return m_textColor; }
    double refreshInterval() const { return m_refreshInterval; }
    bool locationOn() const { return m_locationOn; }
    int bannerAnimationType() const { return m_bannerAnimationType; }
    int fullscreenWaitInterval() const { return m_fullscreenWaitInterval; }
    int fullscreenMaxAds() const { return m_fullscreenMaxAds; }
    bool fetched() const { return m_fetched; }
    void setFetched(bool fetched) { m_fetched = fetched; }
    // The error of the last failed fetch, while the record stands failed.
    const std::optional<Error>& failure() const { return m_failure; }
    // The sum of the usable networks' weights.
    int totalWeight() const;

    std::string description() const;

private:
    class Connection;

    void buildConfigURL(const std::shared_ptr<AdWhirlConfigDelegate>& delegate);
    void checkReachability();
    void reachabilityIs(ReachabilityFlags flags);
    void startTransfer();
    void connectionDidReceiveResponse(URLConnection& connection, const URLResponse& response);
    void connectionDidReceiveData(URLConnection& connection, const Data& data);
    void connectionDidFail(URLConnection& connection, const Error& error);
    void connectionDidFinish(URLConnection& connection);
    void notifyDelegatesOfFailure(const Error& error);
    void dropTransfer();
    std::vector<std::shared_ptr<AdWhirlConfigDelegate>> liveDelegates();

    Result<void> parseNewConfig(const Dictionary& dict);
    Result<void> parseLegacyConfig(const Array& array);
    void parseExtraConfig(const Dictionary& dict);

    std::string m_appKey;
    std::optional<URL> m_configURL;
    bool m_legacy = false;
    bool m_adsAreOff = false;
    std::vector<std::shared_ptr<const AdWhirlAdNetworkConfig>> m_adNetworkConfigs;
    std::optional<Color> m_backgroundColor = Color(0.3, 0.3, 0.3, 1.0);
    std::optional<Color> m_textColor = Color::whiteColor();
    double m_refreshInterval = 60;
    bool m_locationOn = true;
    int m_bannerAnimationType = 8;
    int m_fullscreenWaitInterval = 60;
    int m_fullscreenMaxAds = 2;
    std::vector<std::weak_ptr<AdWhirlConfigDelegate>> m_delegates;
    std::shared_ptr<URLConnection> m_connection;
    std::optional<std::string> m_receivedData;
    bool m_fetched = false;

    std::shared_ptr<Reachability> m_reachability;
    std::optional<Error> m_failure;
    double m_failedAt = 0;
};

} // namespace murmelo
