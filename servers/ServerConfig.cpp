#include "servers/ServerConfig.h"

#include <algorithm>

#include "platform/core/Result.h"
#include "servers/Accounts.h"
#include "servers/HostTable.h"

namespace murmelo::servers {

namespace {

Error configError(const std::string& where, const std::string& what) {
    return Error("MurmeloServerConfig", 1, "configuration: \"" + where + "\" " + what);
}

// Readers that leave the target alone when the key is absent and fail on a
// value of the wrong kind.
Result<void> readString(const Dictionary& from, std::string_view key, std::string& into,
                        const std::string& where) {
    const Value* value = from.find(key);
    if (!value) {
        return Result<void>::success();
    }
    if (!value->isString()) {
        return configError(where + "." + std::string(key), "must be a string");
    }
    into = *value->asString();
    return Result<void>::success();
}

template <class Number>
Result<void> readNumber(const Dictionary& from, std::string_view key, Number& into,
                        const std::string& where) {
    const Value* value = from.find(key);
    if (!value) {
        return Result<void>::success();
    }
    if (!value->isNumber()) {
        return configError(where + "." + std::string(key), "must be a number");
    }
    if constexpr (std::is_floating_point_v<Number>) {
        into = static_cast<Number>(value->doubleValue());
    } else {
        into = static_cast<Number>(value->integerValue());
    }
    return Result<void>::success();
}

Result<void> readBool(const Dictionary& from, std::string_view key, bool& into, const std::string& where) {
    const Value* value = from.find(key);
    if (!value) {
        return Result<void>::success();
    }
    if (!value->isBoolean() && !value->isNumber()) {
        return configError(where + "." + std::string(key), "must be true or false");
    }
    into = value->boolValue();
    return Result<void>::success();
}

const Dictionary* dictionaryAt(const Dictionary& from, std::string_view key) {
    const Value* value = from.find(key);
    return value ? value->asDictionary() : nullptr;
}

Result<AdNetwork> readNetwork(const Value& value, const std::string& where) {
    const Dictionary* entry = value.asDictionary();
    if (!entry) {
        return configError(where, "must be an object");
    }
    AdNetwork network;
    MURMELO_TRY_VOID(readString(*entry, "nid", network.nid, where));
    MURMELO_TRY_VOID(readNumber(*entry, "type", network.type, where));
    MURMELO_TRY_VOID(readString(*entry, "nname", network.name, where));
    MURMELO_TRY_VOID(readNumber(*entry, "weight", network.weight, where));
    MURMELO_TRY_VOID(readNumber(*entry, "priority", network.priority, where));
    if (const Value* key = entry->find("key")) {
        network.key = *key;
    }
    if (network.nid.empty() || network.name.empty() || network.type <= 0 || network.priority <= 0) {
        return configError(where,
                           "needs \"nid\", \"nname\", a positive \"type\" and a positive \"priority\"");
    }
    if (network.weight < 0) {
        return configError(where + ".weight", "must not be negative");
    }
    return network;
}

Result<MediationApp> readMediationApp(const Value& value, const std::string& where) {
    const Dictionary* app = value.asDictionary();
    if (!app) {
        return configError(where, "must be an object");
    }
    MediationApp out;
    MURMELO_TRY_VOID(readBool(*app, "legacy", out.legacyLayout, where));
    if (const Dictionary* extra = dictionaryAt(*app, "extra")) {
        out.extra = *extra;
    }
    if (const Value* rations = app->find("rations")) {
        const Array* list = rations->asArray();
        if (!list) {
            return configError(where + ".rations", "must be an array");
        }
        for (size_t i = 0; i < list->size(); ++i) {
            auto network = readNetwork((*list)[i], where + ".rations[" + std::to_string(i) + "]");
            if (!network) {
                return network.error();
            }
            out.networks.push_back(std::move(*network));
        }
    }
    return out;
}

Result<HouseAd> readHouseAd(const Value& value, const std::string& where) {
    const Dictionary* entry = value.asDictionary();
    if (!entry) {
        return configError(where, "must be an object");
    }
    HouseAd ad;
    MURMELO_TRY_VOID(readNumber(*entry, "ad_type", ad.adType, where));
    MURMELO_TRY_VOID(readNumber(*entry, "launch_type", ad.launchType, where));
    MURMELO_TRY_VOID(readNumber(*entry, "webview_animation_type", ad.animationType, where));
    MURMELO_TRY_VOID(readString(*entry, "ad_text", ad.text, where));
    MURMELO_TRY_VOID(readString(*entry, "redirect_url", ad.redirectUrl, where));
    MURMELO_TRY_VOID(readString(*entry, "image_title", ad.imageTitle, where));
    MURMELO_TRY_VOID(readString(*entry, "image_color", ad.imageColor, where));
    return ad;
}

Result<void> readFillRate(const Dictionary& from, std::string_view key, double& into) {
    MURMELO_TRY_VOID(readNumber(from, key, into, "ad_networks"));
    if (into < 0 || into > 1) {
        return configError("ad_networks." + std::string(key), "must lie between 0 and 1");
    }
    return Result<void>::success();
}

} // namespace

ServerConfig ServerConfig::defaults() {
    ServerConfig config;
    config.recommendation.appUrl = std::string(kAppStoreAppUrl);
    config.recommendation.notifyUrl =
        "http://" + std::string(hostFor(HostRole::Service)) + "/recommandClicked.php";
    config.twitterAccounts = {{"murmelo_demo", "secret123"}};
    config.facebookUsers = {{"demo@murmelo.example", "secret123", 100000482913715, "Demo User"}};

    MediationApp app;
    app.networks = {
        {"1", 1, "admob", 30, 1, Value("a14c2b9e0f6d731")},
        {"14", 14, "google_adsense", 30, 2, Value(std::string(kAdSensePublisherId))},
        {"19", 19, "iad", 20, 3, Value("")},
        {"9", 9, "custom", 20, 4, Value("")},
    };
    app.extra = Dictionary{
        {"background_color_rgb", Dictionary{{"red", 29}, {"green", 36}, {"blue", 51}, {"alpha", 1}}},
        {"text_color_rgb", Dictionary{{"red", 255}, {"green", 255}, {"blue", 255}, {"alpha", 1}}},
        {"refresh_interval", 45},
        {"location_on", 1},
        {"transition", 8},
        {"fullscreen_wait_interval", 60},
        {"fullscreen_max_ads", 2},
    };
    config.mediation[std::string(kMediationAppKey)] = app;
    config.mediation[std::string(kMediationAppKeyIos4)] = app;

    HouseAd banner;
    banner.adType = 1;
    banner.launchType = 2;
    banner.animationType = 7;
    banner.text = "Murmelo Plus: no ads, ever";
    banner.redirectUrl = std::string(kAppStoreAppUrl);
    banner.imageTitle = "Murmelo Plus - no ads, ever";
    HouseAd text;
    text.adType = 2;
    text.launchType = 1;
    text.animationType = 1;
    text.text = "Feel better? Tell a friend about Murmelo.";
    text.redirectUrl = std::string(kAppShortUrl);
    text.imageTitle = "M";
    text.imageColor = "#c0392b";
    config.houseAds = {banner, text};
    return config;
}

Result<ServerConfig> ServerConfig::fromValue(const Value& value) {
    ServerConfig config = defaults();
    const Dictionary* root = value.asDictionary();
    if (!root) {
        return configError("(top level)", "must be an object");
    }
    if (const Dictionary* offer = dictionaryAt(*root, "recommendation")) {
        Recommendation& r = config.recommendation;
        MURMELO_TRY_VOID(readBool(*offer, "enabled", r.enabled, "recommendation"));
        MURMELO_TRY_VOID(readString(*offer, "ver", r.ver, "recommendation"));
        MURMELO_TRY_VOID(readString(*offer, "title", r.title, "recommendation"));
        MURMELO_TRY_VOID(readString(*offer, "message", r.message, "recommendation"));
        MURMELO_TRY_VOID(readString(*offer, "okayBtn", r.okayBtn, "recommendation"));
        MURMELO_TRY_VOID(readString(*offer, "cancelBtn", r.cancelBtn, "recommendation"));
        MURMELO_TRY_VOID(readString(*offer, "appUrl", r.appUrl, "recommendation"));
        MURMELO_TRY_VOID(readString(*offer, "notifyUrl", r.notifyUrl, "recommendation"));
    }
    MURMELO_TRY_VOID(readString(*root, "adsense_keywords", config.adsenseKeywords, ""));
    if (const Dictionary* accounts = dictionaryAt(*root, "twitter_accounts")) {
        config.twitterAccounts.clear();
        for (const auto& [userText, password] : *accounts) {
            const std::string user = userText.str();
            if (!password.isString()) {
                return configError("twitter_accounts." + user, "must be a string (the password)");
            }
            config.twitterAccounts[user] = *password.asString();
        }
    }
    if (const Value* users = root->find("facebook_users")) {
        const Array* list = users->asArray();
        if (!list) {
            return configError("facebook_users", "must be an array");
        }
        config.facebookUsers.clear();
        for (size_t i = 0; i < list->size(); ++i) {
            std::string where = "facebook_users[" + std::to_string(i) + "]";
            const Dictionary* entry = (*list)[i].asDictionary();
            if (!entry) {
                return configError(where, "must be an object");
            }
            FacebookUser user;
            MURMELO_TRY_VOID(readString(*entry, "email", user.email, where));
            MURMELO_TRY_VOID(readString(*entry, "password", user.password, where));
            MURMELO_TRY_VOID(readNumber(*entry, "uid", user.uid, where));
            MURMELO_TRY_VOID(readString(*entry, "name", user.name, where));
            if (user.email.empty() || user.uid <= 0) {
                return configError(where, "needs an \"email\" and a positive \"uid\"");
            }
            config.facebookUsers.push_back(std::move(user));
        }
    }
    MURMELO_TRY_VOID(readNumber(*root, "facebook_session_lifetime", config.facebookSessionLifetime, ""));
    if (const Dictionary* mediation = dictionaryAt(*root, "mediation")) {
        for (const auto& [appKeyText, app] : *mediation) {
            const std::string appKey = appKeyText.str();
            auto parsed = readMediationApp(app, "mediation." + appKey);
            if (!parsed) {
                return parsed.error();
            }
            config.mediation[appKey] = std::move(*parsed);
        }
    }
    if (const Value* ads = root->find("house_ads")) {
        const Array* list = ads->asArray();
        if (!list || list->empty()) {
            return configError("house_ads", "must be a non-empty array");
        }
        config.houseAds.clear();
        for (size_t i = 0; i < list->size(); ++i) {
            auto ad = readHouseAd((*list)[i], "house_ads[" + std::to_string(i) + "]");
            if (!ad) {
                return ad.error();
            }
            config.houseAds.push_back(std::move(*ad));
        }
    }
    if (const Dictionary* networks = dictionaryAt(*root, "ad_networks")) {
        MURMELO_TRY_VOID(readFillRate(*networks, "admob_fill_rate", config.adMobFillRate));
        MURMELO_TRY_VOID(readFillRate(*networks, "adsense_fill_rate", config.adSenseFillRate));
        MURMELO_TRY_VOID(readFillRate(*networks, "iad_fill_rate", config.iAdFillRate));
    }
    if (const Dictionary* content = dictionaryAt(*root, "content")) {
        MURMELO_TRY_VOID(
            readNumber(*content, "max_secret_length", config.content.maxSecretLength, "content"));
        MURMELO_TRY_VOID(
            readNumber(*content, "max_comment_length", config.content.maxCommentLength, "content"));
        MURMELO_TRY_VOID(readNumber(*content, "page_size", config.content.pageSize, "content"));
        if (config.content.pageSize < 1 || config.content.pageSize > 200) {
            return configError("content.page_size", "must lie between 1 and 200");
        }
        MURMELO_TRY_VOID(readString(*content, "session_key", config.content.sessionKey, "content"));
        if (!config.content.sessionKey.empty() && config.content.sessionKey.size() < 32) {
            return configError("content.session_key", "must hold at least 32 characters");
        }
    }
    MURMELO_TRY_VOID(readString(*root, "admin_token", config.adminToken, ""));
    return config;
}

Result<void> ServerConfig::applyMediationPreset(std::string_view name) {
    if (std::find(std::begin(kMediationPresets), std::end(kMediationPresets), name) ==
        std::end(kMediationPresets)) {
        std::string known;
        for (std::string_view preset : kMediationPresets) {
            known += (known.empty() ? "" : ", ") + std::string(preset);
        }
        return Error::generic("unknown mediation preset \"" + std::string(name) + "\" (known: " + known +
                              ")");
    }
    for (auto& [appKey, app] : mediation) {
        if (name == "legacy") {
            app.legacyLayout = true;
        } else if (name == "off") {
            app.networks.clear();
        } else if (name == "rollover" && !app.networks.empty()) {
            auto last = std::max_element(
                app.networks.begin(), app.networks.end(),
                [](const AdNetwork& a, const AdNetwork& b) { return a.priority < b.priority; });
            for (AdNetwork& network : app.networks) {
                network.weight = &network == &*last ? 100 : 0;
            }
        } else if (name == "fast") {
            app.extra.set("refresh_interval", Value(5));
        } else if (name != "default") {
            std::erase_if(app.networks, [&](const AdNetwork& network) { return network.name != name; });
            for (AdNetwork& network : app.networks) {
                network.weight = 100;
            }
        }
    }
    return {};
}

} // namespace murmelo::servers
