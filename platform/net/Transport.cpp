#include "platform/net/Transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/core/Log.h"
#include "platform/core/WeakPtr.h"
#include "platform/net/internal/CurlMulti.h"
#include "platform/runloop/Timer.h"

namespace murmelo {

namespace internal {

namespace {

bool isInvalidDomain(std::string_view host) {
    // RFC 6761 §6.4: never looked up, always "not found".
    if (!host.empty() && host.back() == '.') {
        host.remove_suffix(1);
    }
    return host == "invalid" || (host.size() > 8 && host.substr(host.size() - 8) == ".invalid");
}

struct CurlSlist {
    curl_slist* list = nullptr;
    CurlSlist() = default;
    CurlSlist(const CurlSlist&) = delete;
    CurlSlist& operator=(const CurlSlist&) = delete;
    ~CurlSlist() { curl_slist_free_all(list); }
    bool append(const char* line) {
        curl_slist* next = curl_slist_append(list, line);
        if (!next) {
            return false;
        }
        list = next;
        return true;
    }
};

Error errorForCurl(CURLcode code, const char* detail) {
    std::string description = curl_easy_strerror(code);
    std::string reason = detail && *detail ? std::string(detail) : description;
    Error error;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        error = transportError(TransportErrorCode::HostNotFound,
                               "A server with the specified hostname could not be found.");
        break;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        error = transportError(TransportErrorCode::CannotConnect, "Could not connect to the server.");
        break;
    case CURLE_OPERATION_TIMEDOUT:
        error = transportError(TransportErrorCode::TimedOut, "The connection could not be made in time.");
        break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
        error = transportError(TransportErrorCode::ConnectionLost, "The network connection was lost.");
        break;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP3:
        error = transportError(TransportErrorCode::BadServerResponse,
                               "The server sent a reply that is not valid HTTP.");
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        error = Error(kOSStatusErrorDomain, static_cast<long>(SecureTransportCode::CertificateInvalid),
                      "The certificate of the server is not trusted: " + reason);
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CLIENTCERT:
        error = Error(kOSStatusErrorDomain, static_cast<long>(SecureTransportCode::Protocol),
                      "A secure connection could not be made: " + reason);
        break;
    case CURLE_URL_MALFORMAT:
        error = transportError(TransportErrorCode::InvalidRequest, "The URL cannot be requested.");
        break;
    default:
        error = transportError(TransportErrorCode::Other, description);
        break;
    }
    Dictionary info;
    info.set("curlCode", Value(static_cast<long>(code)));
    error.withUserInfo(std::move(info)).withFailureReason(reason);
    return error;
}

} // namespace

class TransportCore final : public CurlMulti::Client {
public:
    TransportCore(TransportRequest request, Transport::Options options)
        : m_request(std::move(request)), m_options(std::move(options)) {}

    ~TransportCore() {
        // A callback that destroyed us must see it before teardown runs.
        m_weak.invalidate();
        teardown();
    }

    Result<void> open(const RunLoopModes& modes, Transport::Callback callback);
    void close() {
        m_closed = true;
        m_callback = nullptr;
        m_redeliver.invalidate();
        teardown();
    }

    std::size_t read(std::uint8_t* buffer, std::size_t maxLength);
    std::size_t readInto(Data& out, std::size_t maxLength);
    std::size_t bytesAvailable() const { return m_buffer.size() - m_readOffset; }

    void curlActivity() override;

