// The product's constants: the one table that names every product word, link,
// account and host that the application sends or shows. Building another
// product from the same code means changing Constants.cpp and nothing else.
//
// Two groups:
// - The documented `Constant_*` rows (and `AdSense_UI_Channels`), in their
//   documented order, as `std::string_view`s over static literals.
// - The hosts, accounts and addresses that the other subsystems refer to only
//   by role (`k*`), and the role → host table that the reference servers
//   dispatch on and `murmelo info` prints.
//
// Every value is constant-initialised, so it can be read from any thread and
// from other static initialisers. Nothing here is ever written.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace murmelo {

// ---- Documented product constants, in declaration order ----

extern const std::string_view Constant_UserAgent;
extern const std::array<std::string_view, 2> AdSense_UI_Channels;
extern const std::string_view Constant_GetAdsenseKeywordsUrl;
extern const std::string_view Constant_AdWhirlApplicationKey;
extern const std::string_view Constant_AdWhirlApplicationKey_iOS4;
extern const std::string_view Constant_Default_Adsense_Keywords;
extern const std::string_view Constant_Adsense_CompanyName;
extern const std::string_view Constant_Adsense_AppName;
extern const std::string_view Constant_Adsense_App_AppleId;
extern const std::string_view Constant_sharedTitle;
extern const std::string_view Constant_sharedIconLink;
extern const std::string_view Constant_sharedCoverLink;
extern const std::string_view Constant_sharedTitleLink;
extern const std::string_view Constant_sharedCaption;
extern const std::string_view Constant_sharedAppName;
extern const std::string_view Constant_sharedAppFacebookUrl;
extern const std::string_view Constant_sharedAppShortUrl;
extern const std::string_view Constant_MailTitle;
extern const std::string_view Constant_MailBody;
extern const std::string_view Constant_AppInfo;

// ---- Hosts by role ----

// Our own servers (reserved example domains).
extern const std::string_view kContentServerHost;     // secrets, comments, posting routes
extern const std::string_view kStatusServerHost;      // "status.php"
extern const std::string_view kServiceServerHost;     // recommendation, share notices, keywords
extern const std::string_view kSupportServerHost;     // "isupport.php"
extern const std::string_view kLinkServerHost;        // "vasksendmailEn"
extern const std::string_view kMediationConfigHost;   // "getInfo.php"
extern const std::string_view kMediationHouseAdsHost; // "custom.php" and its images
extern const std::string_view kMediationMetricsHost;  // "exmet.php", "exclick.php"
extern const std::string_view kImageHost;             // the icon and cover images the shares link to
extern const std::string_view kAdminHost; // the reference servers' event log (not used by the app)

// Third parties.
extern const std::string_view kAppStoreWebHost;  // its links are rewritten to the link host
extern const std::string_view kAppStoreLinkHost; // its links leave the application
extern const std::string_view kTwitterApiHost;
extern const std::string_view kShortenerApiHost;
extern const std::string_view kShortenerDomain; // the domain the short links carry
extern const std::string_view kFacebookWebHost; // login and post pages
extern const std::string_view kFacebookApiHost; // REST API
extern const std::string_view kFacebookVideoApiHost;
extern const std::string_view kAdMobHost;
extern const std::string_view kAdSenseHost;

// ---- Accounts and addresses ----

extern const std::string_view kShortenerLogin;
extern const std::string_view kShortenerApiKey; // "R_" and 32 lower-case hex digits
extern const std::string_view kSupportEmail;
extern const std::string_view kFacebookApiKey;    // 32 lower-case hex digits
extern const std::string_view kFacebookApiSecret; // 32 lower-case hex digits
extern const std::string_view kAppStoreAppUrl;    // the application's page on the App Store web host
extern const std::string_view kPostingAppName; // "Secret[appName]" / "Comment[appName]" of the native forms

// Referer guessing for photo hosts: a host containing `fragment` is fetched
// with the root of `refererHost` as referer. Applied in this order.
struct PhotoHostRule {
    std::string_view fragment;
    std::string_view refererHost;
};
extern const std::array<PhotoHostRule, 3> kPhotoHostTable;
// The photo service whose image hosts are reached by a fixed address.
extern const std::string_view kImageServingDomain;
extern const std::string_view kImageServingAddress; // dotted IPv4

// ---- The role → host table ----

enum class HostRole {
    Content,
    Status,
    Service,
    Support,
    Link,
    MediationConfig,
    MediationHouseAds,
    MediationMetrics,
    Images,
    Admin,
    AppStoreWeb,
    AppStoreLink,
    TwitterApi,
    ShortenerApi,
    ShortenerLinks,
    FacebookWeb,
    FacebookApi,
    FacebookVideoApi,
    AdMob,
    AdSense,
    IAd,
};

struct HostEntry {
    HostRole role;
    std::string_view name;        // short role name, e.g. "content"
    std::string_view host;        // e.g. "secrets.murmelo.example"
    std::string_view description; // one line for `murmelo info`
};

// Every role, in a fixed order (our servers first, then the third parties).
std::span<const HostEntry> hostTable();
std::string_view hostFor(HostRole role);
// The role served under `host` (case-insensitive, a ":port" suffix ignored).
std::optional<HostRole> roleForHost(std::string_view host);

} // namespace murmelo
