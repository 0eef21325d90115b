#include "platform/net/URLConnection.h"

#include <strings.h>

#include <atomic>
#include <cstdio>

#include "platform/net/CookieStore.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/net/internal/ReachabilityResolver.h"
#include "platform/net/internal/URLConnectionDecoder.h"

namespace murmelo {

namespace {

constexpr size_t kReadChunk = 64 * 1024;

// Started connections that have not ended (documented single counter).
std::atomic<std::size_t> g_connectionsInFlight{0};

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool isLoopbackHost(const std::string& host) {
    if (internal::isLocalhostName(host)) {
        return true;
    }
    auto numeric = ReachabilityTarget::numericAddress(host);
    return numeric && numeric->isLoopback();
}

std::string secondsText(const char* prefix, double seconds) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %g s", prefix, seconds);
    return text;
}

double effectiveTimeout(const URLRequest& request) {
    return request.timeoutInterval > 0 ? request.timeoutInterval : URLRequest::kDefaultTimeoutInterval;
}

} // namespace

// --- delegate defaults ---------------------------------------------------

std::optional<URLRequest> URLConnectionDelegate::willSendRequest(URLConnection&, const URLRequest& request,
                                                                 const URLResponse*) {
    return request;
}

void URLConnectionDelegate::didReceiveAuthenticationChallenge(URLConnection& connection,
                                                              const URLAuthenticationChallenge& challenge) {
    connection.continueWithoutCredentialForAuthenticationChallenge(challenge);
}

void URLConnectionDelegate::didReceiveResponse(URLConnection&, const URLResponse&) {}
void URLConnectionDelegate::didReceiveData(URLConnection&, const Data&) {}
void URLConnectionDelegate::connectionDidFinishLoading(URLConnection&) {}
void URLConnectionDelegate::didFailWithError(URLConnection&, const Error&) {}

// --- connection ------------------------------------------------------------

const char* URLConnection::defaultUserAgent() {
    return "Murmelo/" MURMELO_VERSION " CFNetwork/485.13.9 Darwin/11.0.0";
}

URLConnection::URLConnection(URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate)
    : m_originalRequest(request), m_currentRequest(std::move(request)), m_delegate(std::move(delegate)) {}

URLConnection::~URLConnection() = default;

std::shared_ptr<URLConnection> URLConnection::create(URLRequest request,
                                                     std::shared_ptr<URLConnectionDelegate> delegate,
                                                     StartImmediately startImmediately) {
    std::shared_ptr<URLConnection> connection(new URLConnection(std::move(request), std::move(delegate)));
    if (startImmediately == StartImmediately::Yes) {
        connection->start();
    }
    return connection;
}

std::shared_ptr<URLConnection>
URLConnection::connectionWithRequest(URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate) {
    return create(std::move(request), std::move(delegate), StartImmediately::Yes);
}

void URLConnection::scheduleInRunLoop(std::string_view mode) {
    if (!m_started) {
        m_modes = m_modes.adding(mode);
    }
}

void URLConnection::unscheduleFromRunLoop(std::string_view mode) {
    if (m_started) {
        return;
    }
    std::vector<std::string> kept;
    for (const auto& name : m_modes.names()) {
        if (name != mode) {
            kept.push_back(name);
        }
    }
    m_modes = RunLoopModes(std::move(kept));
}

void URLConnection::start() {
    if (m_started || m_state == State::Done) {
        return; // started before, or cancelled before it started
    }
    m_started = true;
    m_state = State::Loading;
    m_self = shared_from_this();
    g_connectionsInFlight.fetch_add(1, std::memory_order_relaxed);
    if (m_modes.empty()) {
        // Scheduled nowhere: it could never make progress.
        m_modes = RunLoopModes(RunLoop::kDefaultMode);
    }
    std::weak_ptr<URLConnection> weak = m_self;
    RunLoop::current().post(
        [weak] {
            if (auto self = weak.lock(); self && self->m_state == State::Loading) {
                self->begin();
            }
        },
        m_modes);
}

