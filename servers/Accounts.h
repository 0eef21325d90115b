// Accounts: what the third parties and our own servers have on record for
// the application — its Facebook API key and secret, its link-shortener
// login, its mediation keys and AdSense publisher id, its store page and short
// link, the name and support address the pages show. The stand-ins check
// requests against these. They are the servers' copies of values the
// application sends, kept apart on purpose (tests/servers/hosts compares the
// two sides).
//
// Constant data; readable from any thread and from static initialisers.
#pragma once

#include <string_view>

namespace murmelo::servers {

// Facebook: the application registered with the REST API (32 lower-case hex digits each).
inline constexpr std::string_view kFacebookApiKey = "8d2f61c0a94b4e7d95e3a1c6f07b2d58";
inline constexpr std::string_view kFacebookApiSecret = "e41a9c7f3b05d2e8a6f1c94b07d3e258";

// The link shortener's API account.
inline constexpr std::string_view kShortenerLogin = "murmeloapp";
inline constexpr std::string_view kShortenerApiKey = "R_5c0e8f2a9b7d41e6a3f05d9c8b1e2a74";

// Mediation: the two application keys (current and iOS 4 builds) set up by default.
inline constexpr std::string_view kMediationAppKey = "3f9c2a71d04e4b8a9e65c1f7a2d8b340";
inline constexpr std::string_view kMediationAppKeyIos4 = "b71e05c9a3d2468f8c14e9a06f5d2c7b";
// AdSense: the publisher id the default mediation set-up hands to the AdSense adapter.
inline constexpr std::string_view kAdSensePublisherId = "ca-mb-app-pub-4061927385510274";

// The application's page on the App Store web host, and the short link that leads there.
inline constexpr std::string_view kAppStoreAppUrl =
    "http://itunes.apple.example/app/murmelo/id381029456?mt=8";
inline constexpr std::string_view kAppShortUrl = "http://shrt.example/murmelo";

// What the Facebook application page, the launch image and the feedback page show.
inline constexpr std::string_view kAppName = "Murmelo";
inline constexpr std::string_view kAppCaption = "tell the world a secret then you will feel better!";
inline constexpr std::string_view kSupportEmail = "support@murmelo.example";

} // namespace murmelo::servers
