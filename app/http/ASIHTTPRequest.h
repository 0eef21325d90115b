// ASIHTTPRequest: the application's one-shot HTTP request. A caller makes
// one for a URL, adds headers, runs it to completion on its own thread with
// start(), then reads error(), responseStatusCode(), responseData() or
// responseString(). A request is successful when it has no error and a
// status of at most 399.
//
//   auto request = ASIHTTPRequest::requestWithURL(URL::strictParse("http://a.test/status.php"));
//   request->addRequestHeader("User-Agent", userAgent);
//   request->start();
//   if (!request->error() && request->responseStatusCode() <= 399) use(request->responseString());
//
// Running: start() blocks the calling thread. The exchange goes over a
// device Transport scheduled on the calling thread's run loop in the private
// mode "ASIHTTPRequest". The transfer loop runs that mode pass by pass: a
// pass ends at a transport event, a cancel, or the next moment a time-out
// can be due, and then checks the inactivity time-out (timeOutSeconds since
// the last bytes moved), the overall deadline (overallTimeOutSeconds() since
// start(), so a server dripping bytes cannot hold the thread), a pending
// redirect and cancellation. A waiting request does not wake otherwise. The body is collected in memory up to
// maxResponseDataSize(); a reply announcing or sending more ends the request
// at once with code 11. Redirects (301,
// 302, 303, 305–307 with a Location) are followed up to 5 times; the sixth
// fails with code 9. Cookies come from and go to CookieStore::shared().
//
// Left out, as this application never uses them: asynchronous starts and
// queues, delegates and progress, authentication (a 401 or 407 ends the
// request without a body and with error 3), downloads to files, request-body
// compression and bandwidth throttling.
//
// Threading: configure, start and read on one thread; cancel() may be called
// from any thread while start() runs (it wakes the transfer loop, which
// ends the request at once). Owned through shared_ptr (requestWithURL); the process-wide
// session cookie list and the five shared errors are class state behind
// their own locks.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/http/StringEncoding.h"
#include "platform/core/Error.h"
#include "platform/core/Value.h"
#include "platform/net/Cookie.h"
#include "platform/net/Transport.h"
#include "platform/net/URL.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

inline constexpr const char* NetworkRequestErrorDomain = "ASIHTTPRequestErrorDomain";

enum class ASINetworkErrorType : long {
    ConnectionFailureErrorType = 1,
    RequestTimedOutErrorType = 2,
    AuthenticationErrorType = 3,
    RequestCancelledErrorType = 4,
    UnableToCreateRequestErrorType = 5,
    InternalErrorWhileBuildingRequestType = 6,
    InternalErrorWhileApplyingCredentialsType = 7,
    FileManagementError = 8,
    TooMuchRedirectionErrorType = 9,
    UnhandledExceptionError = 10,
    ResponseTooLargeErrorType = 11,
};

class ASIHTTPRequest : public std::enable_shared_from_this<ASIHTTPRequest> {
public:
    // The private run-loop mode of the transfer loop.
    static constexpr const char* kRunLoopMode = "ASIHTTPRequest";
    static constexpr int kMaxRedirects = 5;
    // responseData() gives nothing rather than inflate past this size; a
    // reply the app reads is a page or a short document, so a body that
    // would grow beyond it is taken as a decompression bomb.
    static constexpr std::size_t kMaxInflatedBytes = 128u * 1024 * 1024;
    // The overall deadline, when not set, is this many inactivity time-outs.
    static constexpr double kDeadlineFactor = 3.0;

    // A request for `url` (nothing: start() fails with code 5).
    static std::shared_ptr<ASIHTTPRequest> requestWithURL(std::optional<URL> url);
    explicit ASIHTTPRequest(std::optional<URL> url);
    virtual ~ASIHTTPRequest();
    ASIHTTPRequest(const ASIHTTPRequest&) = delete;
    ASIHTTPRequest& operator=(const ASIHTTPRequest&) = delete;

    // ---- configuration
    const std::optional<URL>& url() const { return m_url; }
    void setURL(std::optional<URL> url) { m_url = std::move(url); }
    const std::string& requestMethod() const { return m_requestMethod; }
    void setRequestMethod(std::string method) { m_requestMethod = std::move(method); }
    // Sets one header line; the same name (same letters and case) replaces it.
    void addRequestHeader(const std::string& header, const std::string& value);
    // The header lines to send, in the order first set; nothing before the first.
    const std::optional<HeaderFields>& requestHeaders() const { return m_requestHeaders; }
    void setRequestHeaders(std::optional<HeaderFields> headers) { m_requestHeaders = std::move(headers); }
    const std::optional<Data>& postBody() const { return m_postBody; }
    void setPostBody(std::optional<Data> body) { m_postBody = std::move(body); }
    void appendPostData(const Data& data);
    std::uint64_t postLength() const { return m_postLength; }