void URLConnection::cancel() {
    if (m_state == State::Done) {
        return;
    }
    end();
}

void URLConnection::end() {
    m_state = State::Done;
    m_timer.invalidate();
    m_transport.reset();
    m_delegate.reset();
    if (m_self) {
        g_connectionsInFlight.fetch_sub(1, std::memory_order_relaxed);
    }
    m_self.reset(); // may be the last reference: touch nothing after in callers
}

std::size_t URLConnection::connectionsInFlight() {
    return g_connectionsInFlight.load(std::memory_order_relaxed);
}

void URLConnection::begin() {
    auto keep = shared_from_this();
    auto first = m_delegate ? m_delegate->willSendRequest(*this, m_currentRequest, nullptr)
                            : std::optional<URLRequest>(m_currentRequest);
    if (m_state != State::Loading) {
        return;
    }
    if (!first) {
        end();
        return;
    }
    send(*first);
}

void URLConnection::send(const URLRequest& request) {
    m_currentRequest = request;
    const URL& url = request.url;
    if (!url.scheme()) {
        fail(urlError(URLErrorCode::BadURL, url.absoluteString()));
        return;
    }
    if (!url.isHTTPFamily()) {
        fail(urlError(URLErrorCode::UnsupportedURL, url.absoluteString()));
        return;
    }
    if (!url.host() || url.host()->empty()) {
        fail(urlError(URLErrorCode::BadURL, url.absoluteString()));
        return;
    }
    auto state = ReachabilityDeviceSource::shared().networkStateIfKnown();
    if (state == NetworkState::None && !isLoopbackHost(*url.host())) {
        fail(urlError(URLErrorCode::NotConnectedToInternet, url.absoluteString()));
        return;
    }

    TransportRequest message(url);
    message.method = request.HTTPMethod.empty() ? "GET" : request.HTTPMethod;
    message.headers = request.allHTTPHeaderFields();
    auto hasHeader = [&](std::string_view name) { return request.valueForHTTPHeaderField(name).has_value(); };
    if (!hasHeader("User-Agent")) {
        message.headers.emplace_back("User-Agent", defaultUserAgent());
    }
    if (!hasHeader("Accept")) {
        message.headers.emplace_back("Accept", "*/*");
    }
    if (!hasHeader("Accept-Encoding")) {
        message.headers.emplace_back("Accept-Encoding", "gzip, deflate");
    }
    if (request.HTTPShouldHandleCookies && !hasHeader("Cookie")) {
        std::string cookies = CookieStore::shared().cookieHeaderForURL(url);
        if (!cookies.empty()) {
            message.headers.emplace_back("Cookie", cookies);
        }
    }
    if (m_credential && !hasHeader("Authorization")) {
        message.headers.emplace_back("Authorization", m_credential->basicAuthorization());
    }
    if (m_proxyCredential && !hasHeader("Proxy-Authorization")) {
        message.headers.emplace_back("Proxy-Authorization", m_proxyCredential->basicAuthorization());
    }
    if (request.HTTPBody && !request.HTTPBody->empty()) {
        message.body = std::make_shared<const Data>(*request.HTTPBody);
    }

    Transport::Options options;
    options.connectTimeout = effectiveTimeout(request);
    auto transport = Transport::create(std::move(message), std::move(options));
    if (!transport) {
        fail(errorFromTransport(transport.error()));
        return;
    }
    m_transport = std::move(*transport);
    m_decoder.reset();
    m_bodyStarted = false;
    m_transportCompleted = false;
    unsigned long generation = ++m_generation;
    std::weak_ptr<URLConnection> weak = weak_from_this();
    auto opened = m_transport->open(m_modes, [weak, generation](Transport::Event event) {
        if (auto self = weak.lock()) {
            self->onTransportEvent(generation, event);
        }
    });
    if (!opened) {
        fail(errorFromTransport(opened.error()));
        return;
    }
    armTimer();
}

