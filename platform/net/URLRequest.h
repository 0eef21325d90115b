// URLRequest: what a URL connection is asked to fetch — URL, method, header
// fields, body, time-out, cache policy and cookie handling. The platform's
// (mutable) URL request as a value type.
//
//   URLRequest request(*URL::strictParse("http://api.example/statuses/update.xml"));
//   request.HTTPMethod = "POST";
//   request.setValue("application/x-www-form-urlencoded", "Content-Type");
//   request.HTTPBody = Data(body.begin(), body.end());
//
// Header names compare in any letter case; setValue() replaces, addValue()
// appends to an existing value with ", ". The device has no URL cache, so
// every cache policy loads from the network. Value type; not shared between
// threads while being changed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Value.h"
#include "platform/net/TransportRequest.h"
#include "platform/net/URL.h"

namespace murmelo {

enum class URLRequestCachePolicy {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
};

class URLRequest {
public:
    static constexpr double kDefaultTimeoutInterval = 60.0;

    explicit URLRequest(URL url,
                        URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy,
                        double timeoutInterval = kDefaultTimeoutInterval);
    // requestWithURL:; nothing for text that is no URL.
    static std::optional<URLRequest> requestWithURL(std::string_view text);

    URL url;
    std::string HTTPMethod = "GET";
    std::optional<Data> HTTPBody;
    // Seconds without any progress after which the load fails; 0 or less
    // means the default.
    double timeoutInterval = kDefaultTimeoutInterval;
    URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy;
    bool HTTPShouldHandleCookies = true;

    const HeaderFields& allHTTPHeaderFields() const { return m_headers; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
    // Replaces the field (any letter case); nothing removes it.
    void setValue(const std::optional<std::string>& value, std::string_view field);
    // Appends to the field's value with ", ", or adds it.
    void addValue(const std::string& value, std::string_view field);
    void setAllHTTPHeaderFields(HeaderFields fields);

private:
    HeaderFields m_headers;
};

} // namespace murmelo
