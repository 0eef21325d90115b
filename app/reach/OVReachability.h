// OVReachability: the shared network monitor — whether the device can reach
// the internet now and over what link (carrier data or Wi-Fi), whether a
// link-local ad-hoc network is there, whether a given host or address can be
// reached; and, once networkStatusNotificationsEnabled is set, the
// notification kNetworkReachabilityChangedNotification whenever a handle it
// uses reports a change on a run loop it was registered on.
//
// Handles are cached by key (host name, address text, kDefaultRouteKey,
// kLinkLocalAddressKey) as OVReachabilityQuery entries and never removed.
// An entry is registered on the run loop of a thread that uses it, but only
// while notifications are enabled; stopListeningForReachabilityChanges()
// undoes every registration and keeps the entries.
//
// Threading: a documented single instance (sharedReachability(), made on
// first use, never destroyed). Every member may be called from any thread;
// the questions block the caller only for the flag read (name resolution is
// bounded by Reachability::kDefaultTimeout). Callbacks arrive on the loop an
// entry was registered on and post the notification there.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <string>

#include "app/reach/OVReachabilityQuery.h"

namespace murmelo {

// The dotted text of the all-zero IPv4 address: the default route.
inline constexpr const char* kDefaultRouteKey = "0.0.0.0";
// The IPv4 link-local network of RFC 3927, host part zero.
inline constexpr const char* kLinkLocalAddressKey = "169.254.0.0";

enum class NetworkStatus : int {
    NotReachable = 0,
    ReachableViaCarrierDataNetwork = 1,
    ReachableViaWiFiNetwork = 2,
};

class OVReachability {
public:
    using QueryMap = std::map<std::string, std::shared_ptr<OVReachabilityQuery>>;

    static OVReachability& sharedReachability();

    OVReachability(const OVReachability&) = delete;
    OVReachability& operator=(const OVReachability&) = delete;

    NetworkStatus internetConnectionStatus();
    NetworkStatus localWiFiConnectionStatus();
    NetworkStatus remoteHostStatus();
    bool isHostReachable(const std::optional<std::string>& host);
    bool isReachableWithoutRequiringConnection(ReachabilityFlags flags) const;
    bool isNetworkAvailableFlags(ReachabilityFlags* outFlags);
    bool isAdHocWiFiNetworkAvailableFlags(ReachabilityFlags* outFlags);
    std::shared_ptr<Reachability> reachabilityRefForHostName(const std::optional<std::string>& hostName);
    std::shared_ptr<Reachability> reachabilityRefForAddress(const std::optional<std::string>& address);
    // Fills an IPv4 socket address (16 bytes, family AF_INET, port 0) from
    // text as inet_aton reads it; false for nothing, "" or text it refuses.
    bool addressFromString(const std::optional<std::string>& text, sockaddr_in* address) const;
    void stopListeningForReachabilityChanges();

    std::optional<std::string> hostName() const;
    void setHostName(std::optional<std::string> hostName);
    std::optional<std::string> address() const;
    void setAddress(std::optional<std::string> address);
    bool networkStatusNotificationsEnabled() const { return m_networkStatusNotificationsEnabled.load(); }
    void setNetworkStatusNotificationsEnabled(bool enabled) {
        m_networkStatusNotificationsEnabled.store(enabled);
    }
    QueryMap reachabilityQueries() const;
    void setReachabilityQueries(QueryMap queries);

private:
    OVReachability() = default;
    // The entry under `key`, made with `makeHandle` when it has no handle.
    std::shared_ptr<OVReachabilityQuery>
    addressEntry(const std::string& key, const std::function<std::shared_ptr<Reachability>()>& makeHandle);
    bool isAvailable(const std::shared_ptr<OVReachabilityQuery>& entry, ReachabilityFlags* outFlags);
    // A cached handle, or a new one stored under `key` and offered to the
    // calling thread's loop.
    std::shared_ptr<Reachability>
    cachedHandle(const std::string& key, const std::function<std::shared_ptr<Reachability>()>& makeHandle);

    std::atomic<bool> m_networkStatusNotificationsEnabled{false};
    mutable std::mutex m_mutex;
    std::optional<std::string> m_hostName;
    std::optional<std::string> m_address;
    QueryMap m_reachabilityQueries;
};

} // namespace murmelo