void URLConnection::armTimer() {
    double interval = effectiveTimeout(m_currentRequest);
    if (m_timer.isValid()) {
        m_timer.setFireDate(Timer::now() + interval);
        return;
    }
    std::weak_ptr<URLConnection> weak = weak_from_this();
    m_timer = Timer(
        interval, Timer::Repeats::No,
        [weak] {
            if (auto self = weak.lock()) {
                self->onTimeout();
            }
        },
        m_modes);
}

void URLConnection::onTimeout() {
    if (m_state == State::Loading) {
        fail(urlError(URLErrorCode::TimedOut, m_currentRequest.url.absoluteString()));
    }
}

void URLConnection::onTransportEvent(unsigned long generation, Transport::Event event) {
    if (generation != m_generation || !m_transport || m_state == State::Done) {
        return;
    }
    auto keep = shared_from_this();
    if (m_state == State::Loading) {
        armTimer();
    }
    switch (event) {
    case Transport::Event::OpenCompleted:
        break;
    case Transport::Event::HeaderReceived:
        onHeader();
        break;
    case Transport::Event::BytesAvailable:
        if (m_state == State::Loading && m_bodyStarted) {
            drainBody();
        }
        break;
    case Transport::Event::Completed:
        m_transportCompleted = true;
        if (m_state == State::Loading && m_bodyStarted) {
            drainBody();
            if (m_state == State::Loading) {
                finishLoad();
            }
        }
        break;
    case Transport::Event::Failed:
        fail(errorFromTransport(m_transport->error().value_or(Error::generic("transfer failed"))));
        break;
    }
}

void URLConnection::onHeader() {
    const URL url = m_currentRequest.url;
    const TransportResponse& head = *m_transport->response();
    if (m_currentRequest.HTTPShouldHandleCookies) {
        (void)CookieStore::shared().setCookiesFromHeaders(head.headerFields, url);
    }
    auto contentEncoding = head.headerValue("Content-Encoding");
    auto decoder =
        contentEncoding ? internal::URLConnectionDecoder::forContentEncoding(*contentEncoding) : nullptr;
    URLResponse reply = URLResponse::fromTransport(url, head, decoder != nullptr);
    if (followRedirect(reply) || m_state != State::Loading) {
        return;
    }
    if (challenge(reply) || m_state != State::Loading) {
        return;
    }
    m_decoder = std::move(decoder);
    deliverResponse(reply);
}

bool URLConnection::followRedirect(const URLResponse& reply) {
    int status = reply.statusCode;
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) {
        return false;
    }
    auto location = reply.headerValue("Location");
    if (!location) {
        return false;
    }
    auto target = URL::resolve(m_currentRequest.url, *location);
    if (!target) {
        return false; // a Location that is no URL: the reply is the answer
    }
    if (++m_redirects > kMaxRedirects) {
        fail(urlError(URLErrorCode::HTTPTooManyRedirects, m_currentRequest.url.absoluteString()));
        return true;
    }
    URLRequest next = m_currentRequest;
    next.url = target->absoluteURL();
    bool toGet = (status == 303 && !sameText(next.HTTPMethod, "HEAD")) ||
                 ((status == 301 || status == 302) && sameText(next.HTTPMethod, "POST"));
    if (toGet) {
        next.HTTPMethod = "GET";
        next.HTTPBody.reset();
        next.setValue(std::nullopt, "Content-Type");
        next.setValue(std::nullopt, "Content-Length");
    }
    auto sameOrigin = [](const URL& a, const URL& b) { return a.hostAndPort() == b.hostAndPort(); };
    if (!sameOrigin(m_currentRequest.url, next.url)) {
        // Credentials stay with the host they were given for.
        next.setValue(std::nullopt, "Authorization");
        m_credential.reset();
    }
    auto keep = shared_from_this();
    auto chosen =
        m_delegate ? m_delegate->willSendRequest(*this, next, &reply) : std::optional<URLRequest>(next);
    if (m_state != State::Loading) {
        return true;
    }
    if (!chosen) {
        return false; // refused: the redirect reply itself is delivered
    }
    m_transport.reset();
    send(*chosen);
    return true;
}

