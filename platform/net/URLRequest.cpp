#include "platform/net/URLRequest.h"

#include <algorithm>
#include <strings.h>

namespace murmelo {

namespace {
bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}
} // namespace

URLRequest::URLRequest(URL target, URLRequestCachePolicy policy, double timeout)
    : url(std::move(target)), timeoutInterval(timeout), cachePolicy(policy) {}

std::optional<URLRequest> URLRequest::requestWithURL(std::string_view text) {
    auto parsed = URL::strictParse(text);
    if (!parsed) {
        return std::nullopt;
    }
    return URLRequest(*parsed);
}

std::optional<std::string> URLRequest::valueForHTTPHeaderField(std::string_view field) const {
    for (const auto& [name, value] : m_headers) {
        if (sameName(name, field)) {
            return value;
        }
    }
    return std::nullopt;
}

void URLRequest::setValue(const std::optional<std::string>& value, std::string_view field) {
    auto it = std::find_if(m_headers.begin(), m_headers.end(),
                           [&](const auto& h) { return sameName(h.first, field); });
    if (!value) {
        if (it != m_headers.end()) {
            m_headers.erase(it);
        }
        return;
    }
    if (it != m_headers.end()) {
        it->second = *value;
    } else {
        m_headers.emplace_back(std::string(field), *value);
    }
}

void URLRequest::addValue(const std::string& value, std::string_view field) {
    auto it = std::find_if(m_headers.begin(), m_headers.end(),
                           [&](const auto& h) { return sameName(h.first, field); });
    if (it != m_headers.end()) {
        it->second += ", " + value;
    } else {
        m_headers.emplace_back(std::string(field), value);
    }
}

void URLRequest::setAllHTTPHeaderFields(HeaderFields fields) {
    m_headers.clear();
    for (auto& [name, value] : fields) {
        setValue(value, name);
    }
}

} // namespace murmelo
