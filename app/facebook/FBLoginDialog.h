// FBLoginDialog: Facebook's login page in the panel. The page reports
// "fbconnect://success?auth_token=T"; the dialog exchanges the token for a
// session ("facebook.auth.getSession", or a post to the session's proxy),
// begins and resumes the session (which saves the login and tells the
// session's delegates didLogin) and ends with success. Any other ending
// leaves the session disconnected and tells its delegates
// sessionDidNotLogin as the panel goes.
//
// Main thread only; see FBDialog for ownership.
#pragma once

#include <memory>

#include "app/facebook/FBDialog.h"
#include "app/facebook/FBRequest.h"

namespace murmelo {

class FBLoginDialog : public FBDialog {
public:
    using FBDialog::FBDialog;
    ~FBLoginDialog() override;

    const std::shared_ptr<FBRequest>& getSessionRequest() const { return m_getSessionRequest; }

    void dialogDidSucceed(const URL& url) override;

protected:
    void load() override;
    void dialogWillDisappear() override;

private:
    // The token exchange answers here; held by the dialog, not the reverse.
    class Exchange;
    std::shared_ptr<Exchange> m_exchange;
    std::shared_ptr<FBRequest> m_getSessionRequest;
};

} // namespace murmelo
