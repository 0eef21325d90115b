#include "app/http/ASIHTTPRequest.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <exception>
#include <new>
#include <utility>

#include "platform/core/AsciiText.h"
#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/Locale.h"
#include "platform/net/CookieStore.h"
#include "platform/net/NetError.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return text::equalsIgnoringASCIICase(a, b);
}

// ASCII only, as HTTP's names are; no locale look-up per byte.
std::string lowercased(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::optional<std::string> headerIn(const std::optional<HeaderFields>& fields, std::string_view name) {
    if (!fields) {
        return std::nullopt;
    }
    for (const auto& [field, value] : *fields) {
        if (equalsIgnoringCase(field, name)) {
            return value;
        }
    }
    return std::nullopt;
}

Error requestError(ASINetworkErrorType type, std::string description) {
    return Error(NetworkRequestErrorDomain, static_cast<long>(type), std::move(description));
}

bool sameOrigin(const URL& a, const URL& b) {
    return lowercased(a.scheme().value_or("")) == lowercased(b.scheme().value_or("")) &&
           a.host() == b.host() && a.effectivePort() == b.effectivePort();
}

// The class's process-wide session cookie list.
struct SessionCookies {
    std::mutex mutex;
    std::vector<Cookie> cookies;
};
SessionCookies& sessionCookieList() {
    static auto* list = new SessionCookies(); // class state for the life of the process
    return *list;
}

constexpr double kStandardTimeOutSeconds = 5.0;

std::atomic<double>& defaultTimeOut() {
    static std::atomic<double> seconds{kStandardTimeOutSeconds};
    return seconds;
}

} // namespace

// ---- the five shared errors, made once when the class is first used

const Error& ASIHTTPRequest::requestTimedOutError() {
    static const Error error =
        requestError(ASINetworkErrorType::RequestTimedOutErrorType, "The request timed out");
    return error;
}

const Error& ASIHTTPRequest::authenticationError() {
    static const Error error =
        requestError(ASINetworkErrorType::AuthenticationErrorType, "Authentication needed");
    return error;
}

const Error& ASIHTTPRequest::requestCancelledError() {
    static const Error error =
        requestError(ASINetworkErrorType::RequestCancelledErrorType, "The request was cancelled");
    return error;
}

const Error& ASIHTTPRequest::unableToCreateRequestError() {
    static const Error error = requestError(ASINetworkErrorType::UnableToCreateRequestErrorType,
                                            "Unable to create request (bad url?)");
    return error;
}

const Error& ASIHTTPRequest::tooMuchRedirectionError() {
    static const Error error = requestError(ASINetworkErrorType::TooMuchRedirectionErrorType,
                                            "The request failed because it redirected too many times");
    return error;
}

Error ASIHTTPRequest::responseTooLargeError(std::size_t limit) {
    Error error = requestError(ASINetworkErrorType::ResponseTooLargeErrorType,
                               "The response is larger than " + std::to_string(limit) + " bytes");
    error.withUnderlyingError(replyTooLargeError(limit));
    return error;
}

// ---- construction and configuration

std::shared_ptr<ASIHTTPRequest> ASIHTTPRequest::requestWithURL(std::optional<URL> url) {
    return std::make_shared<ASIHTTPRequest>(std::move(url));
}

ASIHTTPRequest::ASIHTTPRequest(std::optional<URL> url)
    : m_url(std::move(url)), m_timeOutSeconds(defaultTimeOutSeconds()) {
    // Touch the shared errors so they exist before any request runs.
    (void)requestTimedOutError();
    (void)authenticationError();
    (void)requestCancelledError();
    (void)unableToCreateRequestError();
    (void)tooMuchRedirectionError();
}

ASIHTTPRequest::~ASIHTTPRequest() = default;

void ASIHTTPRequest::addRequestHeader(const std::string& header, const std::string& value) {
    if (!m_requestHeaders) {
        m_requestHeaders.emplace();
    }
    for (auto& [name, existing] : *m_requestHeaders) {
        if (name == header) {
            existing = value;
            return;
        }
    }
    m_requestHeaders->emplace_back(header, value);
}

void ASIHTTPRequest::appendPostData(const Data& data) {
    if (!m_postBody) {
        m_postBody.emplace();
    }
    m_postBody->insert(m_postBody->end(), data.begin(), data.end());
}

