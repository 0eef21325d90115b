#include "app/facebook/FBRequest.h"

#include <strings.h>

#include <algorithm>
#include <cmath>

#include "app/facebook/FBSession.h"
#include "app/facebook/FBXMLHandler.h"
#include "platform/core/Clock.h"
#include "platform/foundation/Crypto.h"
#include "platform/graphics/Image.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

namespace {

bool isAuthMethod(const std::string& method) {
    return method == "facebook.auth.getSession" || method == "facebook.auth.createToken";
}

} // namespace

std::shared_ptr<FBRequest> FBRequest::requestWithSession(const std::shared_ptr<FBSession>& session,
                                                         const std::shared_ptr<FBRequestDelegate>& delegate) {
    return std::make_shared<FBRequest>(session, delegate);
}

std::shared_ptr<FBRequest> FBRequest::requestWithSession(const std::shared_ptr<FBSession>& session) {
    return std::make_shared<FBRequest>(session, std::weak_ptr<FBRequestDelegate>());
}

std::shared_ptr<FBRequest>
FBRequest::requestWithDelegate(const std::shared_ptr<FBRequestDelegate>& delegate) {
    return std::make_shared<FBRequest>(FBSession::session(), delegate);
}

std::shared_ptr<FBRequest> FBRequest::request() {
    return requestWithSession(FBSession::session());
}

FBRequest::FBRequest(std::weak_ptr<FBSession> session, std::weak_ptr<FBRequestDelegate> delegate)
    : m_session(std::move(session)), m_delegate(std::move(delegate)) {}

FBRequest::~FBRequest() {
    if (m_connection) {
        m_connection->cancel();
    }
}

std::string FBRequest::generateSig(const FBParams& params, const std::string& secret) {
    FBParams sorted;
    for (const auto& param : params) {
        if (param.first != "sig") {
            sorted.push_back(param);
        }
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return strcasecmp(a.first.c_str(), b.first.c_str()) < 0;
    });
    std::string text;
    for (const auto& [name, value] : sorted) {
        text += name + "=" + value;
    }
    return md5Hex(text + secret);
}

std::string FBRequest::nextCallId() {
    // Whole seconds alone would give two calls of one second the same id.
    static double last = 0;
    double id = std::max(std::floor(Clock::now()), last + 1);
    last = id;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", id);
    return buffer;
}

void FBRequest::call(const std::string& method, const Dictionary& params, DataParam dataParam) {
    auto session = m_session.lock();
    if (!session) {
        failSoon(Error("FBRequest", 2, "the request has no session"));
        return;
    }
    m_url = method == "facebook.video.upload" ? kAPIVideoURL() : session->apiURL();
    m_method = method;
    m_params = params;
    m_dataParam = std::move(dataParam);
    m_params.set("method", Value(method));
    m_params.set("api_key", Value(session->apiKey()));
    m_params.set("v", Value(std::string(kAPIVersion)));
    m_params.set("format", Value(std::string(kAPIFormat)));
    if (!isAuthMethod(method)) {
        m_params.set("session_key", Value(session->sessionKey().value_or("")));
        m_params.set("call_id", Value(nextCallId()));
        if (session->sessionSecret()) {
            m_params.set("ss", Value("1"));
        }
    }
    auto texts = fbParameterTexts(m_params);
    if (!texts) {
        failSoon(texts.error());
        return;
    }
    std::optional<std::string> secret;
    if (isAuthMethod(method)) {
        secret = session->apiSecret();
    } else {
        secret = session->sessionSecret() ? session->sessionSecret() : session->apiSecret();
    }
    m_params.set("sig", Value(generateSig(*texts, secret.value_or(""))));
    session->send(shared_from_this());
}

void FBRequest::post(const std::string& url, const Dictionary& params) {
    m_url = url;
    m_method.reset();
    m_params = params;
    auto session = m_session.lock();
    if (!session) {
        failSoon(Error("FBRequest", 2, "the request has no session"));
        return;
    }
    session->send(shared_from_this());
}

void FBRequest::failSoon(Error error) {
    m_refused = std::move(error);
    RunLoop::current().post([self = shared_from_this()] {
        if (self->m_refused) {
            Error error = *self->m_refused;
            self->m_refused.reset();
            if (auto delegate = self->m_delegate.lock()) {
                delegate->didFailWithError(*self, error);
            }
        }
    });
}

void FBRequest::connect() {
    if (auto delegate = m_delegate.lock()) {
        delegate->requestLoading(*this);
    }
    m_timestamp = Timer::now();
    auto texts = fbParameterTexts(m_params);
    if (!texts) {
        failSoon(texts.error());
        return;
    }
    std::string address = m_url;
    if (!m_method) {
        address += (address.find('?') == std::string::npos ? "?" : "&") + fbQueryString(*texts);
    }
    auto url = URL::strictParse(address);
    if (!url) {
        failSoon(urlError(URLErrorCode::BadURL, address));
        return;
    }
    URLRequest request(*url, URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kFBRequestTimeout);
    request.setValue(std::string(kUserAgent), "User-Agent");
    if (m_method) {
        std::optional<FBFilePart> file;
        if (const auto* image = std::get_if<std::shared_ptr<const Image>>(&m_dataParam); image && *image) {
            auto png = imagePNGRepresentation(**image);
            if (!png) {
                failSoon(png.error());
                return;
            }
            file = FBFilePart{"photo", "image/png", std::move(*png)};
        } else if (const auto* bytes = std::get_if<Data>(&m_dataParam)) {
            file = FBFilePart{"data", "content/unknown", *bytes};
        }
        std::string body = fbMultipartBody(*texts, file);
        request.HTTPMethod = "POST";
        request.setValue(fbMultipartContentType(), "Content-Type");
        request.HTTPBody = Data(body.begin(), body.end());
    }
    m_responseText.clear();
    m_connection = URLConnection::connectionWithRequest(std::move(request), shared_from_this());
}

void FBRequest::cancel() {
    bool wasQueued = false;
    if (auto session = m_session.lock()) {
        wasQueued = session->dequeue(*this);
    }
    if (!m_connection && !wasQueued) {
        return;
    }
    if (m_connection) {
        m_connection->cancel();
        m_connection.reset();
    }
    m_responseText.clear();
    if (auto delegate = m_delegate.lock()) {
        delegate->requestWasCancelled(*this);
    }
}

void FBRequest::didReceiveResponse(URLConnection&, const URLResponse& response) {
    m_responseText.clear();
    if (auto delegate = m_delegate.lock()) {
        delegate->didReceiveResponse(*this, response);
    }
}

void FBRequest::didReceiveData(URLConnection&, const Data& data) {
    m_responseText.append(data.begin(), data.end());
}

void FBRequest::connectionDidFinishLoading(URLConnection&) {
    auto self = shared_from_this();
    std::string bytes = std::move(m_responseText);
    finish();
    auto result = FBXMLHandler::parseXMLResponse(bytes);
    auto delegate = m_delegate.lock();
    if (!delegate) {
        return;
    }
    if (result) {
        delegate->didLoad(*this, *result);
    } else {
        delegate->didFailWithError(*this, result.error());
    }
}

void FBRequest::didFailWithError(URLConnection&, const Error& error) {
    auto self = shared_from_this();
    finish();
    if (auto delegate = m_delegate.lock()) {
        delegate->didFailWithError(*this, error);
    }
}

void FBRequest::finish() {
    m_connection.reset();
    m_responseText.clear();
}

} // namespace murmelo