    // The inactivity limit (0 or less: none); new requests start with
    // defaultTimeOutSeconds().
    double timeOutSeconds() const { return m_timeOutSeconds; }
    void setTimeOutSeconds(double seconds) { m_timeOutSeconds = seconds; }
    // How long start() may take in all, redirects included; the request then
    // fails with code 2. Unless set to a positive value: kDeadlineFactor
    // times timeOutSeconds() (or times the default when that is off).
    double overallTimeOutSeconds() const;
    void setOverallTimeOutSeconds(double seconds) { m_overallTimeOutSeconds = seconds; }
    // The most reply body bytes collected in memory (URLConnection's default
    // of 32 MiB unless set).
    std::size_t maxResponseDataSize() const { return m_maxResponseDataSize; }
    void setMaxResponseDataSize(std::size_t bytes) { m_maxResponseDataSize = bytes; }
    bool shouldRedirect() const { return m_shouldRedirect; }
    void setShouldRedirect(bool value) { m_shouldRedirect = value; }
    int redirectCount() const { return m_redirectCount; }
    bool allowCompressedResponse() const { return m_allowCompressedResponse; }
    void setAllowCompressedResponse(bool value) { m_allowCompressedResponse = value; }
    bool shouldCompressRequestBody() const { return m_shouldCompressRequestBody; }
    bool useCookiePersistance() const { return m_useCookiePersistance; }
    void setUseCookiePersistance(bool value) { m_useCookiePersistance = value; }
    bool useSessionPersistance() const { return m_useSessionPersistance; }
    bool validatesSecureCertificate() const { return m_validatesSecureCertificate; }
    void setValidatesSecureCertificate(bool value) { m_validatesSecureCertificate = value; }
    bool useHTTPVersionOne() const { return m_useHTTPVersionOne; }
    void setUseHTTPVersionOne(bool value) { m_useHTTPVersionOne = value; }
    bool shouldPresentCredentialsBeforeChallenge() const { return m_shouldPresentCredentialsBeforeChallenge; }
    bool shouldPresentProxyAuthenticationDialog() const { return m_shouldPresentProxyAuthenticationDialog; }
    bool showAccurateProgress() const { return m_showAccurateProgress; }
    bool shouldResetProgressIndicators() const { return m_shouldResetProgressIndicators; }
    StringEncoding defaultResponseEncoding() const { return m_defaultResponseEncoding; }
    void setDefaultResponseEncoding(StringEncoding encoding) { m_defaultResponseEncoding = encoding; }
    // An explicit proxy; when unset the device's proxy settings for the URL decide.
    const std::optional<std::string>& proxyHost() const { return m_proxyHost; }
    int proxyPort() const { return m_proxyPort; }
    void setProxy(std::optional<std::string> host, int port);

    // ---- running
    // Runs the whole exchange on the calling thread; returns when complete.
    void start();
    // From any thread: ends a running request with code 4.
    void cancel();
    bool isCancelled() const;
    bool complete() const;

    // ---- result
    // Nothing on success, else the first failure.
    std::optional<Error> error() const;
    int responseStatusCode() const { return m_responseStatusCode; }
    const std::optional<std::string>& responseStatusMessage() const { return m_responseStatusMessage; }
    const std::optional<HeaderFields>& responseHeaders() const { return m_responseHeaders; }
    const std::optional<std::vector<Cookie>>& responseCookies() const { return m_responseCookies; }
    const std::vector<Cookie>& requestCookies() const { return m_requestCookies; }
    std::optional<StringEncoding> responseEncoding() const { return m_responseEncoding; }
    // The body as received (still compressed when the server compressed it).
    const std::optional<Data>& rawResponseData() const { return m_rawResponseData; }
    // The body; inflated when Content-Encoding names gzip (nothing if that fails).
    std::optional<Data> responseData() const;
    // responseData() decoded with responseEncoding(); nothing if there is no
    // body data or it does not decode.
    std::optional<std::string> responseString() const;
    std::uint64_t contentLength() const { return m_contentLength; }
    std::uint64_t totalBytesSent() const { return m_totalBytesSent; }
    std::uint64_t lastBytesSent() const { return m_lastBytesSent; }
    std::uint64_t totalBytesRead() const { return m_totalBytesRead; }
    std::uint64_t lastBytesRead() const { return m_lastBytesRead; }
    std::uint64_t uploadBufferSize() const { return m_uploadBufferSize; }
    // Monotonic seconds (Clock::monotonic) of the last transfer activity.
    const std::optional<double>& lastActivityTime() const { return m_lastActivityTime; }
    bool haveBuiltPostBody() const { return m_haveBuiltPostBody; }
    bool haveBuiltRequestHeaders() const { return m_haveBuiltRequestHeaders; }

    // ---- building (run by start(), once each; callable before it)
    virtual void buildPostBody();
    void buildRequestHeaders();

