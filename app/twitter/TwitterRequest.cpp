#include "app/twitter/TwitterRequest.h"

#include "app/product/Constants.h"
#include "platform/core/AsciiText.h"
#include "platform/core/Log.h"
#include "platform/core/Text.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

// The connection's delegate: hands every event to the request, which
// outlives it (statuses_update cancels the connection before returning).
class TwitterRequest::Connection : public URLConnectionDelegate {
public:
    explicit Connection(TwitterRequest& request) : m_request(&request) {}
    void detach() { m_request = nullptr; }

    void didReceiveAuthenticationChallenge(URLConnection& connection,
                                           const URLAuthenticationChallenge& challenge) override {
        if (!m_request) {
            return;
        }
        if (challenge.previousFailureCount() == 0) {
            connection.useCredential(URLCredential::credentialWithUser(m_request->m_username,
                                                                       m_request->m_password,
                                                                       URLCredentialPersistence::None),
                                     challenge);
            return;
        }
        logLine("%s", kInvalidAccountMessage);
        connection.cancelAuthenticationChallenge(challenge);
    }

    void didReceiveResponse(URLConnection&, const URLResponse& response) override {
        if (!m_request) {
            return;
        }
        logLine("status code: %d", response.statusCode);
        m_request->m_statusCode = response.statusCode;
        m_request->m_receivedData.clear();
        if (response.statusCode == 401 && m_request->m_errorCallback) {
            m_request->m_authError = true;
            m_request->failed(kInvalidAccountMessage);
        }
    }

    void didReceiveData(URLConnection&, const Data& data) override {
        if (m_request) {
            m_request->m_receivedData.insert(m_request->m_receivedData.end(), data.begin(), data.end());
        }
    }

    void connectionDidFinishLoading(URLConnection&) override {
        if (!m_request) {
            return;
        }
        TwitterRequest& request = *m_request;
        request.m_done = true;
        if (request.m_authError) {
            return;
        }
        int status = request.m_statusCode.value_or(0);
        if (status >= 200 && status <= 299) {
            request.succeeded();
            return;
        }
        // Twitter refuses an update with a non-2xx status (403 for a
        // duplicate or an over-long text, 5xx when it is down): that is
        // no tweet, so the user hears it and earns nothing.
        request.failed("Twitter did not post the update: status " + std::to_string(status) + " (" +
                       URLResponse::localizedStringForStatusCode(status) + ")");
    }

    void didFailWithError(URLConnection& connection, const Error& error) override {
        if (!m_request) {
            return;
        }
        m_request->m_done = true;
        logLine("failed");
        logLine("Connection failed! Error - %s %s", error.localizedDescription().c_str(),
                connection.currentRequest().url.absoluteString().c_str());
        m_request->failed(error.localizedDescription());
    }

private:
    TwitterRequest* m_request;
};

std::string TwitterRequest::bodyForStatus(const std::string& status) {
    return "status=" + text::percentEncodedExceptUnreserved(status);
}

void TwitterRequest::statuses_update(const std::string& status,
                                     const std::shared_ptr<TwitterRequestDelegate>& delegate,
                                     TwitterSuccessSelector requestSelector) {
    m_isPost = true;
    m_delegate = delegate;
    m_callback = std::move(requestSelector);
    m_requestBody = bodyForStatus(status);
    logLine("status_%s", m_requestBody.c_str());
    request("http://" + std::string(kTwitterApiHost) + "/statuses/update.xml");
    m_delegate.reset();
}

void TwitterRequest::request(const std::string& address) {
    auto url = URL::strictParse(address);
    if (!url) {
        failed("The address of Twitter is not valid: " + address);
        return;
    }
    URLRequest request(*url, URLRequestCachePolicy::UseProtocolCachePolicy, kTimeout);
    request.HTTPMethod = m_isPost ? "POST" : "GET";
    request.setValue("application/x-www-form-urlencoded", "Content-Type");
    request.HTTPBody = Data(m_requestBody.begin(), m_requestBody.end());
    request.setValue(std::to_string(m_requestBody.size()), "Content-Length");

    auto events = std::make_shared<Connection>(*this);
    auto connection = URLConnection::connectionWithRequest(std::move(request), events);
    m_done = false;
    // Bounded even when the server trickles bytes forever.
    double deadline = RunLoop::dateAfter(kTimeout * URLConnection::kSynchronousDeadlineFactor);
    bool ended = RunLoop::current().runModeUntil(
        RunLoop::kDefaultMode, [this] { return m_done; }, deadline);
    connection->cancel();
    events->detach();
    if (!ended) {
        m_done = true;
        logLine("failed");
        failed("The request timed out.");
    }
}

void TwitterRequest::succeeded() {
    if (!m_delegate || !m_callback) {
        logLine("No response from delegate");
        return;
    }
    m_callback(m_receivedData);
}

void TwitterRequest::failed(const std::string& message) {
    if (!m_delegate || !m_errorCallback) {
        logLine("No response from delegate");
        return;
    }
    m_errorCallback(message);
}

} // namespace murmelo
