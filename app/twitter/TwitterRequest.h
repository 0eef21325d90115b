// TwitterRequest: one status update to Twitter with HTTP basic
// authentication, run on the calling thread's own run loop.
//
//   TwitterRequest request("alice", "secret");
//   request.setErrorCallback([delegate](const std::string& why) { delegate->failed(why); });
//   request.statuses_update("hello", delegate, [delegate](const Data&) { delegate->posted(); });
//   // returns once one of the two callbacks has run
//
// The body is "status=" and the percent-encoded UTF-8 text, its
// Content-Length the byte count. The first authentication challenge is
// answered with the account; a repeated one is cancelled (the account is
// wrong). Only a 2xx reply is a success; any other status calls the error
// callback with a message naming it ("Invalid Username or Password" for 401).
//
// Threading: a background thread with a run loop (an operation's worker);
// the callbacks run on that thread before statuses_update() returns.
// Ownership: the request keeps the delegate alive until it returns; the
// connection lives for the exchange only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Value.h"

namespace murmelo {

class TwitterRequestDelegate {
public:
    virtual ~TwitterRequestDelegate() = default;
};

// Callables rather than member pointers: a member of a class derived from
// the delegate, called through a pointer to the delegate, is a call on an
// object of the wrong type.
using TwitterSuccessSelector = std::function<void(const Data&)>;
using TwitterErrorSelector = std::function<void(const std::string&)>;

class TwitterRequest {
public:
    static constexpr const char* kInvalidAccountMessage = "Invalid Username or Password";
    // The whole exchange ends within this many seconds, whatever the server does.
    static constexpr double kTimeout = 60;

    TwitterRequest() = default;
    TwitterRequest(std::string username, std::string password)
        : m_username(std::move(username)), m_password(std::move(password)) {}

    void setUsername(std::string username) { m_username = std::move(username); }
    void setPassword(std::string password) { m_password = std::move(password); }
    void setErrorCallback(TwitterErrorSelector selector) { m_errorCallback = std::move(selector); }

    // statuses_update:delegate:requestSelector: — posts `status`; returns
    // when the exchange has ended and its callback has run.
    void statuses_update(const std::string& status, const std::shared_ptr<TwitterRequestDelegate>& delegate,
                         TwitterSuccessSelector requestSelector);

    // The form body for a status text.
    static std::string bodyForStatus(const std::string& status);

    bool isPost() const { return m_isPost; }
    bool authError() const { return m_authError; }
    const std::string& requestBody() const { return m_requestBody; }
    const Data& receivedData() const { return m_receivedData; }

private:
    class Connection;
    friend class Connection;

    void request(const std::string& address);
    void succeeded();
    void failed(const std::string& message);

    std::string m_username;
    std::string m_password;
    std::shared_ptr<TwitterRequestDelegate> m_delegate;
    TwitterSuccessSelector m_callback;
    TwitterErrorSelector m_errorCallback;
    bool m_authError = false;
    bool m_isPost = false;
    std::string m_requestBody;
    bool m_done = false;
    Data m_receivedData;
    std::optional<int> m_statusCode;
};

} // namespace murmelo
