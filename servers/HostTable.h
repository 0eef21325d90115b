// HostTable: the host names the reference servers answer, one row per role,
// and the lookup ReferenceServers dispatches every request by (its Host
// header). The servers keep their own table rather than the application's:
// they are the other side of the wire, so a host the two sides spell
// differently must show up as a failure, not be shared silently.
// tests/servers/hosts checks that every host the application uses is served.
//
//   if (auto role = roleForHost(request.host); role == HostRole::Content) ...
//   std::string link = "http://" + std::string(hostFor(HostRole::ShortenerLinks)) + "/abc";
//
// Constant data; every function may be called from any thread.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace murmelo::servers {

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
    std::string_view name;        // short role name, recorded with each event ("content")
    std::string_view host;        // "secrets.murmelo.example"
    std::string_view description; // one line for the admin host's index
};

// Every role once, our own servers first, then the third parties.
std::span<const HostEntry> hostTable();
std::string_view hostFor(HostRole role);
std::string_view roleName(HostRole role);
// The role served under `host`: case-insensitive, a ":port" suffix and a
// trailing dot ignored. Nothing for a host no server answers.
std::optional<HostRole> roleForHost(std::string_view host);

} // namespace murmelo::servers