bool URLConnection::challenge(const URLResponse& reply) {
    bool proxy = reply.statusCode == 407;
    if (reply.statusCode != 401 && !proxy) {
        return false;
    }
    auto field = reply.headerValue(proxy ? "Proxy-Authenticate" : "WWW-Authenticate");
    if (!field) {
        return false;
    }
    auto offered = parseAuthenticateChallenges(*field);
    if (offered.empty()) {
        return false;
    }
    const AuthenticateChallenge* chosen = &offered.front();
    for (const auto& candidate : offered) {
        if (sameText(candidate.scheme, "Basic")) {
            chosen = &candidate;
            break;
        }
    }
    URLProtectionSpace space;
    const URL& url = m_currentRequest.url;
    space.host = url.host().value_or("");
    space.port = url.effectivePort().value_or(0);
    space.protocol = url.hasScheme("https") ? "https" : "http";
    space.realm = chosen->realm;
    space.isProxy = proxy;
    if (sameText(chosen->scheme, "Basic")) {
        space.authenticationMethod = kURLAuthenticationMethodHTTPBasic;
    } else if (sameText(chosen->scheme, "Digest")) {
        space.authenticationMethod = kURLAuthenticationMethodHTTPDigest;
    } else if (sameText(chosen->scheme, "NTLM")) {
        space.authenticationMethod = kURLAuthenticationMethodNTLM;
    }
    std::string key = (proxy ? "proxy " : "") + space.host + ":" + std::to_string(space.port) + " " +
                      space.realm.value_or("") + " " + space.authenticationMethod;
    int previous = m_challengeCounts[key]++;
    std::optional<URLCredential> proposed = proxy ? m_proxyCredential : m_credential;
    m_state = State::AwaitingChallenge;
    m_pendingChallenge = ++m_nextChallenge;
    m_challengeResponse = reply;
    m_timer.invalidate(); // the delegate may take its time
    URLAuthenticationChallenge question(space, previous, reply, previous > 0 ? proposed : std::nullopt, this,
                                        m_pendingChallenge);
    auto keep = shared_from_this();
    if (m_delegate) {
        m_delegate->didReceiveAuthenticationChallenge(*this, question);
    } else {
        continueWithoutCredentialForAuthenticationChallenge(question);
    }
    return true;
}

bool URLConnection::answersPendingChallenge(const URLAuthenticationChallenge& challenge) const {
    return m_state == State::AwaitingChallenge && challenge.sender() == this &&
           challenge.identifier() == m_pendingChallenge;
}

void URLConnection::useCredential(const URLCredential& credential,
                                  const URLAuthenticationChallenge& challenge) {
    if (!answersPendingChallenge(challenge)) {
        return;
    }
    if (challenge.protectionSpace().authenticationMethod != kURLAuthenticationMethodHTTPBasic) {
        // Only Basic can be answered; the reply stands.
        continueWithoutCredentialForAuthenticationChallenge(challenge);
        return;
    }
    if (challenge.protectionSpace().isProxy) {
        m_proxyCredential = credential;
    } else {
        m_credential = credential;
    }
    m_state = State::Loading;
    m_pendingChallenge = 0;
    m_challengeResponse.reset();
    m_transport.reset();
    URLRequest again = m_currentRequest;
    // A credential the caller put in the request itself gives way to the answer.
    again.setValue(std::nullopt,
                   challenge.protectionSpace().isProxy ? "Proxy-Authorization" : "Authorization");
    send(again);
}