    TransportRequest m_request;
    Transport::Options m_options;
    std::optional<TransportResponse> m_response;
    std::optional<Error> m_error;
    std::uint64_t m_bodyBytesSent = 0;
    std::uint64_t m_bodyBytesReceived = 0;
    bool m_connected = false;
    bool m_reused = false;

private:
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* userp);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* userp);
    static int onConnected(void* userp, char*, char*, int, int);
    enum class HostLookup { Needed, KnownInvalid };
    Result<void> configure();
    Result<std::optional<ProxyServer>> chooseProxy() const;
    bool setFixedOptions();
    bool setTransferOptions();
    bool setRouteOptions(const std::optional<ProxyServer>& proxy,
                         const std::optional<ConnectToMap::Target>& target, const std::string& host,
                         int port);
    bool setMethodAndBody();
    bool setHeaderOptions();
    Result<void> startTransfer(HostLookup lookup);
    template <class Value> bool setCurlOption(CURLoption option, Value value) {
        return curl_easy_setopt(m_easy, option, value) == CURLE_OK;
    }
    void collectMessages();
    void finishTransfer(std::optional<Error> failure);
    void teardown();
    void deliverPending();
    void scheduleDelivery();
    void afterRead();

    RunLoopModes m_modes{std::vector<std::string>{}}; // set by open()
    Transport::Callback m_callback;
    std::unique_ptr<CurlMulti> m_multi;
    CURL* m_easy = nullptr;
    CurlSlist m_connectTo;
    std::string m_curlURL;
    std::string m_proxyString;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};

    std::optional<TransportResponse> m_pendingHead; // being received
    bool m_headComplete = false;
    Data m_buffer;
    std::size_t m_readOffset = 0;
    bool m_paused = false;

    bool m_opened = false;
    bool m_closed = false;
    bool m_transferDone = false;
    std::optional<Error> m_failure; // to report once the buffer is drained
    bool m_openDelivered = false;
    bool m_headDelivered = false;
    bool m_endDelivered = false;
    bool m_delivering = false;
    bool m_readDuringCallback = false;
    Timer m_redeliver;
    // Last member: a callback may destroy this object; the delivering frame checks.
    WeakFactory<TransportCore> m_weak{this};
};

Result<void> TransportCore::open(const RunLoopModes& modes, Transport::Callback callback) {
    if (m_opened) {
        return transportError(TransportErrorCode::SetupFailed, "The transport was opened before");
    }
    m_opened = true;
    m_modes = modes;
    m_callback = std::move(callback);
    if (auto configured = configure(); !configured) {
        teardown();
        m_callback = nullptr;
        return configured.error();
    }
    return Result<void>::success();
}

// Sets up one exchange: the proxy and connect-to target, an easy handle
// from this thread's multi handle, its options, then the transfer itself.
Result<void> TransportCore::configure() {
    const URL& url = m_request.url;
    const std::string& host = *url.host();
    int port = url.effectivePort().value_or(80);

    auto proxy = chooseProxy();
    if (!proxy) {
        return proxy.error();
    }
    const ConnectToMap& connectTo = m_options.connectTo ? *m_options.connectTo : ConnectToMap::shared();
    auto target = connectTo.lookup(host, port);

    m_multi = CurlMulti::acquire();
    CurlMulti::Easy easy = m_multi ? m_multi->takeEasy() : CurlMulti::Easy{};
    m_easy = easy.handle;
    if (!m_easy || !m_multi) {
        return transportError(TransportErrorCode::SetupFailed, "Unable to create read stream");
    }

    bool ok = easy.origin == CurlMulti::EasyOrigin::Reused || setFixedOptions();
    ok = setTransferOptions() && ok;
    ok = setRouteOptions(*proxy, target, host, port) && ok;
    ok = setMethodAndBody() && ok;
    ok = setHeaderOptions() && ok;
    if (!ok) {
        return transportError(TransportErrorCode::SetupFailed, "Unable to setup read stream");
    }
    // A direct request to a reserved invalid name fails without a lookup.
    bool knownInvalid = !target && !*proxy && isInvalidDomain(host);
    return startTransfer(knownInvalid ? HostLookup::KnownInvalid : HostLookup::Needed);
}

// The message's own proxy, else the device's settings for this URL; nothing
// for a direct connection.
Result<std::optional<ProxyServer>> TransportCore::chooseProxy() const {
    if (m_request.proxy) {
        return std::optional<ProxyServer>(m_request.proxy);
    }
    ProxySettings settings =
        m_options.proxySettings ? *m_options.proxySettings : ProxySettings::fromProcessEnvironment();
    auto chosen = settings.proxyForURL(m_request.url);
    if (!chosen) {
        Error error = transportError(TransportErrorCode::ProxyUnusable,
                                     "Unable to obtain information on proxy servers needed for request");
        error.withUnderlyingError(chosen.error());
        return error;
    }
    return std::optional<ProxyServer>(*chosen);
}

