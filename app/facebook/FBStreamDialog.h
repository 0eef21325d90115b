// FBStreamDialog: Facebook's post ("stream") page in the panel, posted the
// attachment, action links, target and message prompt with the session's
// key. The page reports "fbconnect:success" once the story is published and
// "fbconnect:cancel" when the user gives up.
//
// Main thread only; see FBDialog for ownership.
#pragma once

#include <string>

#include "app/facebook/FBDialog.h"

namespace murmelo {

class FBStreamDialog : public FBDialog {
public:
    using FBDialog::FBDialog;

    const std::string& attachment() const { return m_attachment; }
    void setAttachment(std::string attachment) { m_attachment = std::move(attachment); }
    const std::string& actionLinks() const { return m_actionLinks; }
    void setActionLinks(std::string actionLinks) { m_actionLinks = std::move(actionLinks); }
    const std::string& targetId() const { return m_targetId; }
    void setTargetId(std::string targetId) { m_targetId = std::move(targetId); }
    const std::string& userMessagePrompt() const { return m_userMessagePrompt; }
    void setUserMessagePrompt(std::string prompt) { m_userMessagePrompt = std::move(prompt); }

protected:
    void load() override;

private:
    std::string m_attachment;
    std::string m_actionLinks;
    std::string m_targetId;
    std::string m_userMessagePrompt;
};

} // namespace murmelo