void ASIHTTPRequest::setProxy(std::optional<std::string> host, int port) {
    m_proxyHost = std::move(host);
    m_proxyPort = port;
}

// ---- building

void ASIHTTPRequest::buildPostBody() {
    if (m_haveBuiltPostBody) {
        return;
    }
    m_haveBuiltPostBody = true;
    m_postLength = m_postBody ? m_postBody->size() : 0;
    if (m_postLength > 0) {
        if (m_requestMethod == "GET" || m_requestMethod == "DELETE" || m_requestMethod == "HEAD") {
            m_requestMethod = "POST";
        }
        addRequestHeader("Content-Length", std::to_string(m_postLength));
    }
}

void ASIHTTPRequest::removeStoreCookieHeader() {
    if (!m_storeCookieHeader || !m_requestHeaders) {
        return;
    }
    auto& headers = *m_requestHeaders;
    headers.erase(std::remove_if(headers.begin(), headers.end(),
                                 [&](const auto& field) {
                                     return field.first == "Cookie" && field.second == *m_storeCookieHeader;
                                 }),
                  headers.end());
    m_storeCookieHeader.reset();
}

void ASIHTTPRequest::buildRequestHeaders() {
    if (m_haveBuiltRequestHeaders) {
        return;
    }
    m_haveBuiltRequestHeaders = true;
    // Cookies read on an earlier pass belong to the earlier URL.
    removeStoreCookieHeader();
    if (m_useCookiePersistance && m_url) {
        std::vector<Cookie> stored = CookieStore::shared().cookiesForURL(*m_url);
        m_requestCookies.insert(m_requestCookies.end(), stored.begin(), stored.end());
    }
    if (!m_requestCookies.empty()) {
        std::string header;
        for (const auto& cookie : m_requestCookies) {
            if (!header.empty()) {
                header += "; ";
            }
            header += cookie.name + "=" + cookie.value;
        }
        addRequestHeader("Cookie", header);
        m_storeCookieHeader = header;
    }
    if (!headerIn(m_requestHeaders, "User-Agent")) {
        if (auto agent = defaultUserAgentString()) {
            addRequestHeader("User-Agent", *agent);
        }
    }
    if (m_allowCompressedResponse) {
        addRequestHeader("Accept-Encoding", "gzip");
    }
    if (m_shouldCompressRequestBody) {
        addRequestHeader("Content-Encoding", "gzip");
    }
}

// ---- running

double ASIHTTPRequest::defaultTimeOutSeconds() {
    return defaultTimeOut().load();
}

void ASIHTTPRequest::setDefaultTimeOutSeconds(double seconds) {
    defaultTimeOut().store(seconds);
}

double ASIHTTPRequest::overallTimeOutSeconds() const {
    if (m_overallTimeOutSeconds > 0) {
        return m_overallTimeOutSeconds;
    }
    double inactivity = m_timeOutSeconds > 0 ? m_timeOutSeconds : defaultTimeOutSeconds();
    return kDeadlineFactor * (inactivity > 0 ? inactivity : kStandardTimeOutSeconds);
}

void ASIHTTPRequest::start() {
    {
        std::lock_guard lock(m_cancelledLock);
        m_loop = RunLoop::current().handle(); // where cancel() wakes the transfer loop
    }
    m_startTime = Clock::monotonic();
    for (;;) {
        RunOutcome outcome = RunOutcome::Finished;
        try {
            outcome = runOnce();
        } catch (const std::exception& exception) {
            // Nothing of ours throws; this is memory running out mid-reply.
            const char* name =
                dynamic_cast<const std::bad_alloc*>(&exception) ? "NSMallocException" : "NSGenericException";
            Error error = requestError(ASINetworkErrorType::UnhandledExceptionError, name);
            error.withFailureReason(exception.what());
            tearDownConnection();
            failWithError(error);
        }
        if (outcome == RunOutcome::Finished) {
            break;
        }
    }
    tearDownConnection();
}