// What every transfer asks for alike; a handle given back keeps them.
bool TransportCore::setFixedOptions() {
    bool ok = true;
    auto set = [&](CURLoption option, auto value) { ok = setCurlOption(option, value) && ok; };
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_PATH_AS_IS, 1L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
    set(CURLOPT_HTTP_TRANSFER_DECODING, 1L);
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_HEADERFUNCTION, &TransportCore::onHeader);
    set(CURLOPT_WRITEFUNCTION, &TransportCore::onBody);
    set(CURLOPT_PREREQFUNCTION, &TransportCore::onConnected);
    set(CURLOPT_BUFFERSIZE, 65536L);
    return ok;
}

// The URL, the protocol version and TLS checks, and where our callbacks
// find us. Each is set on every transfer, also to its default, since a
// reused handle still has the last transfer's.
bool TransportCore::setTransferOptions() {
    const URL& url = m_request.url;
    const std::string_view scheme = url.hasScheme("https") ? "https" : "http";
    // The request target is passed as the URL says it; user info and
    // fragment never reach the wire.
    const std::string target = url.requestTarget();
    m_curlURL.reserve(scheme.size() + 3 + url.host()->size() + 6 + target.size());
    m_curlURL.assign(scheme).append("://").append(*url.host());
    if (url.port()) {
        m_curlURL += ':';
        m_curlURL += std::to_string(*url.port());
    }
    m_curlURL += target;

    bool ok = true;
    auto set = [&](CURLoption option, auto value) { ok = setCurlOption(option, value) && ok; };
    set(CURLOPT_URL, m_curlURL.c_str());
    set(CURLOPT_ERRORBUFFER, m_errorBuffer);
    set(CURLOPT_PRIVATE, this);
    set(CURLOPT_HTTP_VERSION,
        m_request.version == HTTPVersion::V1_0 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    set(CURLOPT_SSL_VERIFYPEER, m_request.certificateCheck == CertificateCheck::Verify ? 1L : 0L);
    set(CURLOPT_SSL_VERIFYHOST, m_request.certificateCheck == CertificateCheck::Verify ? 2L : 0L);
    set(CURLOPT_HEADERDATA, this);
    set(CURLOPT_WRITEDATA, this);
    set(CURLOPT_PREREQDATA, this);
    // 0 is libcurl's own default.
    set(CURLOPT_CONNECTTIMEOUT_MS,
        m_options.connectTimeout > 0 ? static_cast<long>(m_options.connectTimeout * 1000.0) : 0L);
    return ok;
}

// Where the connection goes: through the proxy, and to the connect-to
// map's address instead of the host's.
bool TransportCore::setRouteOptions(const std::optional<ProxyServer>& proxy,
                                    const std::optional<ConnectToMap::Target>& target,
                                    const std::string& host, int port) {
    bool ok = true;
    auto set = [&](CURLoption option, auto value) { ok = setCurlOption(option, value) && ok; };
    if (proxy) {
        m_proxyString = proxy->curlProxyString();
        set(CURLOPT_PROXY, m_proxyString.c_str());
    } else {
        set(CURLOPT_PROXY, ""); // and no proxy from libcurl's own reading of the environment
    }
    set(CURLOPT_PROXYUSERNAME, proxy && proxy->user ? proxy->user->c_str() : nullptr);
    set(CURLOPT_PROXYPASSWORD, proxy && proxy->password ? proxy->password->c_str() : nullptr);
    if (target) {
        std::string rule =
            (host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host) + ":" +
            std::to_string(port) + ":" + target->address + ":" + std::to_string(target->port);
        ok = ok && m_connectTo.append(rule.c_str());
    }
    set(CURLOPT_CONNECT_TO, m_connectTo.list);
    return ok;
}

bool TransportCore::setMethodAndBody() {
    bool ok = true;
    auto set = [&](CURLoption option, auto value) { ok = setCurlOption(option, value) && ok; };
    const std::string& method = m_request.method;
    std::size_t bodyLength = m_request.bodyLength();
    // Each method is set from scratch: a reused handle still has the last
    // transfer's. Setting the body switches libcurl to POST, so the method
    // comes after it.
    set(CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
    set(CURLOPT_NOBODY, 0L);
    if (bodyLength > 0) {
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
        set(CURLOPT_POSTFIELDS, reinterpret_cast<const char*>(m_request.body->data()));
        set(CURLOPT_POST, 1L);
        if (method != "POST") {
            set(CURLOPT_CUSTOMREQUEST, method.c_str());
        }
        return ok;
    }
    set(CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
    set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t{-1});
    set(CURLOPT_HTTPGET, 1L);
    if (method == "HEAD") {
        set(CURLOPT_NOBODY, 1L);
    } else if (method != "GET") {
        set(CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    return ok;
}

// The caller's header lines as given; libcurl's own defaults removed. The
// list of the last transfer is reused when its fields are the same.
bool TransportCore::setHeaderOptions() {
    curl_slist* list = m_multi->headerListFor(m_request.headers);
    if (!list) {
        CurlSlist built;
        bool ok = true;
        std::string line; // one buffer for every line: libcurl keeps its own copy
        for (const auto& [name, value] : m_request.headers) {
            line.assign(name);
            line += value.empty() ? ";" : ": ";
            line += value;
            ok = ok && built.append(line.c_str());
        }
        for (std::string_view suppressed : {"Accept:", "Expect:", "Content-Type:"}) {
            if (!m_request.headerValue(suppressed.substr(0, suppressed.size() - 1))) {
                ok = ok && built.append(suppressed.data());
            }
        }
        if (!ok) {
            return false;
        }
        list = m_multi->keepHeaderList(m_request.headers, std::exchange(built.list, nullptr));
    }
    return setCurlOption(CURLOPT_HTTPHEADER, list);
}

Result<void> TransportCore::startTransfer(HostLookup lookup) {
    m_multi->attach(this, m_modes);
    if (lookup == HostLookup::KnownInvalid) {
        // Reported from the loop like any other failure, never from open().
        finishTransfer(transportError(TransportErrorCode::HostNotFound,
                                      "A server with the specified hostname could not be found."));
        scheduleDelivery();
        return Result<void>::success();
    }
    if (curl_multi_add_handle(m_multi->handle(), m_easy) != CURLM_OK) {
        return transportError(TransportErrorCode::SetupFailed, "Unable to start HTTP connection");
    }
    return Result<void>::success();
}

std::size_t TransportCore::onHeader(char* data, std::size_t size, std::size_t count, void* userp) {
    auto* self = static_cast<TransportCore*>(userp);
    std::size_t length = size * count;
    std::string_view line(data, length);
    if (self->m_headComplete) {
        return length; // trailer fields of a chunked body
    }
    if (line.starts_with("HTTP/")) {
        self->m_pendingHead = TransportResponse::fromStatusLine(line);
        if (!self->m_pendingHead) {
            return 0; // libcurl then fails the transfer
        }
        return length;
    }
    if (!self->m_pendingHead) {
        return length;
    }
    if (line == "\r\n" || line == "\n") {
        if (self->m_pendingHead->statusCode >= 200) {
            self->m_headComplete = true;
        } else {
            self->m_pendingHead.reset(); // an interim 1xx reply
        }
        return length;
    }
    self->m_pendingHead->addHeaderLine(line);
    return length;
}

std::size_t TransportCore::onBody(char* data, std::size_t size, std::size_t count, void* userp) {
    auto* self = static_cast<TransportCore*>(userp);
    std::size_t length = size * count;
    if (length == 0) {
        return 0;
    }
    if (self->bytesAvailable() >= Transport::kMaxBufferedBytes) {
        self->m_paused = true;
        return CURL_WRITEFUNC_PAUSE; // libcurl hands the same bytes again after unpausing
    }
    if (self->m_readOffset > 0 && self->m_readOffset >= self->m_buffer.size() / 2) {
        self->m_buffer.erase(self->m_buffer.begin(),
                             self->m_buffer.begin() + static_cast<std::ptrdiff_t>(self->m_readOffset));
        self->m_readOffset = 0;
    }
    self->m_buffer.insert(self->m_buffer.end(), reinterpret_cast<const std::uint8_t*>(data),
                          reinterpret_cast<const std::uint8_t*>(data) + length);
    self->m_bodyBytesReceived += length;
    return length;
}

int TransportCore::onConnected(void* userp, char*, char*, int, int) {
    auto* self = static_cast<TransportCore*>(userp);
    self->m_connected = true;
    return CURL_PREREQFUNC_OK;
}

void TransportCore::curlActivity() {
    auto self = m_weak.weakPtr();
    collectMessages();
    if (!self || m_closed) {
        return;
    }
    deliverPending();
}

void TransportCore::collectMessages() {
    if (!m_easy) {
        return;
    }
    curl_off_t uploaded = 0;
    if (curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &uploaded) == CURLE_OK && uploaded > 0) {
        m_bodyBytesSent = static_cast<std::uint64_t>(uploaded);
    }
    if (!m_multi) {
        return;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi->handle(), &left)) {
        if (message->msg != CURLMSG_DONE || message->easy_handle != m_easy) {
            continue;
        }
        CURLcode result = message->data.result;
        long reused = 0;
        if (curl_easy_getinfo(m_easy, CURLINFO_NUM_CONNECTS, &reused) == CURLE_OK) {
            m_reused = reused == 0;
        }
        if (result == CURLE_OK && !m_headComplete) {
            result = CURLE_WEIRD_SERVER_REPLY;
        }
        finishTransfer(result == CURLE_OK ? std::nullopt
                                          : std::optional<Error>(errorForCurl(result, m_errorBuffer)));
        // Done: hand the multi handle, and the connection it keeps, back at
        // once so the next exchange of this thread can reuse it.
        teardown();
        break;
    }
}

void TransportCore::finishTransfer(std::optional<Error> failure) {
    m_transferDone = true;
    m_failure = std::move(failure);
}

void TransportCore::teardown() {
    if (m_easy && m_multi) {
        curl_multi_remove_handle(m_multi->handle(), m_easy);
        // Nothing of ours may stay reachable from the spare handle.
        curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
        curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
        curl_easy_setopt(m_easy, CURLOPT_CONNECT_TO, static_cast<curl_slist*>(nullptr));
        bool completed = m_transferDone && !m_failure;
        m_multi->giveBackEasy(m_easy, completed ? CurlMulti::EasyReuse::AsIs : CurlMulti::EasyReuse::Reset);
        m_easy = nullptr;
    }
    if (m_multi) {
        CurlMulti::release(std::move(m_multi));
    }
    if (m_easy) {
        curl_easy_cleanup(m_easy);
        m_easy = nullptr;
    }
}

void TransportCore::scheduleDelivery() {
    if (m_closed || m_redeliver.isValid()) {
        return;
    }
    m_redeliver = Timer(
        0, Timer::Repeats::No, [this] { deliverPending(); }, m_modes);
}

void TransportCore::deliverPending() {
    if (m_delivering || m_closed || !m_callback) {
        return;
    }
    m_delivering = true;
    auto self = m_weak.weakPtr();
    auto emit = [&](Transport::Event event) {
        m_callback(event);
        return self && !m_closed;
    };
    if (m_connected && !m_openDelivered) {
        m_openDelivered = true;
        if (!emit(Transport::Event::OpenCompleted)) {
            return;
        }
    }
    if (m_headComplete && !m_headDelivered) {
        m_headDelivered = true;
        m_response = std::move(m_pendingHead); // the head is complete: nothing adds to it now
        if (!emit(Transport::Event::HeaderReceived)) {
            return;
        }
    }
    if (m_headDelivered && bytesAvailable() > 0) {
        m_readDuringCallback = false;
        if (!emit(Transport::Event::BytesAvailable)) {
            return;
        }
        if (bytesAvailable() > 0) {
            m_delivering = false;
            // Offer the rest on a later pass, but only to a reader that reads.
            if (m_readDuringCallback) {
                scheduleDelivery();
            }
            return;
        }
    }
    if (m_transferDone && bytesAvailable() == 0 && !m_endDelivered) {
        m_endDelivered = true;
        if (m_failure) {
            m_error = m_failure;
            if (!emit(Transport::Event::Failed)) {
                return;
            }
        } else if (!emit(Transport::Event::Completed)) {
            return;
        }
    }
    m_delivering = false;
}

std::size_t TransportCore::read(std::uint8_t* buffer, std::size_t maxLength) {
    std::size_t count = std::min(maxLength, bytesAvailable());
    if (count > 0) {
        std::memcpy(buffer, m_buffer.data() + m_readOffset, count);
        m_readOffset += count;
    }
    afterRead();
    return count;
}

std::size_t TransportCore::readInto(Data& out, std::size_t maxLength) {
    std::size_t count = std::min(maxLength, bytesAvailable());
    if (count > 0 && out.empty() && m_readOffset == 0 && count == m_buffer.size()) {
        out.swap(m_buffer); // all of it into an empty buffer: no copy
        m_readOffset = m_buffer.size();
    } else if (count > 0) {
        auto begin = m_buffer.begin() + static_cast<std::ptrdiff_t>(m_readOffset);
        out.insert(out.end(), begin, begin + static_cast<std::ptrdiff_t>(count));
        m_readOffset += count;
    }
    afterRead();
    return count;
}

void TransportCore::afterRead() {
    m_readDuringCallback = true;
    if (m_readOffset == m_buffer.size()) {
        m_buffer.clear();
        m_readOffset = 0;
    }
    if (m_paused && m_easy && bytesAvailable() < Transport::kMaxBufferedBytes / 2) {
        m_paused = false;
        curl_easy_pause(m_easy, CURLPAUSE_CONT); // may hand over the held bytes at once
    }
    if (!m_delivering && (bytesAvailable() > 0 || m_transferDone)) {
        scheduleDelivery();
    }
}

} // namespace internal

// ---- Transport

Result<std::unique_ptr<Transport>> Transport::create(TransportRequest request) {
    return create(std::move(request), Options());
}

Result<std::unique_ptr<Transport>> Transport::create(TransportRequest request, Options options) {
    MURMELO_TRY_VOID(request.validate());
    return std::unique_ptr<Transport>(
        new Transport(std::make_unique<internal::TransportCore>(std::move(request), std::move(options))));
}

Transport::Transport(std::unique_ptr<internal::TransportCore> core) : m_core(std::move(core)) {}

Transport::~Transport() = default;

Result<void> Transport::open(const RunLoopModes& modes, Callback callback) {
    return m_core->open(modes, std::move(callback));
}

void Transport::close() {
    m_core->close();
}

const TransportRequest& Transport::request() const {
    return m_core->m_request;
}

const std::optional<TransportResponse>& Transport::response() const {
    return m_core->m_response;
}

const std::optional<Error>& Transport::error() const {
    return m_core->m_error;
}

std::size_t Transport::bytesAvailable() const {
    return m_core->bytesAvailable();
}

std::size_t Transport::read(std::uint8_t* buffer, std::size_t maxLength) {
    return m_core->read(buffer, maxLength);
}

std::size_t Transport::readInto(Data& out, std::size_t maxLength) {
    return m_core->readInto(out, maxLength);
}

std::uint64_t Transport::bodyBytesSent() const {
    return m_core->m_bodyBytesSent;
}

std::uint64_t Transport::bodyBytesReceived() const {
    return m_core->m_bodyBytesReceived;
}

bool Transport::isConnected() const {
    return m_core->m_connected;
}

bool Transport::reusedConnection() const {
    return m_core->m_reused;
}

const char* toString(Transport::Event event) {
    switch (event) {
    case Transport::Event::OpenCompleted:
        return "open completed";
    case Transport::Event::HeaderReceived:
        return "header received";
    case Transport::Event::BytesAvailable:
        return "bytes available";
    case Transport::Event::Completed:
        return "completed";
    case Transport::Event::Failed:
        return "failed";
    }
    return "?";
}

} // namespace murmelo
