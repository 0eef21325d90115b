// FBRequest: one call of Facebook's REST API — signed with an MD5 signature,
// sent as a multipart form post and answered in XML — or a plain request to
// any address (`post`). Requests go out through their session, which paces
// them (FBSession::send).
//
//   auto request = FBRequest::requestWithSession(session, delegate);
//   request->call("facebook.users.getLoggedInUser", {});
//   // ... the main run loop runs; the delegate hears requestLoading, then
//   // didReceiveResponse, then didLoad (the parsed answer) or
//   // didFailWithError (the connection's, the parser's or the API's error,
//   // whose domain is the API host and whose code is the API's).
//
// Main thread only. Ownership: the session and the delegate are not owned;
// a queued request is held by its session, a loading one by its connection,
// so the caller need not keep it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "app/facebook/FBConnectGlobal.h"
#include "platform/core/Value.h"
#include "platform/net/URLConnection.h"

namespace murmelo {

class FBRequest;
class FBSession;
class Image;

// Every operation is optional.
class FBRequestDelegate {
public:
    virtual ~FBRequestDelegate() = default;
    virtual void requestLoading(FBRequest&) {}
    // request:didReceiveResponse:
    virtual void didReceiveResponse(FBRequest&, const URLResponse&) {}
    // request:didLoad:
    virtual void didLoad(FBRequest&, const Value& /*result*/) {}
    // request:didFailWithError:
    virtual void didFailWithError(FBRequest&, const Error&) {}
    virtual void requestWasCancelled(FBRequest&) {}
};

class FBRequest : public URLConnectionDelegate, public std::enable_shared_from_this<FBRequest> {
public:
    // An image (sent as PNG) or bytes after the parameters of a call.
    using DataParam = std::variant<std::monostate, std::shared_ptr<const Image>, Data>;

    static std::shared_ptr<FBRequest> requestWithSession(const std::shared_ptr<FBSession>& session,
                                                         const std::shared_ptr<FBRequestDelegate>& delegate);
    static std::shared_ptr<FBRequest> requestWithSession(const std::shared_ptr<FBSession>& session);
    // With the shared session.
    static std::shared_ptr<FBRequest> requestWithDelegate(const std::shared_ptr<FBRequestDelegate>& delegate);
    static std::shared_ptr<FBRequest> request();

    FBRequest(std::weak_ptr<FBSession> session, std::weak_ptr<FBRequestDelegate> delegate);
    ~FBRequest() override;

    // call:params:dataParam: — a signed REST call, handed to the session.
    void call(const std::string& method, const Dictionary& params, DataParam dataParam = {});
    // post:params: — the parameters in the query of `url`, unsigned.
    void post(const std::string& url, const Dictionary& params);
    // Stops the transfer (or takes the request out of its session's queue)
    // and tells the delegate requestWasCancelled.
    void cancel();
    bool loading() const { return m_connection != nullptr; }

    // The signature of `params` (all but "sig") with `secret`: MD5 hex of
    // name=value for each, sorted by name in any letter case, then the secret.
    static std::string generateSig(const FBParams& params, const std::string& secret);
    // A "call_id": the time in whole seconds, and above every earlier one of
    // the process.
    static std::string nextCallId();

    // Called by the session: starts the transfer.
    void connect();

    std::shared_ptr<FBSession> session() const { return m_session.lock(); }
    std::shared_ptr<FBRequestDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<FBRequestDelegate> delegate) { m_delegate = std::move(delegate); }
    const std::string& url() const { return m_url; }
    const std::optional<std::string>& method() const { return m_method; }
    const Dictionary& params() const { return m_params; }
    const Value& userInfo() const { return m_userInfo; }
    void setUserInfo(Value userInfo) { m_userInfo = std::move(userInfo); }
    // Timer::now() when the transfer started; 0 before.
    double timestamp() const { return m_timestamp; }

    // URLConnectionDelegate
    void didReceiveResponse(URLConnection&, const URLResponse& response) override;
    void didReceiveData(URLConnection&, const Data& data) override;
    void connectionDidFinishLoading(URLConnection&) override;
    void didFailWithError(URLConnection&, const Error& error) override;

private:
    void failSoon(Error error);
    void finish();

    std::weak_ptr<FBSession> m_session;
    std::weak_ptr<FBRequestDelegate> m_delegate;
    std::string m_url;
    std::optional<std::string> m_method;
    Dictionary m_params;
    DataParam m_dataParam;
    Value m_userInfo;
    double m_timestamp = 0;
    std::optional<Error> m_refused; // parameters that cannot be sent
    std::shared_ptr<URLConnection> m_connection;
    std::string m_responseText;
};

} // namespace murmelo
