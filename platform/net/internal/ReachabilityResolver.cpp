#include "platform/net/internal/ReachabilityResolver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <thread>

#include "platform/net/ConnectToMap.h"

namespace murmelo::internal {

namespace {

std::string canonicalName(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!lower.empty() && lower.back() == '.') {
        lower.pop_back();
    }
    return lower;
}

bool isUnder(const std::string& canonical, const std::string& domain) {
    return canonical == domain || (canonical.size() > domain.size() && canonical.ends_with("." + domain));
}

// Shared between the caller and the helper thread; whoever is last frees it.
struct Lookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    int status = 0;
    std::vector<ReachabilityTarget> addresses;
};

Result<std::vector<ReachabilityTarget>> systemResolve(const std::string& name, double timeoutSeconds) {
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, name] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        int status = getaddrinfo(name.c_str(), nullptr, &hints, &list);
        std::vector<ReachabilityTarget> addresses;
        for (addrinfo* entry = list; status == 0 && entry; entry = entry->ai_next) {
            if (entry->ai_family == AF_INET) {
                addresses.push_back(
                    ReachabilityTarget::ipv4(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr));
            } else if (entry->ai_family == AF_INET6) {
                addresses.push_back(ReachabilityTarget::ipv6(
                    reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr));
            }
        }
        if (list) {
            freeaddrinfo(list);
        }
        std::lock_guard lock(lookup->mutex);
        lookup->status = status;
        lookup->addresses = std::move(addresses);
        lookup->done = true;
        lookup->finished.notify_all();
    }).detach();

    std::unique_lock lock(lookup->mutex);
    auto bound = std::chrono::duration<double>(std::max(0.0, timeoutSeconds));
    if (!lookup->finished.wait_for(lock, bound, [&] { return lookup->done; })) {
        return Error::posix(ETIMEDOUT, "resolving " + name);
    }
    if (lookup->status == EAI_AGAIN) {
        return Error::generic("resolving " + name + ": " + gai_strerror(lookup->status));
    }
    return lookup->addresses; // a name that does not exist has no addresses
}

} // namespace

bool isReservedInvalidName(const std::string& name) {
    return isUnder(canonicalName(name), "invalid");
}

bool isLocalhostName(const std::string& name) {
    return isUnder(canonicalName(name), "localhost");
}

namespace {

Result<std::vector<ReachabilityTarget>> resolveWithoutMap(const std::string& name, double timeoutSeconds) {
    if (auto numeric = ReachabilityTarget::numericAddress(name)) {
        return std::vector<ReachabilityTarget>{*numeric};
    }
    if (name.empty() || isReservedInvalidName(name)) {
        return std::vector<ReachabilityTarget>{};
    }
    if (isLocalhostName(name)) {
        return std::vector<ReachabilityTarget>{*ReachabilityTarget::numericAddress("127.0.0.1"),
                                               *ReachabilityTarget::numericAddress("::1")};
    }
    return systemResolve(name, timeoutSeconds);
}

} // namespace

Result<std::vector<ReachabilityTarget>> resolveForReachability(const std::string& name,
                                                               double timeoutSeconds) {
    if (!name.empty() && !ReachabilityTarget::numericAddress(name)) {
        std::string canonical = canonicalName(name);
        for (int port : {80, 443}) {
            // One hop only: the rule's address is resolved plainly, so rules cannot loop.
            if (auto target = ConnectToMap::shared().lookup(canonical, port)) {
                return resolveWithoutMap(target->address, timeoutSeconds);
            }
        }
    }
    return resolveWithoutMap(name, timeoutSeconds);
}

} // namespace murmelo::internal
