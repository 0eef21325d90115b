// ServerConfig: everything about the reference servers that a person may
// want to change without rebuilding — the recommended-app offer, the
// keywords, the accounts of the third-party stand-ins, the mediation set-up
// per application key, the house ads and the ad networks' fill rates, the
// content limits, the admin host's token. Defaults make a complete demo; `murmelo serve --config FILE`
// overrides any part from a JSON file (docs/servers.md shows its shape).
// A plain value: build it, then hand it to ReferenceServers, which keeps a copy.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo::servers {

struct Recommendation {
    bool enabled = true;
    std::string ver = "1.0";
    std::string title = "Try Doodlo";
    std::string message = "Doodlo turns your doodles into tiny animations. It's free!";
    std::string okayBtn = "Get it";
    std::string cancelBtn = "No, thanks";
    std::string appUrl;    // defaults to an App Store link
    std::string notifyUrl; // defaults to the service server's click counter
};

struct AdNetwork {
    std::string nid;
    int type = 0;     // 1 AdMob, 9 house ads, 14 AdSense, 16 generic, 17 event, 19 iAd
    std::string name; // "admob", "custom", "google_adsense", ...
    int weight = 0;
    int priority = 0;
    Value key; // a string (publisher id) or a dictionary; null for none
};

struct MediationApp {
    bool legacyLayout = false;
    std::vector<AdNetwork> networks;
    Dictionary extra; // "extra" settings, sent as they stand
};

struct HouseAd {
    int adType = 1;     // 1 banner image, 2 text with icon
    int launchType = 2; // 1 system browser, 2 in-app browser
    int animationType = 7;
    std::string text;
    std::string redirectUrl;
    std::string imageTitle; // drawn into the generated image
    std::string imageColor = "#3b5998";
};

struct FacebookUser {
    std::string email;
    std::string password;
    std::int64_t uid = 0;
    std::string name;
};

struct ContentLimits {
    size_t maxSecretLength = 1000;
    size_t maxCommentLength = 500;
    int pageSize = 20;
    // Signs the session cookies. Processes that serve the same pool behind a
    // load balancer share it, so a session begun on one holds on the others;
    // empty: the key kept in the content storage (made on first start).
    std::string sessionKey;
};

struct ServerConfig {
    Recommendation recommendation;
    std::string adsenseKeywords = "secret, confession, anonymous, diary, feelings";
    std::map<std::string, std::string> twitterAccounts; // user name → password
    std::vector<FacebookUser> facebookUsers;
    std::int64_t facebookSessionLifetime = 0;      // seconds; 0: sessions never expire
    std::map<std::string, MediationApp> mediation; // application key → set-up
    std::vector<HouseAd> houseAds;
    double adMobFillRate = 1.0; // share of ad requests answered with an ad, 0..1
    double adSenseFillRate = 1.0;
    double iAdFillRate = 1.0;
    ContentLimits content;
    // Required of the admin host's readers when not empty; see
    // ReferenceServers::adminToken() for when one is made up instead.
    std::string adminToken;

    // The defaults: a demo account on each stand-in, both application keys
    // of servers/Accounts.h with AdMob, AdSense and house ads.
    static ServerConfig defaults();
    // Defaults overridden by the members of a parsed configuration file.
    static Result<ServerConfig> fromValue(const Value& value);

    // Rewrites the set-up of every application key to a named mediation
    // preset (kMediationPresets); an error naming the presets for another name.
    Result<void> applyMediationPreset(std::string_view name);
};

// "default" as configured; "legacy" the same in the legacy layout; "off" no
// networks; "rollover" all weight on the last network by priority, so the
// first choice falls there and failures roll over through the others; "fast"
// a refresh every 5 seconds; "admob", "google_adsense", "iad", "custom" that network
// alone.
inline constexpr std::string_view kMediationPresets[] = {
    "default", "legacy", "off", "rollover", "fast", "admob", "google_adsense", "iad", "custom"};

} // namespace murmelo::servers