ASIHTTPRequest::RunOutcome ASIHTTPRequest::runOnce() {
    {
        std::lock_guard lock(m_cancelledLock);
        if (m_cancelled) {
            return RunOutcome::Finished;
        }
        m_complete = false;
    }
    if (!m_url) {
        failWithError(unableToCreateRequestError());
        return RunOutcome::Finished;
    }
    buildPostBody();

    // The message: method, URL, HTTP/1.1 (or 1.0), then every header line.
    buildRequestHeaders();
    TransportRequest message(*m_url);
    message.method = m_requestMethod;
    message.version = m_useHTTPVersionOne ? HTTPVersion::V1_0 : HTTPVersion::V1_1;
    message.certificateCheck =
        m_validatesSecureCertificate ? CertificateCheck::Verify : CertificateCheck::Skip;
    if (m_requestHeaders) {
        message.headers = *m_requestHeaders;
    }
    if (m_postBody && m_postLength > 0) {
        if (!m_sentBody) {
            m_sentBody = std::make_shared<const Data>(*m_postBody); // shared by every redirect
        }
        message.body = m_sentBody;
    }
    if (m_proxyHost && m_proxyPort > 0) {
        ProxyServer proxy;
        proxy.host = *m_proxyHost;
        proxy.port = m_proxyPort;
        message.proxy = proxy;
    }
    auto transport = Transport::create(std::move(message));
    if (!transport) {
        Error error = unableToCreateRequestError();
        logLine("ASIHTTPRequest: %s", transport.error().localizedDescription().c_str());
        failWithError(error);
        return RunOutcome::Finished;
    }
    m_transport = std::move(*transport);
    startRequest();
    return loadRequest();
}

void ASIHTTPRequest::startRequest() {
    std::lock_guard lock(m_cancelledLock);
    if (m_cancelled) {
        return;
    }
    m_complete = false;
    m_totalBytesRead = 0;
    m_lastBytesRead = 0;
    m_lastBytesSent = 0;
    m_totalBytesSent = 0;
    m_contentLength = 0;
    m_responseHeaders.reset();
    m_responseHeadRead = false;
    m_rawResponseData.emplace();

    auto opened =
        m_transport->open(kRunLoopMode, [this](Transport::Event event) { handleNetworkEvent(event); });
    if (!opened) {
        const Error& cause = opened.error();
        bool proxy = cause.is(kTransportErrorDomain, static_cast<long>(TransportErrorCode::ProxyUnusable));
        Error error = requestError(ASINetworkErrorType::InternalErrorWhileBuildingRequestType,
                                   proxy ? "Unable to obtain information on proxy servers needed for request"
                                         : "Unable to start HTTP connection");
        error.withUnderlyingError(cause);
        m_transport.reset();
        failWithError(error);
        return;
    }
    m_lastActivityTime = Clock::monotonic();
}

bool ASIHTTPRequest::timedOut(double now) const {
    if (!m_lastActivityTime || m_timeOutSeconds <= 0 || now - *m_lastActivityTime <= m_timeOutSeconds) {
        return false;
    }
    return inactivityCounts();
}

bool ASIHTTPRequest::inactivityCounts() const {
    // A body still on its way out does not time out before the first bytes
    // are reported written.
    return m_totalBytesSent > 0 || m_postLength <= m_uploadBufferSize;
}

bool ASIHTTPRequest::pastDeadline(double now) const {
    return m_startTime && now - *m_startTime >= overallTimeOutSeconds();
}

bool ASIHTTPRequest::failIfTooLarge(std::uint64_t bytes) {
    if (bytes <= m_maxResponseDataSize) {
        return false;
    }
    tearDownConnection();
    m_rawResponseData.emplace(); // hand the memory back now
    failWithError(responseTooLargeError(m_maxResponseDataSize));
    return true;
}

ASIHTTPRequest::RunOutcome ASIHTTPRequest::loadRequest() {
    // Each pass ends at an event, a cancel (which posts into the mode) or the
    // next moment a time-out can be due — no polling. A pass waits also while
    // the private mode has no source (a name being resolved), as
    // runModeUntil does.
    RunLoop& loop = RunLoop::current();
    for (;;) {
        std::unique_lock lock(m_cancelledLock);
        if (m_cancelled || m_complete || !m_transport) {
            return RunOutcome::Finished;
        }
        double now = Clock::monotonic();
        if (timedOut(now) || pastDeadline(now)) {
            failWithError(requestTimedOutError());
            tearDownConnection();
            m_complete = true;
            return RunOutcome::Finished;
        }
        if (m_needsRedirect) {
            tearDownConnection();
            m_needsRedirect = false;
            ++m_redirectCount;
            if (m_redirectCount > kMaxRedirects) {
                failWithError(tooMuchRedirectionError());
                return RunOutcome::Finished;
            }
            return RunOutcome::Redirect;
        }
        if (m_totalBytesSent > m_lastBytesSent) {
            m_lastActivityTime = now;
            m_lastBytesSent = m_totalBytesSent;
        }
        m_totalBytesSent = m_transport->bodyBytesSent();
        if (m_uploadBufferSize == 0 && m_totalBytesSent > 0 && m_totalBytesSent != m_postLength) {
            m_uploadBufferSize = m_totalBytesSent;
        }
        // A sent count not yet taken as activity is taken on a pass right away,
        // before the inactivity limit is judged again.
        double until = m_totalBytesSent > m_lastBytesSent ? now : nextTimeOutCheck(now);
        lock.unlock();
        bool passed = false; // one handled source, then the checks above again
        loop.runModeUntil(
            kRunLoopMode, [&passed] { return std::exchange(passed, true); }, until);
    }
}

