#include "tools/murmelo/driver/FacebookPresenter.h"

#include "app/facebook/FBLoginDialog.h"
#include "app/facebook/FBStreamDialog.h"
#include "app/product/Constants.h"
#include "app/sharing/ShareFTObj.h"
#include "platform/core/Log.h"

namespace murmelo::driver {

Result<void> FacebookPresenter::present(PresentedForm form, const std::string& text) {
    if (m_dialog && m_dialog->superview() && !m_dialog->hasEnded()) {
        return Error("MurmeloDriver", 2, "a Facebook panel is shown already");
    }
    if (!m_session) {
        m_session = FBSession::sessionForApplication(std::string(kFacebookApiKey),
                                                     std::string(kFacebookApiSecret), shared_from_this());
    }
    if (form == PresentedForm::FacebookPost) {
        m_pendingPost = text;
        if (m_session->isConnected()) {
            publish(text);
            return {};
        }
        if (m_session->resume()) {
            return {}; // didLogin publishes
        }
    } else {
        m_pendingPost.reset();
    }
    auto login = std::make_shared<FBLoginDialog>(m_session);
    login->setDelegate(weak_from_this());
    m_dialog = login;
    login->show();
    return {};
}

void FacebookPresenter::didLogin(FBSession&, std::int64_t uid) {
    logLine("facebook: logged in as %lld", static_cast<long long>(uid));
    if (m_pendingPost) {
        std::string text = std::move(*m_pendingPost);
        m_pendingPost.reset();
        publish(text);
    }
}

void FacebookPresenter::sessionDidNotLogin(FBSession&) {
    m_pendingPost.reset();
}

void FacebookPresenter::publish(const std::string& text) {
    ShareFTObj& record = ShareFTObj::sharedShareFTObj();
    record.setMaincontent(text);
    auto stream = std::make_shared<FBStreamDialog>(m_session);
    stream->setDelegate(weak_from_this());
    stream->setUserMessagePrompt("Say something here");
    stream->setAttachment(record.getFacebookString().value_or(""));
    m_dialog = stream;
    stream->show();
}

void FacebookPresenter::dialogDidSucceed(FBDialog& dialog) {
    if (dynamic_cast<FBStreamDialog*>(&dialog)) {
        logLine("facebook: posted to the wall");
    }
}

void FacebookPresenter::dialogDidCancel(FBDialog&) {
    logLine("facebook: the panel was cancelled");
}

void FacebookPresenter::didFailWithError(FBDialog&, const Error& error) {
    logLine("facebook: the panel failed: %s", error.localizedDescription().c_str());
}

} // namespace murmelo::driver
