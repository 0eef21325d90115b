#include "servers/mediation/MediationServer.h"

#include <array>
#include <cmath>

#include "platform/core/AsciiText.h"
#include "platform/core/Log.h"
#include "servers/HostTable.h"
#include "servers/http/Json.h"
#include "servers/http/Text.h"
#include "servers/mediation/AdImages.h"

namespace murmelo::servers {

namespace {

// The network names the legacy layout uses, by type number.
std::string legacyName(int type) {
    static const std::array<const char*, 19> names = {"admob",
                                                      "jumptap",
                                                      "videoegg",
                                                      "medialets",
                                                      "liverail",
                                                      "millennial",
                                                      "greystripe",
                                                      "quattro",
                                                      "custom",
                                                      "adwhirl_10",
                                                      "mobclix",
                                                      "adwhirl_12",
                                                      "adwhirl_13",
                                                      "google_adsense",
                                                      "google_doubleclick",
                                                      "generic",
                                                      "",
                                                      "inmobi",
                                                      ""};
    return type >= 1 && type <= 19 ? names[static_cast<size_t>(type - 1)] : "";
}

// The made-up advertisers of the stand-in networks.
struct Advertiser {
    const char* text;
    const char* color;
    const char* landing;
};
constexpr std::array<Advertiser, 4> kAdvertisers = {{
    {"Doodlo - animate your doodles", "#e67e22", "/app/doodlo/id381029460?mt=8"},
    {"Tea Time - 200 teas to your door", "#27ae60", "/app/tea-time/id381029461?mt=8"},
    {"Night Piano - learn quietly", "#8e44ad", "/app/night-piano/id381029462?mt=8"},
    {"Plant Pal - never forget to water", "#16a085", "/app/plant-pal/id381029463?mt=8"},
}};

std::optional<std::uint64_t> parseNumber(const std::optional<std::string>& text) {
    if (!text || text->empty() || text->size() > 18) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : *text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::string url(std::string_view host, const std::string& pathAndQuery) {
    return "http://" + std::string(host) + pathAndQuery;
}

HttpResponse pngOrError(Result<std::string> png) {
    if (!png) {
        logLine("mediation: cannot draw an image: %s", png.error().localizedDescription().c_str());
        return HttpResponse::text("image unavailable\n", 500);
    }
    return HttpResponse::png(std::move(*png));
}

// The iAd banner's two content sizes; "320x50" when none is named.
std::optional<std::pair<int, int>> iAdSize(const std::optional<std::string>& size) {
    if (!size || *size == "320x50") {
        return std::pair{320, 50};
    }
    if (*size == "480x32") {
        return std::pair{480, 32};
    }
    return std::nullopt;
}

} // namespace

bool MediationServer::fills(std::uint64_t n, double rate) {
    if (rate <= 0) {
        return false;
    }
    if (rate >= 1) {
        return true;
    }
    return std::floor(static_cast<double>(n + 1) * rate) > std::floor(static_cast<double>(n) * rate);
}

HttpResponse MediationServer::handle(HttpRequest& request) {
    FormFields query = parseQueryLeniently(request.query);
    HostRole role = roleForHost(request.host).value_or(HostRole::Admin);
    const std::string& path = request.path;
    switch (role) {
    case HostRole::MediationConfig:
        if (path == "/getInfo.php") {
            return configuration(query);
        }
        break;
    case HostRole::MediationHouseAds:
        if (path == "/custom.php") {
            return houseAd(query);
        }
        if (path == "/houseAd.png") {
            return houseAdImage(query);
        }
        break;
    case HostRole::MediationMetrics:
        if (path == "/exmet.php") {
            return metric(query, "impression");
        }
        if (path == "/exclick.php") {
            return metric(query, "click");
        }
        if (path == "/stats.php") {
            return stats();
        }
        break;
    case HostRole::AdMob:
        if (path == "/ad_source.php") {
            return networkAd(query, false);
        }
        if (path == "/ad.png") {
            return networkImage(query);
        }
        if (path == "/click") {
            return networkClick(query);
        }
        break;
    case HostRole::AdSense:
        if (path == "/pagead/ads") {
            return networkAd(query, true);
        }
        if (path == "/pagead/ad.png") {
            return networkImage(query);
        }
        if (path == "/pagead/click") {
            return networkClick(query);
        }
        break;
    case HostRole::IAd:
        if (path == "/banner") {
            return iAdBanner(query);
        }
        if (path == "/ad.png") {
            return networkImage(query);
        }
        if (path == "/click") {
            return networkClick(query);
        }
        break;
    default:
        break;
    }
    return HttpResponse::text("not found\n", 404);
}

HttpResponse MediationServer::configuration(const FormFields& query) {
    std::string appKey = query.getOr("appid", "");
    auto found = m_config.mediation.find(appKey);
    if (found == m_config.mediation.end()) {
        return HttpResponse::text("unknown application key\n", 404);
    }
    const MediationApp& app = found->second;
    if (!app.legacyLayout) {
        Array rations;
        for (const AdNetwork& network : app.networks) {
            Dictionary entry{{"nid", network.nid},
                             {"type", network.type},
                             {"nname", network.name},
                             {"weight", network.weight},
                             {"priority", network.priority}};
            if (!network.key.isNull()) {
                entry.set("key", network.key);
            }
            rations.emplace_back(std::move(entry));
        }
        Dictionary reply{{"extra", app.extra}, {"rations", Value(std::move(rations))}};
        return HttpResponse::json(jsonReply(Value(std::move(reply))));
    }
    Dictionary weights, keys, priorities;
    for (const AdNetwork& network : app.networks) {
        std::string name = legacyName(network.type);
        if (name.empty()) {
            continue; // the legacy layout has no name for this type
        }
        weights.set(name + "_ration", network.weight);
        if (!network.key.isNull()) {
            keys.set(name + "_key", network.key);
        }
        priorities.set(name + "_priority", network.priority);
    }
    if (weights.empty()) {
        weights.set("empty_ration", 100);
    }
    Array layout{Value(std::move(weights)), Value(std::move(keys)), Value(std::move(priorities)),
                 Value(app.extra)};
    return HttpResponse::json(jsonReply(Value(std::move(layout))));
}

HttpResponse MediationServer::houseAd(const FormFields& query) {
    std::string appKey = query.getOr("appid", "");
    if (!m_config.mediation.contains(appKey)) {
        return HttpResponse::text("unknown application key\n", 404);
    }
    if (m_config.houseAds.empty()) {
        return HttpResponse::text("no house ads\n", 404);
    }
    std::uint64_t turn = m_houseAdTurn.fetch_add(1) % m_config.houseAds.size();
    const HouseAd& ad = m_config.houseAds[turn];
    std::string nid = query.getOr("nid", "");
    Dictionary reply{
        {"ad_type", ad.adType},
        {"launch_type", ad.launchType},
        {"webview_animation_type", ad.animationType},
        {"ad_text", ad.text},
        {"redirect_url", ad.redirectUrl},
        {"metrics_url",
         url(hostFor(HostRole::MediationMetrics), "/exclick.php?appid=" + percentEncode(appKey) +
                                                      "&nid=" + percentEncode(nid) + "&type=9&client=1")},
        {"img_url", url(hostFor(HostRole::MediationHouseAds), "/houseAd.png?ad=" + std::to_string(turn))}};
    return HttpResponse::json(jsonReply(Value(std::move(reply))));
}

HttpResponse MediationServer::houseAdImage(const FormFields& query) {
    auto index = parseNumber(query.get("ad"));
    if (!index || *index >= m_config.houseAds.size()) {
        return HttpResponse::text("no such house ad\n", 404);
    }
    const HouseAd& ad = m_config.houseAds[*index];
    if (ad.adType == 2) {
        // Text ads show a 39-point icon beside their text.
        return pngOrError(iconPng(ad.imageTitle.empty() ? "M" : ad.imageTitle, ad.imageColor, 39));
    }
    return pngOrError(bannerPng(ad.imageTitle.empty() ? ad.text : ad.imageTitle, ad.imageColor));
}

HttpResponse MediationServer::metric(const FormFields& query, const char* kind) {
    std::string appKey = query.getOr("appid", "");
    std::string nid = query.getOr("nid", "");
    if (appKey.empty() || nid.empty() || appKey.size() > 64 || nid.size() > 64) {
        return HttpResponse::text("appid and nid are required\n", 400);
    }
    auto counted = m_database.write<int>([&](Connection& connection) -> Result<int> {
        auto upsert =
            connection.prepare("INSERT INTO ad_metrics (app_key, nid, kind, count) VALUES (?, ?, ?, 1) "
                               "ON CONFLICT (app_key, nid, kind) DO UPDATE SET count = count + 1");
        if (!upsert) {
            return upsert.error();
        }
        upsert->bind(1, appKey).bind(2, nid).bind(3, std::string_view(kind));
        return upsert->run();
    });
    if (!counted) {
        logLine("metrics: cannot count: %s", counted.error().localizedDescription().c_str());
        return HttpResponse::text("not counted\n", 500);
    }
    return HttpResponse::text("OK\n");
}

HttpResponse MediationServer::stats() {
    auto counts = m_database.read<Dictionary>([](Connection& connection) -> Result<Dictionary> {
        auto query =
            connection.prepare("SELECT app_key, nid, kind, count FROM ad_metrics ORDER BY app_key, nid");
        if (!query) {
            return query.error();
        }
        Dictionary byApp;
        for (;;) {
            auto row = query->step();
            if (!row) {
                return row.error();
            }
            if (!*row) {
                return byApp;
            }
            Value& app = byApp[query->text(0)];
            if (!app.isDictionary()) {
                app = Dictionary();
            }
            Value& entry = (*app.asDictionary())[query->text(1)];
            if (!entry.isDictionary()) {
                entry = Dictionary{{"impressions", 0}, {"clicks", 0}};
            }
            std::string field = query->text(2) == "click" ? "clicks" : "impressions";
            entry.asDictionary()->set(field, static_cast<long long>(query->integer(3)));
        }
    });
    if (!counts) {
        return HttpResponse::text("stats unavailable\n", 500);
    }
    return HttpResponse::json(jsonReply(Value(std::move(*counts))));
}

HttpResponse MediationServer::networkAd(const FormFields& query, bool adSense) {
    std::string publisher = query.getOr(adSense ? "client" : "s", "");
    if (publisher.empty() || (adSense && !publisher.starts_with("ca-mb-app-pub-"))) {
        return HttpResponse::text(
            adSense ? "a client id ca-mb-app-pub-... is required\n" : "a publisher id is required\n", 400);
    }
    std::uint64_t n = (adSense ? m_adSenseRequests : m_adMobRequests).fetch_add(1);
    if (!fills(n, adSense ? m_config.adSenseFillRate : m_config.adMobFillRate)) {
        HttpResponse none;
        none.status = 204;
        return none;
    }
    std::uint64_t id = n % kAdvertisers.size();
    std::string_view host = hostFor(adSense ? HostRole::AdSense : HostRole::AdMob);
    std::string prefix = adSense ? "/pagead" : "";
    Dictionary reply{{"ad_id", static_cast<long long>(id)},
                     {"width", 320},
                     {"height", 50},
                     {"text", kAdvertisers[id].text},
                     {"img_url", url(host, prefix + "/ad.png?id=" + std::to_string(id))},
                     {"click_url", url(host, prefix + "/click?id=" + std::to_string(id))}};
    return HttpResponse::json(jsonReply(Value(std::move(reply))));
}

HttpResponse MediationServer::iAdBanner(const FormFields& query) {
    auto size = query.get("size");
    if (!iAdSize(size)) {
        return HttpResponse::text("size must be 320x50 or 480x32\n", 400);
    }
    std::uint64_t n = m_iAdRequests.fetch_add(1);
    if (!fills(n, m_config.iAdFillRate)) {
        HttpResponse none;
        none.status = 204;
        return none;
    }
    std::uint64_t id = n % kAdvertisers.size();
    std::string_view host = hostFor(HostRole::IAd);
    std::string sizeName = size.value_or("320x50");
    auto field = [](std::string_view key, std::string_view value) {
        return std::string(key) + "=" + text::percentEncodedExceptUnreserved(value);
    };
    HttpResponse reply;
    reply.contentType = "application/x-www-form-urlencoded";
    reply.body = field("ad_id", std::to_string(id)) + "&" +
                 field("img_url", url(host, "/ad.png?id=" + std::to_string(id) + "&size=" + sizeName)) + "&" +
                 field("click_url", url(host, "/click?id=" + std::to_string(id))) + "&" +
                 field("text", kAdvertisers[id].text);
    return reply;
}

HttpResponse MediationServer::networkImage(const FormFields& query) {
    auto id = parseNumber(query.get("id"));
    auto size = iAdSize(query.get("size"));
    if (!id || *id >= kAdvertisers.size() || !size) {
        return HttpResponse::text("no such ad\n", 404);
    }
    return pngOrError(bannerPng(kAdvertisers[*id].text, kAdvertisers[*id].color, size->first, size->second));
}

HttpResponse MediationServer::networkClick(const FormFields& query) {
    auto id = parseNumber(query.get("id"));
    if (!id || *id >= kAdvertisers.size()) {
        return HttpResponse::text("no such ad\n", 404);
    }
    return HttpResponse::redirect(url(hostFor(HostRole::AppStoreWeb), kAdvertisers[*id].landing));
}

} // namespace murmelo::servers
