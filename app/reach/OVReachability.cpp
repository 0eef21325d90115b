#include "app/reach/OVReachability.h"

#include <arpa/inet.h>
#include <cstring>

namespace murmelo {

static_assert(sizeof(sockaddr_in) == 16, "the socket address is 16 bytes long");

namespace {

std::shared_ptr<Reachability> handleForSocketAddress(const sockaddr_in& address) {
    return Reachability::createWithAddress(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

std::optional<RunLoopHandle> callingThreadLoop() {
    return RunLoop::current().handle();
}

} // namespace

OVReachability& OVReachability::sharedReachability() {
    // Never destroyed: callbacks on other threads may outlive static destruction.
    static OVReachability* instance = new OVReachability();
    return *instance;
}

bool OVReachability::isReachableWithoutRequiringConnection(ReachabilityFlags flags) const {
    using namespace reachability;
    bool reachable = (flags & kReachable) != 0;
    bool noConnectionRequired = (flags & kConnectionRequired) == 0;
    // A carrier link that still has to be brought up counts as reachable.
    bool isWWAN = (flags & kIsWWAN) != 0;
    return reachable && (noConnectionRequired || isWWAN);
}

bool OVReachability::addressFromString(const std::optional<std::string>& text, sockaddr_in* address) const {
    if (!text || text->empty() || !address) {
        return false;
    }
    in_addr parsed{};
    if (inet_aton(text->c_str(), &parsed) == 0) {
        return false;
    }
    std::memset(address, 0, sizeof *address);
    address->sin_family = AF_INET;
    address->sin_port = 0;
    address->sin_addr = parsed;
    return true;
}

std::shared_ptr<OVReachabilityQuery>
OVReachability::addressEntry(const std::string& key,
                             const std::function<std::shared_ptr<Reachability>()>& makeHandle) {
    std::lock_guard lock(m_mutex);
    auto found = m_reachabilityQueries.find(key);
    if (found != m_reachabilityQueries.end() && found->second && found->second->reachabilityRef()) {
        return found->second;
    }
    auto entry = std::make_shared<OVReachabilityQuery>();
    entry->setHostNameOrAddress(key);
    entry->setReachabilityRef(makeHandle());
    m_reachabilityQueries[key] = entry;
    return entry;
}

bool OVReachability::isAvailable(const std::shared_ptr<OVReachabilityQuery>& entry,
                                 ReachabilityFlags* outFlags) {
    entry->scheduleOnRunLoop(callingThreadLoop());
    auto handle = entry->reachabilityRef();
    if (!handle) {
        return false;
    }
    auto flags = handle->getFlags();
    if (!flags) {
        return false; // out-parameter untouched
    }
    if (outFlags) {
        *outFlags = *flags;
    }
    return isReachableWithoutRequiringConnection(*flags);
}

bool OVReachability::isNetworkAvailableFlags(ReachabilityFlags* outFlags) {
    auto entry = addressEntry(kDefaultRouteKey, [this] {
        sockaddr_in zero{};
        (void)addressFromString(std::string(kDefaultRouteKey), &zero);
        return handleForSocketAddress(zero);
    });
    return isAvailable(entry, outFlags);
}

bool OVReachability::isAdHocWiFiNetworkAvailableFlags(ReachabilityFlags* outFlags) {
    auto entry = addressEntry(kLinkLocalAddressKey, [this] {
        sockaddr_in linkLocal{};
        (void)addressFromString(std::string(kLinkLocalAddressKey), &linkLocal);
        return handleForSocketAddress(linkLocal);
    });
    return isAvailable(entry, outFlags);
}

NetworkStatus OVReachability::internetConnectionStatus() {
    using namespace reachability;
    ReachabilityFlags flags = 0;
    if (!isNetworkAvailableFlags(&flags)) {
        return NetworkStatus::NotReachable;
    }
    if (flags & kIsDirect) {
        return NetworkStatus::NotReachable; // an ad-hoc link with no internet behind it
    }
    // The carrier test is the transient bit, not IsWWAN.
    if (flags & kTransientConnection) {
        return NetworkStatus::ReachableViaCarrierDataNetwork;
    }
    return NetworkStatus::ReachableViaWiFiNetwork;
}

NetworkStatus OVReachability::localWiFiConnectionStatus() {
    return isAdHocWiFiNetworkAvailableFlags(nullptr) ? NetworkStatus::ReachableViaWiFiNetwork
                                                     : NetworkStatus::NotReachable;
}

NetworkStatus OVReachability::remoteHostStatus() {
    std::optional<std::string> host = hostName();
    std::shared_ptr<Reachability> handle =
        host ? reachabilityRefForHostName(host) : reachabilityRefForAddress(address());
    if (!handle) {
        return NetworkStatus::NotReachable;
    }
    auto flags = handle->getFlags();
    if (!flags || !isReachableWithoutRequiringConnection(*flags)) {
        return NetworkStatus::NotReachable;
    }
    return (*flags & reachability::kTransientConnection) ? NetworkStatus::ReachableViaCarrierDataNetwork
                                                         : NetworkStatus::ReachableViaWiFiNetwork;
}

bool OVReachability::isHostReachable(const std::optional<std::string>& host) {
    if (!host || host->empty()) {
        return false;
    }
    // Not cached: a handle only for this question.
    auto handle = Reachability::createWithName(*host);
    if (!handle) {
        return false;
    }
    auto flags = handle->getFlags();
    return flags && isReachableWithoutRequiringConnection(*flags);
}

std::shared_ptr<Reachability>
OVReachability::cachedHandle(const std::string& key,
                             const std::function<std::shared_ptr<Reachability>()>& makeHandle) {
    std::shared_ptr<OVReachabilityQuery> entry;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_reachabilityQueries.find(key);
        if (found != m_reachabilityQueries.end() && found->second) {
            return found->second->reachabilityRef();
        }
        auto handle = makeHandle();
        if (!handle) {
            return nullptr;
        }
        entry = std::make_shared<OVReachabilityQuery>();
        entry->setHostNameOrAddress(key);
        entry->setReachabilityRef(handle);
        m_reachabilityQueries[key] = entry;
    }
    entry->scheduleOnRunLoop(callingThreadLoop());
    return entry->reachabilityRef();
}

std::shared_ptr<Reachability>
OVReachability::reachabilityRefForHostName(const std::optional<std::string>& hostName) {
    if (!hostName || hostName->empty()) {
        return nullptr;
    }
    return cachedHandle(*hostName, [&] { return Reachability::createWithName(*hostName); });
}

std::shared_ptr<Reachability>
OVReachability::reachabilityRefForAddress(const std::optional<std::string>& address) {
    sockaddr_in parsed{};
    if (!addressFromString(address, &parsed)) {
        return nullptr;
    }
    return cachedHandle(*address, [&] { return handleForSocketAddress(parsed); });
}

void OVReachability::stopListeningForReachabilityChanges() {
    QueryMap queries = reachabilityQueries();
    for (const auto& [key, entry] : queries) {
        if (entry) {
            entry->stopListening();
        }
    }
}

std::optional<std::string> OVReachability::hostName() const {
    std::lock_guard lock(m_mutex);
    return m_hostName;
}

void OVReachability::setHostName(std::optional<std::string> hostName) {
    std::lock_guard lock(m_mutex);
    m_hostName = std::move(hostName);
}

std::optional<std::string> OVReachability::address() const {
    std::lock_guard lock(m_mutex);
    return m_address;
}

void OVReachability::setAddress(std::optional<std::string> address) {
    std::lock_guard lock(m_mutex);
    m_address = std::move(address);
}

OVReachability::QueryMap OVReachability::reachabilityQueries() const {
    std::lock_guard lock(m_mutex);
    return m_reachabilityQueries;
}

void OVReachability::setReachabilityQueries(QueryMap queries) {
    std::lock_guard lock(m_mutex);
    m_reachabilityQueries = std::move(queries);
}

} // namespace murmelo
