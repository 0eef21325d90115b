#include "app/facebook/FBLoginDialog.h"

#include <cstdlib>

#include "app/facebook/FBSession.h"

namespace murmelo {

// Forwards the token exchange's answer to the dialog while the dialog lives.
class FBLoginDialog::Exchange : public FBRequestDelegate {
public:
    explicit Exchange(FBLoginDialog& dialog) : m_dialog(&dialog) {}
    void forget() { m_dialog = nullptr; }

    void didLoad(FBRequest&, const Value& result) override {
        if (!m_dialog) {
            return;
        }
        auto keep = m_dialog->shared_from_this();
        m_dialog->m_getSessionRequest.reset();
        auto text = [&](std::string_view key) -> std::optional<std::string> {
            const Value* value = result.find(key);
            if (value && (value->isString() || value->isNumber())) {
                return value->stringValue();
            }
            return std::nullopt;
        };
        auto uid = text("uid");
        auto sessionKey = text("session_key");
        const auto& session = m_dialog->session();
        std::int64_t uidValue = uid ? std::strtoll(uid->c_str(), nullptr, 10) : 0;
        if (!session || uidValue == 0 || !sessionKey || sessionKey->empty()) {
            m_dialog->dismissWithError(Error("FBLoginDialog", 1, "the session answer lacks a user or a key"),
                                       true);
            return;
        }
        double expires = std::strtod(text("expires").value_or("0").c_str(), nullptr);
        std::optional<Date> expirationDate;
        if (expires != 0) {
            expirationDate = Date::from1970(expires);
        }
        session->begin(uidValue, *sessionKey, text("secret"), expirationDate);
        session->resume();
        m_dialog->dismissWithSuccess(true, true);
    }

    void didFailWithError(FBRequest&, const Error& error) override {
        if (!m_dialog) {
            return;
        }
        auto keep = m_dialog->shared_from_this();
        m_dialog->m_getSessionRequest.reset();
        m_dialog->dismissWithError(error, true);
    }

private:
    FBLoginDialog* m_dialog;
};

FBLoginDialog::~FBLoginDialog() {
    if (m_exchange) {
        m_exchange->forget();
    }
}

void FBLoginDialog::load() {
    const auto& fbSession = session();
    FBParams get = {
        {"fbconnect", "1"},
        {"connect_display", "touch"},
        {"api_key", fbSession ? fbSession->apiKey() : ""},
        {"next", "fbconnect://success"},
    };
    loadURL(kLoginURL(), std::nullopt, get, {});
}

void FBLoginDialog::dialogDidSucceed(const URL& url) {
    const std::string query = url.query().value_or("");
    const std::string marker = "auth_token=";
    size_t start = query.find(marker);
    if (start == std::string::npos || m_getSessionRequest) {
        return;
    }
    start += marker.size();
    std::string token = query.substr(start, query.find('&', start) - start);

    if (!m_exchange) {
        m_exchange = std::make_shared<Exchange>(*this);
    }
    m_getSessionRequest = FBRequest::requestWithSession(session(), m_exchange);
    Dictionary params{{"auth_token", Value(token)}};
    if (session() && !session()->apiSecret()) {
        params.set("generate_session_secret", Value("1"));
    }
    if (session() && session()->getSessionProxy()) {
        m_getSessionRequest->post(*session()->getSessionProxy(), params);
    } else {
        m_getSessionRequest->call("facebook.auth.getSession", params);
    }
}

void FBLoginDialog::dialogWillDisappear() {
    webView()->stringByEvaluatingJavaScriptFromString("email.blur();");
    if (m_getSessionRequest) {
        auto request = std::move(m_getSessionRequest);
        request->cancel();
    }
    if (session() && !session()->isConnected()) {
        session()->cancelLogin();
    }
}

} // namespace murmelo