double ASIHTTPRequest::nextTimeOutCheck(double now) const {
    double deadline = m_startTime.value_or(now) + overallTimeOutSeconds();
    if (m_lastActivityTime && m_timeOutSeconds > 0 && inactivityCounts()) {
        return std::min(deadline, *m_lastActivityTime + m_timeOutSeconds);
    }
    return deadline;
}

void ASIHTTPRequest::handleNetworkEvent(Transport::Event event) {
    std::lock_guard lock(m_cancelledLock);
    if (m_complete || m_cancelled || !m_transport) {
        return;
    }
    switch (event) {
    case Transport::Event::OpenCompleted:
        break;
    case Transport::Event::HeaderReceived:
    case Transport::Event::BytesAvailable:
        handleBytesAvailable();
        break;
    case Transport::Event::Completed:
        handleStreamComplete();
        break;
    case Transport::Event::Failed:
        handleStreamError();
        break;
    }
}

bool ASIHTTPRequest::readResponseHeadersIfNeeded() {
    if (!m_responseHeadRead) {
        if (!m_transport->response()) {
            return false;
        }
        m_responseHeadRead = true;
        if (readResponseHeadersReturningAuthenticationFailure()) {
            // Authentication is left out: the request ends here, without a body.
            tearDownConnection();
            failWithError(authenticationError());
            return false;
        }
    }
    return !m_needsRedirect;
}

void ASIHTTPRequest::handleBytesAvailable() {
    if (!readResponseHeadersIfNeeded()) {
        return;
    }
    if (failIfTooLarge(m_contentLength) ||
        failIfTooLarge(m_rawResponseData->size() + std::uint64_t{m_transport->bytesAvailable()})) {
        return;
    }
    std::size_t chunk = m_contentLength > 262144 ? 65536 : m_contentLength > 65536 ? 16384 : 2048;
    std::size_t got = m_transport->readInto(*m_rawResponseData, chunk);
    if (got > 0) {
        m_totalBytesRead += got;
        m_lastActivityTime = Clock::monotonic();
    }
}

void ASIHTTPRequest::handleStreamComplete() {
    if (!readResponseHeadersIfNeeded()) {
        return;
    }
    m_complete = true;
    tearDownConnection();
}

void ASIHTTPRequest::handleStreamError() {
    std::optional<Error> cause = m_transport->error();
    tearDownConnection();
    m_complete = true;
    if (m_error) {
        return;
    }
    std::string description = "A connection failure occurred";
    if (cause && isSecureTransportError(*cause)) {
        description += ": SSL problem (possibily a bad/expired/self-signed certificate)";
    }
    Error error = requestError(ASINetworkErrorType::ConnectionFailureErrorType, description);
    if (cause) {
        error.withUnderlyingError(*cause);
    }
    failWithError(error);
}

