// URLDataFetch: a connection delegate that collects one reply — its status
// and body — and hands it, or the transfer's error, to a completion. A body
// past `limit` bytes cancels the transfer and fails it, so a hostile server
// cannot fill memory.
//
//   auto fetch = std::make_shared<URLDataFetch>(64 * 1024, [weakSelf](URLConnection& c, auto reply) {...});
//   auto connection = URLConnection::connectionWithRequest(request, fetch);
//
// The connection holds the fetch for the length of the load; the completion
// should hold its target weakly. Same thread as the connection.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>

#include "platform/core/Result.h"
#include "platform/net/URLConnection.h"

namespace murmelo {

class URLDataFetch : public URLConnectionDelegate {
public:
    using Reply = Result<std::pair<int, Data>>; // status and body
    using Completion = std::function<void(URLConnection&, Reply)>;

    URLDataFetch(std::size_t limit, Completion completion)
        : m_limit(limit), m_completion(std::move(completion)) {}

    void didReceiveResponse(URLConnection& connection, const URLResponse& response) override;
    void didReceiveData(URLConnection& connection, const Data& data) override;
    void connectionDidFinishLoading(URLConnection& connection) override;
    void didFailWithError(URLConnection& connection, const Error& error) override;

private:
    std::size_t m_limit;
    Completion m_completion;
    int m_status = 0;
    Data m_body;
    bool m_done = false;
};

} // namespace murmelo
