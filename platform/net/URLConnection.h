// URLConnection: an asynchronous URL load over the device's HTTP transport,
// reporting to a delegate on the run loop of the thread that started it —
// the platform's URL connection — and sendSynchronousRequest() on top.
//
//   auto connection = URLConnection::connectionWithRequest(request, delegate);
//   // ... the thread's run loop runs; the delegate hears, in order:
//   //   willSendRequest (the first request, then each redirect, which it may
//   //   change or refuse), didReceiveAuthenticationChallenge (answered through
//   //   useCredential / continueWithoutCredential… / cancelAuthenticationChallenge),
//   //   didReceiveResponse, didReceiveData…, then connectionDidFinishLoading
//   //   or didFailWithError — nothing after that, and nothing after cancel().
//
// The load: redirects are followed (301/302 turn a POST into a GET, 303 any
// method but HEAD; 307/308 keep method and body; at most 16, then
// HTTPTooManyRedirects); a refused redirect delivers the redirect reply
// itself. Cookies come from and go to CookieStore::shared() unless the
// request says not to. "Accept-Encoding: gzip, deflate" is asked for and the
// body decoded before it reaches the delegate. The request's time-out is an
// inactivity limit: the load fails with TimedOut when nothing moves for that
// long (not counted while the delegate holds a challenge). Credentials are
// not sent to another host after a redirect. When the device's network state
// is known to be "none", loads of anything but loopback fail at once with
// NotConnectedToInternet. Errors: URLConnectionError.h.
//
// Threading: made, started, cancelled and answered on one thread, whose run
// loop runs the load in the scheduled modes (the default mode unless
// scheduleInRunLoop() said otherwise before start()). Callbacks never run
// inside start() or cancel(). Ownership: the connection keeps itself and its
// delegate alive until the load ends or is cancelled; the caller's reference
// is optional.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Result.h"
#include "platform/net/Transport.h"
#include "platform/net/URLConnectionAuthentication.h"
#include "platform/net/URLConnectionError.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "platform/runloop/Timer.h"

namespace murmelo {

namespace internal {
class URLConnectionDecoder;
}

class URLConnection;

// Every operation is optional; the defaults do what the platform does for a
// delegate that does not answer it.
class URLConnectionDelegate {
public:
    virtual ~URLConnectionDelegate() = default;
    // The request about to go out: the first one (no redirect reply) and each
    // redirect. Return it, a changed one, or nothing to refuse a redirect
    // (the first request: to end the load without a word).
    virtual std::optional<URLRequest> willSendRequest(URLConnection& connection, const URLRequest& request,
                                                      const URLResponse* redirectResponse);
    // Default: continue without a credential (the 401/407 reply is delivered).
    virtual void didReceiveAuthenticationChallenge(URLConnection& connection,
                                                   const URLAuthenticationChallenge& challenge);
    virtual void didReceiveResponse(URLConnection& connection, const URLResponse& response);
    virtual void didReceiveData(URLConnection& connection, const Data& data);
    virtual void connectionDidFinishLoading(URLConnection& connection);
    virtual void didFailWithError(URLConnection& connection, const Error& error);
};

class URLConnection : public std::enable_shared_from_this<URLConnection> {
public:
    enum class StartImmediately { No, Yes };
    // The private mode sendSynchronousRequest() runs its load in.
    static constexpr std::string_view kSynchronousMode = "murmelo.URLConnectionSynchronous";
    static constexpr int kMaxRedirects = 16;
    // Sent when the request sets no User-Agent.
    static const char* defaultUserAgent();

    static std::shared_ptr<URLConnection>
    connectionWithRequest(URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate);
    static std::shared_ptr<URLConnection> create(URLRequest request,
                                                 std::shared_ptr<URLConnectionDelegate> delegate,
                                                 StartImmediately startImmediately);
    ~URLConnection();
    URLConnection(const URLConnection&) = delete;
    URLConnection& operator=(const URLConnection&) = delete;

