// FacebookPresenter: the driver's way to the Facebook panels while no screen
// of the application opens them — `present facebook-login` shows the login
// panel; `present facebook-post TEXT` shares TEXT the way the share sheet
// does: the saved login is resumed (or the login panel shown first), then
// the post panel opens with the share record's attachment for TEXT.
//
// Main thread only. The presenter owns its session and the panel it shows
// last; the session and the panels hold it only weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/facebook/FBDialog.h"
#include "app/facebook/FBSession.h"
#include "platform/core/Result.h"
#include "tools/murmelo/driver/Command.h"

namespace murmelo::driver {

class FacebookPresenter : public FBSessionDelegate,
                          public FBDialogDelegate,
                          public std::enable_shared_from_this<FacebookPresenter> {
public:
    // FacebookLogin or FacebookPost (with the text to share).
    Result<void> present(PresentedForm form, const std::string& text);

    void didLogin(FBSession&, std::int64_t uid) override;
    void sessionDidNotLogin(FBSession&) override;
    void dialogDidSucceed(FBDialog&) override;
    void dialogDidCancel(FBDialog&) override;
    void didFailWithError(FBDialog&, const Error& error) override;

private:
    void publish(const std::string& text);

    std::shared_ptr<FBSession> m_session;
    std::shared_ptr<FBDialog> m_dialog;
    std::optional<std::string> m_pendingPost;
};

} // namespace murmelo::driver