void URLConnection::continueWithoutCredentialForAuthenticationChallenge(
    const URLAuthenticationChallenge& challenge) {
    if (!answersPendingChallenge(challenge)) {
        return;
    }
    m_state = State::Loading;
    m_pendingChallenge = 0;
    URLResponse reply = *m_challengeResponse;
    m_challengeResponse.reset();
    auto contentEncoding = reply.headerValue("Content-Encoding");
    m_decoder =
        contentEncoding ? internal::URLConnectionDecoder::forContentEncoding(*contentEncoding) : nullptr;
    armTimer();
    deliverResponse(reply);
}

void URLConnection::cancelAuthenticationChallenge(const URLAuthenticationChallenge& challenge) {
    if (!answersPendingChallenge(challenge)) {
        return;
    }
    m_state = State::Loading;
    fail(urlError(URLErrorCode::UserCancelledAuthentication, m_currentRequest.url.absoluteString()));
}

void URLConnection::deliverResponse(const URLResponse& reply) {
    auto keep = shared_from_this();
    m_bodyStarted = true;
    if (m_delegate) {
        m_delegate->didReceiveResponse(*this, reply);
    }
    if (m_state != State::Loading || !m_transport) {
        return;
    }
    // Bytes that arrived while the head was being handled; the rest, and the
    // end, come as transport events — unless the end came already.
    drainBody();
    if (m_state == State::Loading && m_transportCompleted && m_transport &&
        m_transport->bytesAvailable() == 0) {
        finishLoad();
    }
}

void URLConnection::drainBody() {
    auto keep = shared_from_this();
    while (m_state == State::Loading && m_transport && m_transport->bytesAvailable() > 0) {
        Data raw;
        m_transport->readInto(raw, kReadChunk);
        if (!m_decoder) {
            if (m_delegate) {
                m_delegate->didReceiveData(*this, raw);
            }
            continue;
        }
        auto decoded = m_decoder->decode(raw, [&](const Data& piece) {
            if (m_delegate) {
                m_delegate->didReceiveData(*this, piece);
            }
            return m_state == State::Loading;
        });
        if (!decoded && m_state == State::Loading) {
            fail(urlError(URLErrorCode::CannotDecodeRawData, m_currentRequest.url.absoluteString())
                     .withFailureReason(decoded.error().localizedDescription()));
            return;
        }
    }
}

void URLConnection::finishLoad() {
    if (m_decoder) {
        if (auto complete = m_decoder->finish(); !complete) {
            fail(urlError(URLErrorCode::CannotDecodeRawData, m_currentRequest.url.absoluteString())
                     .withFailureReason(complete.error().localizedDescription()));
            return;
        }
    }
    auto keep = shared_from_this();
    auto delegate = m_delegate;
    m_state = State::Done;
    m_timer.invalidate();
    m_transport.reset();
    if (delegate) {
        delegate->connectionDidFinishLoading(*this);
    }
    end();
}

void URLConnection::fail(const Error& error) {
    if (m_state == State::Done) {
        return;
    }
    auto keep = shared_from_this();
    auto delegate = m_delegate;
    m_state = State::Done;
    m_timer.invalidate();
    m_transport.reset();
    if (delegate) {
        delegate->didFailWithError(*this, error);
    }
    end();
}