    // Before start(): adds or removes a mode of the calling thread's loop.
    void scheduleInRunLoop(std::string_view mode);
    void unscheduleFromRunLoop(std::string_view mode);
    // Starts the load on the calling thread's loop (once; later calls do nothing).
    void start();
    // Ends the load; the delegate hears nothing more.
    void cancel();

    const URLRequest& originalRequest() const { return m_originalRequest; }
    const URLRequest& currentRequest() const { return m_currentRequest; }

    // Answers to a challenge this connection gave (others are ignored).
    void useCredential(const URLCredential& credential, const URLAuthenticationChallenge& challenge);
    void continueWithoutCredentialForAuthenticationChallenge(const URLAuthenticationChallenge& challenge);
    void cancelAuthenticationChallenge(const URLAuthenticationChallenge& challenge);

    // Bounds of a synchronous load.
    struct SynchronousLimits {
        // Overall limit in seconds from the call; unset or not positive:
        // kSynchronousDeadlineFactor times the request's time-out interval.
        std::optional<double> deadline;
        // The body is collected in memory up to this many bytes.
        std::size_t maxBodyBytes = kDefaultMaxBodyBytes;
    };
    // What the device holds of one reply body in memory at most (synchronous
    // loads, web pages): a page or a short document, never a download.
    static constexpr std::size_t kDefaultMaxBodyBytes = 32 * 1024 * 1024;
    // A drip of bytes never trips the inactivity time-out; a synchronous
    // load also ends this many time-out intervals after it began.
    static constexpr double kSynchronousDeadlineFactor = 3.0;

    // Loads on the calling thread (its loop runs the private mode meanwhile)
    // and returns the body, or the error; the response when one came. Fails
    // with TimedOut when nothing moves for the request's time-out interval or
    // when the overall deadline passes, and with DataLengthExceedsMaximum as
    // soon as the body (announced or received) passes maxBodyBytes; either
    // way the transfer is aborted at once.
    static Result<Data> sendSynchronousRequest(const URLRequest& request,
                                               std::optional<URLResponse>* returningResponse);
    static Result<Data> sendSynchronousRequest(const URLRequest& request,
                                               std::optional<URLResponse>* returningResponse,
                                               const SynchronousLimits& limits);

    // Connections started and not yet finished, failed or cancelled, over the
    // whole process (any thread); for the driver's "settle".
    static std::size_t connectionsInFlight();

private:
    enum class State { Idle, Loading, AwaitingChallenge, Done };

    URLConnection(URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate);
    void begin();
    void send(const URLRequest& request);
    void onTransportEvent(unsigned long generation, Transport::Event event);
    void onHeader();
    bool followRedirect(const URLResponse& reply);
    bool challenge(const URLResponse& reply);
    void deliverResponse(const URLResponse& reply);
    void drainBody();
    void finishLoad();
    void fail(const Error& error);
    void end();
    void armTimer();
    void onTimeout();
    Error errorFromTransport(const Error& transportError) const;
    bool answersPendingChallenge(const URLAuthenticationChallenge& challenge) const;

    URLRequest m_originalRequest;
    URLRequest m_currentRequest;
    std::shared_ptr<URLConnectionDelegate> m_delegate;
    std::shared_ptr<URLConnection> m_self; // while the load runs
    RunLoopModes m_modes = RunLoopModes(RunLoop::kDefaultMode);
    State m_state = State::Idle;
    bool m_started = false;

    std::unique_ptr<Transport> m_transport;
    unsigned long m_generation = 0;
    Timer m_timer;
    int m_redirects = 0;
    std::unique_ptr<internal::URLConnectionDecoder> m_decoder;
    bool m_bodyStarted = false;
    bool m_transportCompleted = false; // the transport said Completed

    std::optional<URLCredential> m_credential;      // for the server
    std::optional<URLCredential> m_proxyCredential; // for the proxy
    std::map<std::string, int> m_challengeCounts;   // per protection space
    unsigned long long m_pendingChallenge = 0;
    unsigned long long m_nextChallenge = 0;
    std::optional<URLResponse> m_challengeResponse;
};

} // namespace murmelo
