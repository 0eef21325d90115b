#include "app/product/Constants.h"

#include <cctype>

namespace murmelo {

// ---- Documented product constants ----

const std::string_view Constant_UserAgent =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; zh-CN; rv:1.9.1.5) Gecko/20091102 Firefox/3.5.5";
const std::array<std::string_view, 2> AdSense_UI_Channels = {"4817302596", "7350918264"};
const std::string_view Constant_GetAdsenseKeywordsUrl = "http://service.murmelo.example/adsensekeywords.php";
const std::string_view Constant_AdWhirlApplicationKey = "3f9c2a71d04e4b8a9e65c1f7a2d8b340";
const std::string_view Constant_AdWhirlApplicationKey_iOS4 = "b71e05c9a3d2468f8c14e9a06f5d2c7b";
const std::string_view Constant_Default_Adsense_Keywords = "secret";
const std::string_view Constant_Adsense_CompanyName = "Orvanti";
const std::string_view Constant_Adsense_AppName = "Murmelo";
const std::string_view Constant_Adsense_App_AppleId = "ca-mb-app-pub-4061927385510274";
const std::string_view Constant_sharedTitle = "Murmelo";
const std::string_view Constant_sharedIconLink = "http://img.murmelo.example/murmelo/icon.png";
const std::string_view Constant_sharedCoverLink = "http://img.murmelo.example/murmelo/Default.png";
const std::string_view Constant_sharedTitleLink = "http://shrt.example/murmelo";
const std::string_view Constant_sharedCaption = "tell the world a secret then you will feel better!";
const std::string_view Constant_sharedAppName = "Murmelo";
const std::string_view Constant_sharedAppFacebookUrl = "http://www.facebook.example/apps/murmelo/";
const std::string_view Constant_sharedAppShortUrl = "http://shrt.example/murmelo";
const std::string_view Constant_MailTitle = "Murmelo";
const std::string_view Constant_MailBody = "I found this worth reading!";
const std::string_view Constant_AppInfo = "tell the world a secret then you will feel better.";

// ---- Hosts ----

namespace {
// One literal per host, shared by the named constants and the role table.
constexpr std::string_view contentHost = "secrets.murmelo.example";
constexpr std::string_view statusHost = "status.murmelo.example";
constexpr std::string_view serviceHost = "service.murmelo.example";
constexpr std::string_view supportHost = "support.murmelo.example";
constexpr std::string_view linkHost = "link.murmelo.example";
constexpr std::string_view mediationConfigHost = "adconfig.murmelo.example";
constexpr std::string_view houseAdsHost = "houseads.murmelo.example";
constexpr std::string_view metricsHost = "admetrics.murmelo.example";
constexpr std::string_view imageHost = "img.murmelo.example";
constexpr std::string_view adminHost = "admin.murmelo.example";
constexpr std::string_view appStoreWebHost = "itunes.apple.example";
constexpr std::string_view appStoreLinkHost = "phobos.apple.example";
constexpr std::string_view twitterApiHost = "api.twitter.example";
constexpr std::string_view shortenerApiHost = "api.shrt.example";
constexpr std::string_view shortenerDomain = "shrt.example";
constexpr std::string_view facebookWebHost = "www.facebook.example";
constexpr std::string_view facebookApiHost = "api.facebook.example";
constexpr std::string_view facebookVideoApiHost = "api-video.facebook.example";
constexpr std::string_view adMobHost = "r.admob.example";
constexpr std::string_view adSenseHost = "pagead2.googlesyndication.example";
// Asked by the device's iAd banner (platform/iad), not by the application.
constexpr std::string_view iAdHost = "iadsdk.apple.example";
} // namespace

const std::string_view kContentServerHost = contentHost;
const std::string_view kStatusServerHost = statusHost;
const std::string_view kServiceServerHost = serviceHost;
const std::string_view kSupportServerHost = supportHost;
const std::string_view kLinkServerHost = linkHost;
const std::string_view kMediationConfigHost = mediationConfigHost;
const std::string_view kMediationHouseAdsHost = houseAdsHost;
const std::string_view kMediationMetricsHost = metricsHost;
const std::string_view kImageHost = imageHost;
const std::string_view kAdminHost = adminHost;