Error URLConnection::errorFromTransport(const Error& transportError) const {
    URLErrorCode code = URLErrorCode::Unknown;
    if (isSecureTransportError(transportError)) {
        long status = transportError.code();
        code = status == static_cast<long>(SecureTransportCode::CertificateInvalid)
                   ? URLErrorCode::ServerCertificateUntrusted
                   : URLErrorCode::SecureConnectionFailed;
    } else if (transportError.domain() == kTransportErrorDomain) {
        switch (static_cast<TransportErrorCode>(transportError.code())) {
        case TransportErrorCode::InvalidRequest:
            code = URLErrorCode::BadURL;
            break;
        case TransportErrorCode::HostNotFound:
            code = URLErrorCode::CannotFindHost;
            break;
        case TransportErrorCode::ProxyUnusable:
        case TransportErrorCode::CannotConnect:
            code = URLErrorCode::CannotConnectToHost;
            break;
        case TransportErrorCode::ConnectionLost:
            code = URLErrorCode::NetworkConnectionLost;
            break;
        case TransportErrorCode::BadServerResponse:
            code = URLErrorCode::BadServerResponse;
            break;
        case TransportErrorCode::TimedOut:
            code = URLErrorCode::TimedOut;
            break;
        case TransportErrorCode::SetupFailed:
        case TransportErrorCode::Other:
            code = URLErrorCode::Unknown;
            break;
        }
    }
    Error error = urlError(code, m_currentRequest.url.absoluteString());
    error.withUnderlyingError(transportError);
    return error;
}

// --- synchronous send ------------------------------------------------------

namespace {

class SynchronousCollector : public URLConnectionDelegate {
public:
    explicit SynchronousCollector(std::size_t maxBodyBytes) : m_maxBodyBytes(maxBodyBytes) {}

    void didReceiveResponse(URLConnection& connection, const URLResponse& response) override {
        this->response = response;
        body.clear(); // a new response starts a new body
        if (response.expectedContentLength > 0 &&
            static_cast<std::uint64_t>(response.expectedContentLength) > m_maxBodyBytes) {
            tooLarge(connection);
        }
    }
    void didReceiveData(URLConnection& connection, const Data& data) override {
        if (done) {
            return;
        }
        if (data.size() > m_maxBodyBytes - body.size()) {
            tooLarge(connection);
            return;
        }
        body.insert(body.end(), data.begin(), data.end());
    }
    void connectionDidFinishLoading(URLConnection&) override { done = true; }
    void didFailWithError(URLConnection&, const Error& failure) override {
        error = failure;
        done = true;
    }

    std::optional<URLResponse> response;
    Data body;
    std::optional<Error> error;
    bool done = false;

private:
    void tooLarge(URLConnection& connection) {
        error = urlReplyTooLargeError(connection.currentRequest().url.absoluteString(), m_maxBodyBytes);
        done = true;
        Data().swap(body);
        connection.cancel(); // stops the transfer; no more callbacks
    }

    std::size_t m_maxBodyBytes;
};

} // namespace

Result<Data> URLConnection::sendSynchronousRequest(const URLRequest& request,
                                                   std::optional<URLResponse>* returningResponse) {
    return sendSynchronousRequest(request, returningResponse, SynchronousLimits());
}

Result<Data> URLConnection::sendSynchronousRequest(const URLRequest& request,
                                                   std::optional<URLResponse>* returningResponse,
                                                   const SynchronousLimits& limits) {
    double allowed = limits.deadline.value_or(0);
    if (allowed <= 0) {
        allowed = kSynchronousDeadlineFactor * effectiveTimeout(request);
    }
    const double deadline = RunLoop::dateAfter(allowed);
    auto collector = std::make_shared<SynchronousCollector>(limits.maxBodyBytes);
    auto connection = create(request, collector, StartImmediately::No);
    connection->scheduleInRunLoop(kSynchronousMode);
    connection->unscheduleFromRunLoop(RunLoop::kDefaultMode);
    connection->start();
    if (!RunLoop::current().runModeUntil(
            kSynchronousMode, [&] { return collector->done; }, deadline)) {
        // Progress kept the inactivity timer quiet, but the time is up.
        connection->cancel();
        collector->error = urlError(URLErrorCode::TimedOut, connection->currentRequest().url.absoluteString())
                               .withFailureReason(secondsText("no complete reply within", allowed));
    }
    if (returningResponse) {
        *returningResponse = collector->response;
    }
    if (collector->error) {
        return *collector->error;
    }
    return std::move(collector->body);
}

} // namespace murmelo
