// OVUtils: URL helpers.
#include "app/base/OVUtils.h"
#include "app/product/Constants.h"

namespace murmelo {

std::string OVUtils::urlByAddingParamsForURL(std::string_view url, std::string_view params) {
    std::string result;
    result.reserve(url.size() + 1 + params.size());
    result.append(url);
    result += url.find('?') != std::string_view::npos ? '&' : '?';
    result.append(params);
    return result;
}

std::optional<std::string> OVUtils::replaceHostOfStrURL(std::string_view url, std::string_view ipAddress) {
    size_t separator = url.find("://");
    if (separator == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view scheme = url.substr(0, separator);
    std::string_view rest = url.substr(separator + 3);
    size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    std::string_view path = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    std::optional<std::string_view> port;
    if (size_t colon = authority.find(':'); colon != std::string_view::npos) {
        port = authority.substr(colon + 1);
    }
    std::string result;
    result.reserve(url.size() + ipAddress.size());
    result.append(scheme);
    result += "://";
    result.append(ipAddress);
    if (port) {
        result += ':';
        result.append(*port);
    }
    result.append(path);
    return result;
}

std::optional<std::string> OVUtils::ipAddressOfDomain(std::string_view host) {
    if (host.find(kImageServingDomain) != std::string_view::npos) {
        return std::string(kImageServingAddress);
    }
    return std::nullopt;
}

std::optional<std::string> OVUtils::guessRefererForURL(const URL& url) {
    if (!url.host() || url.host()->empty()) {
        return std::nullopt;
    }
    std::string host = *url.host();
    for (const PhotoHostRule& rule : kPhotoHostTable) {
        if (host.find(rule.fragment) != std::string::npos) {
            host = std::string(rule.refererHost);
        }
    }
    return "http://" + host + "/";
}

std::optional<std::string> OVUtils::guessRefererForStrURL(std::string_view url) {
    std::optional<URL> parsed = URL::strictParse(url);
    if (!parsed) {
        return std::nullopt;
    }
    return guessRefererForURL(*parsed);
}

} // namespace murmelo