bool ASIHTTPRequest::readResponseHeadersReturningAuthenticationFailure() {
    const TransportResponse& head = *m_transport->response();
    m_responseHeaders = head.mergedHeaderFields();
    m_responseStatusCode = head.statusCode;
    m_responseStatusMessage = head.statusLine;
    if (m_responseStatusCode == 407 || m_responseStatusCode == 401) {
        return true;
    }

    if (auto length = head.headerValue("Content-Length")) {
        std::uint64_t parsed = 0;
        auto [end, ec] = std::from_chars(length->data(), length->data() + length->size(), parsed);
        if (ec == std::errc() && end == length->data() + length->size()) {
            m_contentLength = parsed;
        }
    }

    m_responseEncoding = m_defaultResponseEncoding;
    if (auto type = head.headerValue("Content-Type")) {
        std::string lower = lowercased(*type);
        auto at = lower.find("charset=");
        if (at != std::string::npos) {
            std::string name = type->substr(at + 8);
            name = name.substr(0, name.find(';'));
            // Quotes are legal around the name.
            name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
            if (auto known = stringEncodingForIANAName(name)) {
                m_responseEncoding = *known;
            }
        }
    }

    CookieStore& store = CookieStore::shared();
    m_responseCookies = store.cookiesFromHeaders(head.headerFields, *m_url);
    if (m_useCookiePersistance) {
        for (const auto& cookie : *m_responseCookies) {
            if (auto stored = store.setCookie(cookie); !stored) {
                logLine("ASIHTTPRequest: cookie %s not stored: %s", cookie.name.c_str(),
                        stored.error().localizedDescription().c_str());
            }
            addSessionCookie(cookie);
        }
    }

    auto location = head.headerValue("Location");
    int status = m_responseStatusCode;
    if (m_shouldRedirect && location && status > 300 && status <= 307 && status != 304) {
        if (status == 303) {
            m_requestMethod = "GET";
            m_postBody.reset();
            m_sentBody.reset();
            m_postLength = 0;
            m_requestHeaders.reset();
            m_storeCookieHeader.reset();
        }
        std::optional<URL> next = URL::resolve(*m_url, *location);
        if (next && m_requestHeaders && !sameOrigin(*m_url, *next)) {
            // Cookies are for the host that set them, whoever wrote the header.
            auto& headers = *m_requestHeaders;
            headers.erase(
                std::remove_if(headers.begin(), headers.end(),
                               [](const auto& field) { return equalsIgnoringCase(field.first, "Cookie"); }),
                headers.end());
            m_storeCookieHeader.reset();
        }
        m_url = next ? std::optional<URL>(next->absoluteURL())
                     : std::nullopt; // unusable: the next pass fails with 5
        m_needsRedirect = true;
        m_haveBuiltRequestHeaders = false;
        m_requestCookies.clear();
    }
    return false;
}

void ASIHTTPRequest::tearDownConnection() {
    m_transport.reset();
}

void ASIHTTPRequest::failWithError(const Error& error) {
    std::lock_guard lock(m_cancelledLock);
    m_complete = true;
    if (m_cancelled || m_error) {
        return;
    }
    m_error = error;
}

void ASIHTTPRequest::cancel() {
    std::lock_guard lock(m_cancelledLock);
    if (m_complete || m_cancelled) {
        return;
    }
    failWithError(requestCancelledError());
    m_cancelled = true;
    // The transfer loop sleeps until an event or a time-out is due; this is its event.
    m_loop.post([] {}, RunLoopModes(kRunLoopMode));
}

bool ASIHTTPRequest::isCancelled() const {
    std::lock_guard lock(m_cancelledLock);
    return m_cancelled;
}

bool ASIHTTPRequest::complete() const {
    std::lock_guard lock(m_cancelledLock);
    return m_complete;
}

std::optional<Error> ASIHTTPRequest::error() const {
    std::lock_guard lock(m_cancelledLock);
    return m_error;
}

// ---- the reply

std::optional<Data> ASIHTTPRequest::responseData() const {
    if (!m_rawResponseData) {
        return std::nullopt;
    }
    auto encoding = headerIn(m_responseHeaders, "Content-Encoding");
    if (encoding && lowercased(*encoding).find("gzip") != std::string::npos) {
        return uncompressZippedData(*m_rawResponseData);
    }
    return m_rawResponseData;
}

std::optional<std::string> ASIHTTPRequest::responseString() const {
    std::optional<Data> data = responseData();
    if (!data) {
        return std::nullopt;
    }
    return decodeString(*data, m_responseEncoding.value_or(m_defaultResponseEncoding));
}

