#include "app/facebook/FBStreamDialog.h"

#include "app/facebook/FBSession.h"

namespace murmelo {

void FBStreamDialog::load() {
    const auto& fbSession = session();
    FBParams post = {
        {"api_key", fbSession ? fbSession->apiKey() : ""},
        {"session_key", fbSession ? fbSession->sessionKey().value_or("") : ""},
        {"preview", "1"},
        {"callback", "fbconnect:success"},
        {"cancel", "fbconnect:cancel"},
        {"attachment", m_attachment},
        {"action_links", m_actionLinks},
        {"target_id", m_targetId},
        {"user_message_prompt", m_userMessagePrompt},
    };
    loadURL(kStreamURL(), "POST", {{"display", "touch"}}, post);
}

} // namespace murmelo
