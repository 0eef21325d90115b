// FBSession: the application's Facebook credentials and the user's login —
// kept across launches in the standard user defaults ("FBUserId",
// "FBSessionKey", "FBSessionSecret", "FBSessionExpires") — and the pacing
// of its requests: at most kMaxBurstRequests start within kBurstDuration
// seconds, the rest wait in order for the flush timer.
//
//   auto session = FBSession::sessionForApplication(apiKey, apiSecret, delegate);
//   if (!session->resume()) { /* show an FBLoginDialog */ }
//
// The first session made while none is shared becomes the shared one
// (session()); the slot does not own it, so destroying it clears the slot.
//
// Main thread only; the flush timer runs on the main run loop and follows an
// installed ManualClock. Ownership: delegates are not owned; the session
// owns its queued requests.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Value.h"
#include "platform/runloop/Timer.h"

namespace murmelo {

class FBRequest;
class FBSession;

// Every operation is optional.
class FBSessionDelegate {
public:
    virtual ~FBSessionDelegate() = default;
    // session:didLogin:
    virtual void didLogin(FBSession&, std::int64_t /*uid*/) {}
    virtual void sessionDidNotLogin(FBSession&) {}
    // session:willLogout:
    virtual void willLogout(FBSession&, std::int64_t /*uid*/) {}
    virtual void sessionDidLogout(FBSession&) {}
};

class FBSession : public std::enable_shared_from_this<FBSession> {
public:
    static constexpr int kMaxBurstRequests = 3;
    static constexpr double kBurstDuration = 2.0;

    static std::shared_ptr<FBSession> session();
    static void setSession(const std::shared_ptr<FBSession>& session);

    static std::shared_ptr<FBSession>
    sessionForApplication(const std::string& apiKey, const std::string& secret,
                          const std::shared_ptr<FBSessionDelegate>& delegate);
    static std::shared_ptr<FBSession>
    sessionForApplication_getSessionProxy(const std::string& apiKey, const std::string& getSessionProxy,
                                          const std::shared_ptr<FBSessionDelegate>& delegate);
    ~FBSession();
    FBSession(const FBSession&) = delete;
    FBSession& operator=(const FBSession&) = delete;

    std::vector<std::shared_ptr<FBSessionDelegate>> delegates() const;
    void addDelegate(const std::shared_ptr<FBSessionDelegate>& delegate);
    void removeDelegate(const FBSessionDelegate* delegate);

    const std::string& apiKey() const { return m_apiKey; }
    const std::optional<std::string>& apiSecret() const { return m_apiSecret; }
    const std::optional<std::string>& getSessionProxy() const { return m_getSessionProxy; }
    std::int64_t uid() const { return m_uid; }
    const std::optional<std::string>& sessionKey() const { return m_sessionKey; }
    const std::optional<std::string>& sessionSecret() const { return m_sessionSecret; }
    const std::optional<Date>& expirationDate() const { return m_expirationDate; }
    std::string apiURL() const;
    std::string apiSecureURL() const;

    bool isConnected() const { return m_sessionKey.has_value(); }
    // begin:sessionKey:sessionSecret:expires: — stores the login and saves it.
    void begin(std::int64_t uid, const std::string& sessionKey,
               const std::optional<std::string>& sessionSecret, const std::optional<Date>& expires);
    // Restores a saved, unexpired login (telling the delegates didLogin
    // before it returns); whether it did.
    bool resume();
    void cancelLogin();
    void logout();
    void save();
    void unsave();
    // Deletes every cookie the shared store holds for the login address.
    void deleteFacebookCookies();

    // send: — starts the request now, or queues it when the burst is full.
    void send(const std::shared_ptr<FBRequest>& request);
    // Takes a queued request out; whether it was queued.
    bool dequeue(const FBRequest& request);

    // Pacing state, for tests.
    std::size_t queuedRequestCount() const { return m_requestQueue.size(); }
    int requestBurstCount() const { return m_requestBurstCount; }
    bool flushTimerPending() const { return m_requestTimer.isValid(); }

private:
    FBSession(std::string apiKey, std::optional<std::string> apiSecret, std::optional<std::string> proxy);
    static std::shared_ptr<FBSession> make(std::string apiKey, std::optional<std::string> apiSecret,
                                           std::optional<std::string> proxy,
                                           const std::shared_ptr<FBSessionDelegate>& delegate);
    bool performRequest(const std::shared_ptr<FBRequest>& request, bool enqueue);
    void startFlushTimer();
    void flushRequestQueue();

    std::vector<std::weak_ptr<FBSessionDelegate>> m_delegates;
    std::string m_apiKey;
    std::optional<std::string> m_apiSecret;
    std::optional<std::string> m_getSessionProxy;
    std::int64_t m_uid = 0;
    std::optional<std::string> m_sessionKey;
    std::optional<std::string> m_sessionSecret;
    std::optional<Date> m_expirationDate;
    std::deque<std::shared_ptr<FBRequest>> m_requestQueue;
    std::optional<double> m_lastRequestTime; // Timer::now() seconds
    int m_requestBurstCount = 0;
    Timer m_requestTimer; // last: cancelled before the queue goes
};

} // namespace murmelo