std::optional<Data> ASIHTTPRequest::uncompressZippedData(const Data& compressed) {
    if (compressed.empty()) {
        return compressed;
    }
    z_stream stream{};
    if (inflateInit2(&stream, 47) != Z_OK) {
        return std::nullopt;
    }
    const std::size_t half = compressed.size() / 2 + 1;
    // The buffer starts at 1.5 times the input, or, for gzip, at the size
    // its trailer announces (believed only up to deflate's best ratio):
    // one allocation instead of several for a big reply.
    std::size_t capacity = compressed.size() + half;
    if (compressed.size() >= 18 && compressed[0] == 0x1f && compressed[1] == 0x8b) {
        const std::uint8_t* trailer = compressed.data() + compressed.size() - 4;
        std::size_t announced =
            static_cast<std::size_t>(trailer[0]) | static_cast<std::size_t>(trailer[1]) << 8 |
            static_cast<std::size_t>(trailer[2]) << 16 | static_cast<std::size_t>(trailer[3]) << 24;
        std::size_t plausible = compressed.size() * 1032 + 64;
        if (announced > 0 && announced <= plausible) {
            capacity = announced + 1;
        }
    }
    Data out;
    out.resize(std::min(capacity, kMaxInflatedBytes));
    std::size_t consumed = 0;
    std::size_t produced = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        if (produced == out.size()) {
            if (out.size() >= kMaxInflatedBytes) {
                logLine("ASIHTTPRequest: a compressed reply inflates beyond %zu bytes; ignored",
                        kMaxInflatedBytes);
                inflateEnd(&stream);
                return std::nullopt;
            }
            // At least half the input more, and geometric, so a highly
            // compressed body does not cost quadratic copying.
            out.resize(std::min(out.size() + std::max(half, out.size() / 2), kMaxInflatedBytes));
        }
        std::size_t inputNow = std::min<std::size_t>(compressed.size() - consumed, UINT32_MAX);
        std::size_t outputNow = std::min<std::size_t>(out.size() - produced, UINT32_MAX);
        stream.next_in = const_cast<Bytef*>(compressed.data() + consumed);
        stream.avail_in = static_cast<uInt>(inputNow);
        stream.next_out = out.data() + produced;
        stream.avail_out = static_cast<uInt>(outputNow);
        status = inflate(&stream, Z_SYNC_FLUSH);
        consumed += inputNow - stream.avail_in;
        produced += outputNow - stream.avail_out;
    }
    if (status != Z_STREAM_END) {
        inflateEnd(&stream);
        return std::nullopt;
    }
    if (inflateEnd(&stream) != Z_OK) {
        return std::nullopt;
    }
    out.resize(produced);
    return out;
}

// ---- class state

std::optional<std::string> ASIHTTPRequest::defaultUserAgentString() {
    auto bundle = Bundle::mainBundle();
    if (!bundle) {
        return std::nullopt;
    }
    auto text = [&](const char* key) -> std::optional<std::string> {
        auto value = bundle->objectForInfoDictionaryKey(key);
        if (value && value->asString()) {
            return value->asString()->str();
        }
        return std::nullopt;
    };
    std::optional<std::string> name = text("CFBundleDisplayName");
    if (!name) {
        name = text("CFBundleName");
    }
    if (!name) {
        return std::nullopt;
    }
    std::optional<std::string> shortVersion = text("CFBundleShortVersionString");
    std::optional<std::string> bundleVersion = text("CFBundleVersion");
    std::string version;
    if (shortVersion) {
        version = *shortVersion;
        if (bundleVersion && *bundleVersion != *shortVersion) {
            version += " rv:" + *bundleVersion;
        }
    } else if (bundleVersion) {
        version = *bundleVersion;
    }
    auto device = DeviceProfile::current();
    return *name + " " + version + " (" + device->model() + "; " + device->systemName() + " " +
           device->systemVersion() + "; " + Locale::currentLocale().localeIdentifier() + ")";
}

std::vector<Cookie> ASIHTTPRequest::sessionCookies() {
    auto& list = sessionCookieList();
    std::lock_guard lock(list.mutex);
    return list.cookies;
}

void ASIHTTPRequest::addSessionCookie(const Cookie& cookie) {
    auto& list = sessionCookieList();
    std::lock_guard lock(list.mutex);
    for (auto& existing : list.cookies) {
        if (existing.sameIdentity(cookie)) {
            existing = cookie;
            return;
        }
    }
    list.cookies.push_back(cookie);
}

void ASIHTTPRequest::clearSession() {
    auto& list = sessionCookieList();
    std::lock_guard lock(list.mutex);
    list.cookies.clear();
}

} // namespace murmelo
