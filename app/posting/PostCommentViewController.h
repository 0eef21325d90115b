// PostCommentViewController: the native comment form — adds a comment to
// the secret `secret_id` (set by the opener before each presentation), with
// a "Cancel" button; on success it leaves (dismisses itself).
//
// The unsent comment is cached under "CacheComment" as before, and the id
// of the secret it was written for under "CacheCommentSecretId", so the box
// is refilled only in that secret's form. A cached comment stored without
// an id (by an earlier version) is offered in whichever form opens next.
//
// Threading and ownership: see PostFormViewController.
#pragma once

#include <optional>
#include <string>

#include "app/posting/PostFormViewController.h"

namespace murmelo {

class PostCommentViewController : public PostFormViewController {
public:
    static constexpr const char* kCacheKey = "CacheComment";
    static constexpr const char* kCacheSecretIdKey = "CacheCommentSecretId";

    PostCommentViewController();

    const std::optional<std::string>& secret_id() const { return m_secretId; }
    void setSecret_id(std::optional<std::string> secretId) { m_secretId = std::move(secretId); }

    // The submit button's action.
    void postComment();
    // The cancel button's action: dismiss().
    void cancelPost();
    // Asks the presenting screen to dismiss this one, animated.
    void dismiss();

protected:
    void connectSubmit(Button& button) override;
    void layoutExtras() override;
    void cacheText(const std::string& text) override;
    Dictionary formFields(const std::string& text) const override;
    void refill() override;
    void didPost() override;
    void clearCache() override;

private:
    std::optional<std::string> m_secretId;
    std::shared_ptr<Button> m_cancelButton;
};

} // namespace murmelo
