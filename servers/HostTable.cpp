#include "servers/HostTable.h"

#include <array>
#include <cctype>

namespace murmelo::servers {

namespace {

constexpr std::array<HostEntry, 21> kHostTable = {{
    {HostRole::Content, "content", "secrets.murmelo.example", "secret pool pages and posting routes"},
    {HostRole::Status, "status", "status.murmelo.example", "launch pings (status.php)"},
    {HostRole::Service, "service", "service.murmelo.example",
     "app recommendation, share notices, AdSense keywords"},
    {HostRole::Support, "support", "support.murmelo.example", "feedback page (isupport.php)"},
    {HostRole::Link, "link", "link.murmelo.example", "share-mail ping (vasksendmailEn)"},
    {HostRole::MediationConfig, "mediation-config", "adconfig.murmelo.example", "ad mediation configuration"},
    {HostRole::MediationHouseAds, "mediation-houseads", "houseads.murmelo.example",
     "house ads and their images"},
    {HostRole::MediationMetrics, "mediation-metrics", "admetrics.murmelo.example",
     "ad impression and click counts"},
    {HostRole::Images, "images", "img.murmelo.example", "icon and cover images of shares"},
    {HostRole::Admin, "admin", "admin.murmelo.example", "event log of the reference servers"},
    {HostRole::AppStoreWeb, "appstore-web", "itunes.apple.example", "App Store web pages"},
    {HostRole::AppStoreLink, "appstore-link", "phobos.apple.example", "App Store links opened outside"},
    {HostRole::TwitterApi, "twitter-api", "api.twitter.example", "status updates"},
    {HostRole::ShortenerApi, "shortener-api", "api.shrt.example", "link shortening API"},
    {HostRole::ShortenerLinks, "shortener-links", "shrt.example", "short links"},
    {HostRole::FacebookWeb, "facebook-web", "www.facebook.example", "login and post dialogs"},
    {HostRole::FacebookApi, "facebook-api", "api.facebook.example", "REST API"},
    {HostRole::FacebookVideoApi, "facebook-video-api", "api-video.facebook.example", "video upload REST API"},
    {HostRole::AdMob, "admob", "r.admob.example", "AdMob banner ads"},
    {HostRole::AdSense, "adsense", "pagead2.googlesyndication.example", "AdSense banner ads"},
    {HostRole::IAd, "iad", "iadsdk.apple.example", "iAd banner ads"},
}};

const HostEntry* entryFor(HostRole role) {
    for (const HostEntry& entry : kHostTable) {
        if (entry.role == role) {
            return &entry;
        }
    }
    return nullptr;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::span<const HostEntry> hostTable() {
    return kHostTable;
}

std::string_view hostFor(HostRole role) {
    const HostEntry* entry = entryFor(role);
    return entry ? entry->host : std::string_view();
}

std::string_view roleName(HostRole role) {
    const HostEntry* entry = entryFor(role);
    return entry ? entry->name : std::string_view();
}

std::optional<HostRole> roleForHost(std::string_view host) {
    // "[::1]:80" never names one of our hosts, so a plain last-colon cut is enough.
    if (auto colon = host.rfind(':');
        colon != std::string_view::npos && host.find(']') == std::string_view::npos) {
        host = host.substr(0, colon);
    }
    if (!host.empty() && host.back() == '.') {
        host.remove_suffix(1);
    }
    for (const HostEntry& entry : kHostTable) {
        if (equalsIgnoringCase(entry.host, host)) {
            return entry.role;
        }
    }
    return std::nullopt;
}

} // namespace murmelo::servers
