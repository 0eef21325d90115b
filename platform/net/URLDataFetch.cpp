#include "platform/net/URLDataFetch.h"

#include "platform/net/URLConnectionError.h"
#include "platform/net/URLResponse.h"

namespace murmelo {

void URLDataFetch::didReceiveResponse(URLConnection&, const URLResponse& response) {
    m_status = response.statusCode;
    m_body.clear();
}

void URLDataFetch::didReceiveData(URLConnection& connection, const Data& data) {
    if (m_done) {
        return;
    }
    if (m_body.size() + data.size() > m_limit) {
        connection.cancel();
        didFailWithError(connection,
                         Error(kURLErrorDomain, static_cast<long>(URLErrorCode::DataLengthExceedsMaximum),
                               "The reply is larger than " + std::to_string(m_limit) + " bytes"));
        return;
    }
    m_body.insert(m_body.end(), data.begin(), data.end());
}

void URLDataFetch::connectionDidFinishLoading(URLConnection& connection) {
    if (!m_done) {
        m_done = true;
        m_completion(connection, std::pair<int, Data>(m_status, std::move(m_body)));
    }
}

void URLDataFetch::didFailWithError(URLConnection& connection, const Error& error) {
    if (!m_done) {
        m_done = true;
        m_completion(connection, error);
    }
}

} // namespace murmelo