const std::string_view kAppStoreWebHost = appStoreWebHost;
const std::string_view kAppStoreLinkHost = appStoreLinkHost;
const std::string_view kTwitterApiHost = twitterApiHost;
const std::string_view kShortenerApiHost = shortenerApiHost;
const std::string_view kShortenerDomain = shortenerDomain;
const std::string_view kFacebookWebHost = facebookWebHost;
const std::string_view kFacebookApiHost = facebookApiHost;
const std::string_view kFacebookVideoApiHost = facebookVideoApiHost;
const std::string_view kAdMobHost = adMobHost;
const std::string_view kAdSenseHost = adSenseHost;

// ---- Accounts and addresses ----

const std::string_view kShortenerLogin = "murmeloapp";
const std::string_view kShortenerApiKey = "R_5c0e8f2a9b7d41e6a3f05d9c8b1e2a74";
const std::string_view kSupportEmail = "support@murmelo.example";
const std::string_view kFacebookApiKey = "8d2f61c0a94b4e7d95e3a1c6f07b2d58";
const std::string_view kFacebookApiSecret = "e41a9c7f3b05d2e8a6f1c94b07d3e258";
const std::string_view kAppStoreAppUrl = "http://itunes.apple.example/app/murmelo/id381029456?mt=8";
const std::string_view kPostingAppName = "MurmeloIP";

const std::array<PhotoHostRule, 3> kPhotoHostTable = {{
    {"flickr.example", "www.flickr.example"},
    {"ggpht.example", "picasaweb.google.example"},
    {"photobucket.example", "www.photobucket.example"},
}};
const std::string_view kImageServingDomain = "ggpht.example";
// A loopback address: a fetch through it never leaves the machine, and a
// local stand-in can listen there.
const std::string_view kImageServingAddress = "127.0.0.80";

// ---- The role → host table ----

namespace {

constexpr std::array<HostEntry, 21> kHostTable = {{
    {HostRole::Content, "content", contentHost, "secret pool pages and posting routes"},
    {HostRole::Status, "status", statusHost, "launch pings (status.php)"},
    {HostRole::Service, "service", serviceHost, "app recommendation, share notices, AdSense keywords"},
    {HostRole::Support, "support", supportHost, "feedback page (isupport.php)"},
    {HostRole::Link, "link", linkHost, "share-mail ping (vasksendmailEn)"},
    {HostRole::MediationConfig, "mediation-config", mediationConfigHost, "ad mediation configuration"},
    {HostRole::MediationHouseAds, "mediation-houseads", houseAdsHost, "house ads and their images"},
    {HostRole::MediationMetrics, "mediation-metrics", metricsHost, "ad impression and click counts"},
    {HostRole::Images, "images", imageHost, "icon and cover images of shares"},
    {HostRole::Admin, "admin", adminHost, "event log of the reference servers"},
    {HostRole::AppStoreWeb, "appstore-web", appStoreWebHost, "App Store web pages"},
    {HostRole::AppStoreLink, "appstore-link", appStoreLinkHost, "App Store links opened outside"},
    {HostRole::TwitterApi, "twitter-api", twitterApiHost, "status updates"},
    {HostRole::ShortenerApi, "shortener-api", shortenerApiHost, "link shortening API"},
    {HostRole::ShortenerLinks, "shortener-links", shortenerDomain, "short links"},
    {HostRole::FacebookWeb, "facebook-web", facebookWebHost, "login and post dialogs"},
    {HostRole::FacebookApi, "facebook-api", facebookApiHost, "REST API"},
    {HostRole::FacebookVideoApi, "facebook-video-api", facebookVideoApiHost, "video upload REST API"},
    {HostRole::AdMob, "admob", adMobHost, "AdMob banner ads"},
    {HostRole::AdSense, "adsense", adSenseHost, "AdSense banner ads"},
    {HostRole::IAd, "iad", iAdHost, "iAd banner ads"},
}};

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
    for (const HostEntry& entry : kHostTable) {
        if (entry.role == role) {
            return entry.host;
        }
    }
    return {};
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

} // namespace murmelo