    // ---- class operations
    // "Name Version (Model; System Version; locale)" from the main bundle's
    // Info.plist and the device; nothing without a display name or name.
    static std::optional<std::string> defaultUserAgentString();
    // zlib inflate with window bits 47 (gzip or zlib header, detected);
    // nothing when it fails or would exceed kMaxInflatedBytes. An empty
    // input is returned as it is.
    static std::optional<Data> uncompressZippedData(const Data& compressed);
    // The time-out new requests start with (5 s); thread-safe.
    static double defaultTimeOutSeconds();
    static void setDefaultTimeOutSeconds(double seconds);
    // The cookies every request received, one per (domain, path, name).
    static std::vector<Cookie> sessionCookies();
    static void addSessionCookie(const Cookie& cookie);
    static void clearSession();

    // The shared error values (codes 2, 3, 4, 5, 9), made once.
    static const Error& requestTimedOutError();
    static const Error& authenticationError();
    static const Error& requestCancelledError();
    static const Error& unableToCreateRequestError();
    static const Error& tooMuchRedirectionError();
    // Code 11, with NetErrorCode::ReplyTooLarge (naming `limit`) underneath.
    static Error responseTooLargeError(std::size_t limit);

protected:
    // Records the first failure and completes the request.
    void failWithError(const Error& error);
    void setPostLength(std::uint64_t length) { m_postLength = length; }
    void setHaveBuiltPostBody(bool value) { m_haveBuiltPostBody = value; }

private:
    enum class RunOutcome { Finished, Redirect };

    RunOutcome runOnce();
    void startRequest();
    RunOutcome loadRequest();
    void handleNetworkEvent(Transport::Event event);
    void handleBytesAvailable();
    void handleStreamComplete();
    void handleStreamError();
    // Reads the reply head once; false when the request must not go on (a
    // challenge or a pending redirect).
    bool readResponseHeadersIfNeeded();
    bool readResponseHeadersReturningAuthenticationFailure();
    void tearDownConnection();
    bool timedOut(double now) const;
    // Whether the inactivity limit applies yet (see timedOut).
    bool inactivityCounts() const;
    // When the transfer loop must look at the time-outs next.
    double nextTimeOutCheck(double now) const;
    // Past the overall deadline (once start() has begun).
    bool pastDeadline(double now) const;
    // Ends the request when the reply is or would become too large.
    bool failIfTooLarge(std::uint64_t bytes);
    void removeStoreCookieHeader();

    std::optional<URL> m_url;
    std::string m_requestMethod = "GET";
    std::optional<HeaderFields> m_requestHeaders;
    std::optional<Data> m_postBody;
    std::uint64_t m_postLength = 0;
    double m_timeOutSeconds;
    double m_overallTimeOutSeconds = 0;
    std::size_t m_maxResponseDataSize = URLConnection::kDefaultMaxBodyBytes;
    std::optional<double> m_startTime; // monotonic seconds when start() began
    bool m_shouldRedirect = true;
    int m_redirectCount = 0;
    bool m_allowCompressedResponse = true;
    bool m_shouldCompressRequestBody = false;
    bool m_useCookiePersistance = true;
    bool m_useSessionPersistance = true;
    bool m_validatesSecureCertificate = true;
    bool m_useHTTPVersionOne = false;
    bool m_shouldPresentCredentialsBeforeChallenge = true;
    bool m_shouldPresentProxyAuthenticationDialog = true;
    bool m_showAccurateProgress = true;
    bool m_shouldResetProgressIndicators = true;
    StringEncoding m_defaultResponseEncoding = StringEncoding::ISOLatin1;
    std::optional<StringEncoding> m_responseEncoding;
    std::vector<Cookie> m_requestCookies;
    std::optional<HeaderFields> m_responseHeaders;
    std::optional<std::vector<Cookie>> m_responseCookies;
    int m_responseStatusCode = 0;
    std::optional<std::string> m_responseStatusMessage;
    std::optional<Data> m_rawResponseData;
    std::uint64_t m_contentLength = 0;
    std::uint64_t m_totalBytesSent = 0;
    std::uint64_t m_lastBytesSent = 0;
    std::uint64_t m_totalBytesRead = 0;
    std::uint64_t m_lastBytesRead = 0;
    std::uint64_t m_uploadBufferSize = 0;
    std::optional<double> m_lastActivityTime;
    bool m_complete = false;
    bool m_needsRedirect = false;
    bool m_haveBuiltPostBody = false;
    bool m_haveBuiltRequestHeaders = false;
    bool m_cancelled = false;
    std::optional<Error> m_error;
    std::optional<std::string> m_proxyHost;
    int m_proxyPort = 0;

    // The "Cookie" value buildRequestHeaders took from the store, so a
    // rebuild after a redirect replaces it rather than carrying it along.
    std::optional<std::string> m_storeCookieHeader;
    std::shared_ptr<const Data> m_sentBody; // the body the transport sends
    std::unique_ptr<Transport> m_transport;
    bool m_responseHeadRead = false;

    mutable std::recursive_mutex m_cancelledLock;
    RunLoopHandle m_loop; // of the thread in start(); guarded by m_cancelledLock
};

} // namespace murmelo
