#include "app/facebook/FBSession.h"

#include <algorithm>

#include "app/facebook/FBConnectGlobal.h"
#include "app/facebook/FBRequest.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/CookieStore.h"

namespace murmelo {

namespace {

constexpr const char* kUserIdKey = "FBUserId";
constexpr const char* kSessionKeyKey = "FBSessionKey";
constexpr const char* kSessionSecretKey = "FBSessionSecret";
constexpr const char* kSessionExpiresKey = "FBSessionExpires";

std::weak_ptr<FBSession>& sharedSlot() {
    static std::weak_ptr<FBSession> slot;
    return slot;
}

} // namespace

std::shared_ptr<FBSession> FBSession::session() {
    return sharedSlot().lock();
}

void FBSession::setSession(const std::shared_ptr<FBSession>& session) {
    sharedSlot() = session;
}

FBSession::FBSession(std::string apiKey, std::optional<std::string> apiSecret,
                     std::optional<std::string> proxy)
    : m_apiKey(std::move(apiKey)), m_apiSecret(std::move(apiSecret)), m_getSessionProxy(std::move(proxy)) {}

FBSession::~FBSession() = default;

std::shared_ptr<FBSession> FBSession::make(std::string apiKey, std::optional<std::string> apiSecret,
                                           std::optional<std::string> proxy,
                                           const std::shared_ptr<FBSessionDelegate>& delegate) {
    std::shared_ptr<FBSession> session(
        new FBSession(std::move(apiKey), std::move(apiSecret), std::move(proxy)));
    if (delegate) {
        session->addDelegate(delegate);
    }
    if (sharedSlot().expired()) {
        sharedSlot() = session;
    }
    return session;
}

std::shared_ptr<FBSession>
FBSession::sessionForApplication(const std::string& apiKey, const std::string& secret,
                                 const std::shared_ptr<FBSessionDelegate>& delegate) {
    return make(apiKey, secret, std::nullopt, delegate);
}

std::shared_ptr<FBSession>
FBSession::sessionForApplication_getSessionProxy(const std::string& apiKey,
                                                 const std::string& getSessionProxy,
                                                 const std::shared_ptr<FBSessionDelegate>& delegate) {
    return make(apiKey, std::nullopt, getSessionProxy, delegate);
}

std::vector<std::shared_ptr<FBSessionDelegate>> FBSession::delegates() const {
    std::vector<std::shared_ptr<FBSessionDelegate>> out;
    for (const auto& weak : m_delegates) {
        if (auto delegate = weak.lock()) {
            out.push_back(std::move(delegate));
        }
    }
    return out;
}

void FBSession::addDelegate(const std::shared_ptr<FBSessionDelegate>& delegate) {
    m_delegates.push_back(delegate);
}

void FBSession::removeDelegate(const FBSessionDelegate* delegate) {
    std::erase_if(m_delegates, [&](const auto& weak) {
        auto locked = weak.lock();
        return !locked || locked.get() == delegate;
    });
}

std::string FBSession::apiURL() const {
    return kAPIRestURL();
}

std::string FBSession::apiSecureURL() const {
    return kAPIRestSecureURL();
}

void FBSession::begin(std::int64_t uid, const std::string& sessionKey,
                      const std::optional<std::string>& sessionSecret, const std::optional<Date>& expires) {
    m_uid = uid;
    m_sessionKey = sessionKey;
    m_sessionSecret = sessionSecret;
    m_expirationDate = expires;
    save();
}

bool FBSession::resume() {
    auto defaults = UserDefaults::standardUserDefaults();
    std::int64_t uid = defaults->integerForKey(kUserIdKey);
    if (uid == 0) {
        return false;
    }
    std::optional<Date> expires;
    if (auto stored = defaults->objectForKey(kSessionExpiresKey)) {
        const Date* date = stored->asDate();
        // A value that is no date cannot vouch for the login.
        if (!date || date->since1970() <= Date::now().since1970()) {
            return false;
        }
        expires = *date;
    }
    m_uid = uid;
    m_sessionKey = defaults->stringForKey(kSessionKeyKey);
    m_sessionSecret = defaults->stringForKey(kSessionSecretKey);
    m_expirationDate = expires;
    for (const auto& delegate : delegates()) {
        delegate->didLogin(*this, m_uid);
    }
    return true;
}

void FBSession::cancelLogin() {
    if (isConnected()) {
        return;
    }
    for (const auto& delegate : delegates()) {
        delegate->sessionDidNotLogin(*this);
    }
}

void FBSession::logout() {
    if (!m_sessionKey) {
        deleteFacebookCookies();
        unsave();
        UserDefaults::standardUserDefaults()->synchronize();
        return;
    }
    for (const auto& delegate : delegates()) {
        delegate->willLogout(*this, m_uid);
    }
    deleteFacebookCookies();
    m_uid = 0;
    m_sessionKey.reset();
    m_sessionSecret.reset();
    m_expirationDate.reset();
    unsave();
    UserDefaults::standardUserDefaults()->synchronize();
    for (const auto& delegate : delegates()) {
        delegate->sessionDidLogout(*this);
    }
}

void FBSession::save() {
    auto defaults = UserDefaults::standardUserDefaults();
    if (m_uid != 0) {
        defaults->setObject(Value(static_cast<long long>(m_uid)), kUserIdKey);
    } else {
        defaults->removeObjectForKey(kUserIdKey);
    }
    auto text = [&](const std::optional<std::string>& value, const char* key) {
        if (value) {
            defaults->setObject(Value(*value), key);
        } else {
            defaults->removeObjectForKey(key);
        }
    };
    text(m_sessionKey, kSessionKeyKey);
    text(m_sessionSecret, kSessionSecretKey);
    if (m_expirationDate) {
        defaults->setObject(Value(*m_expirationDate), kSessionExpiresKey);
    } else {
        defaults->removeObjectForKey(kSessionExpiresKey);
    }
    defaults->synchronize();
}

void FBSession::unsave() {
    auto defaults = UserDefaults::standardUserDefaults();
    for (const char* key : {kUserIdKey, kSessionKeyKey, kSessionSecretKey, kSessionExpiresKey}) {
        defaults->removeObjectForKey(key);
    }
}

void FBSession::deleteFacebookCookies() {
    auto loginURL = URL::strictParse(kLoginURL());
    if (!loginURL) {
        return;
    }
    CookieStore& store = CookieStore::shared();
    for (const Cookie& cookie : store.cookiesForURL(*loginURL)) {
        store.deleteCookie(cookie);
    }
}

void FBSession::send(const std::shared_ptr<FBRequest>& request) {
    performRequest(request, true);
}

bool FBSession::dequeue(const FBRequest& request) {
    auto it = std::find_if(m_requestQueue.begin(), m_requestQueue.end(),
                           [&](const auto& queued) { return queued.get() == &request; });
    if (it == m_requestQueue.end()) {
        return false;
    }
    m_requestQueue.erase(it);
    return true;
}

bool FBSession::performRequest(const std::shared_ptr<FBRequest>& request, bool enqueue) {
    const double now = Timer::now();
    if (m_lastRequestTime && now - *m_lastRequestTime < kBurstDuration) {
        ++m_requestBurstCount;
        if (m_requestBurstCount > kMaxBurstRequests) {
            if (enqueue) {
                m_requestQueue.push_back(request);
                startFlushTimer();
            }
            return false;
        }
        request->connect();
        return true;
    }
    request->connect();
    m_requestBurstCount = 1;
    m_lastRequestTime = request->timestamp();
    return true;
}

void FBSession::startFlushTimer() {
    if (m_requestTimer.isValid()) {
        return;
    }
    double due = m_lastRequestTime ? *m_lastRequestTime + kBurstDuration - Timer::now() : kBurstDuration;
    m_requestTimer = Timer(std::max(due, 0.0), Timer::Repeats::No, [this] {
        m_requestTimer = Timer();
        flushRequestQueue();
    });
}

void FBSession::flushRequestQueue() {
    // The session may lose its last owner in a delegate call of a starting request.
    auto keep = shared_from_this();
    while (!m_requestQueue.empty()) {
        std::shared_ptr<FBRequest> next = m_requestQueue.front();
        if (!performRequest(next, false)) {
            startFlushTimer();
            return;
        }
        dequeue(*next);
    }
}

} // namespace murmelo
