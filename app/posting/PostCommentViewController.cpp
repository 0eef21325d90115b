#include "app/posting/PostCommentViewController.h"

#include "platform/foundation/UserDefaults.h"

namespace murmelo {

PostCommentViewController::PostCommentViewController()
    : PostFormViewController(
          {"add comment", "okay, submit", "Posting Comment", "index.php?r=comment/create"}) {}

void PostCommentViewController::postComment() {
    submit();
}

void PostCommentViewController::cancelPost() {
    dismiss();
}

void PostCommentViewController::dismiss() {
    if (ViewController* parent = parentViewController()) {
        parent->dismissModalViewControllerAnimated(true);
    }
}

void PostCommentViewController::connectSubmit(Button& button) {
    button.addTarget(sharedAs<PostCommentViewController>(), &PostCommentViewController::postComment,
                     ControlEvents::TouchUpInside);
}

void PostCommentViewController::layoutExtras() {
    m_cancelButton = addFormButton("Cancel", Rect(50, 400, 204, 44));
    m_cancelButton->addTarget(sharedAs<PostCommentViewController>(), &PostCommentViewController::cancelPost,
                              ControlEvents::TouchUpInside);
}

void PostCommentViewController::cacheText(const std::string& text) {
    auto defaults = UserDefaults::standardUserDefaults();
    defaults->setObject(Value(text), kCacheKey);
    if (m_secretId) {
        defaults->setObject(Value(*m_secretId), kCacheSecretIdKey);
    } else {
        defaults->removeObjectForKey(kCacheSecretIdKey);
    }
}

Dictionary PostCommentViewController::formFields(const std::string& text) const {
    Dictionary fields;
    fields.set("Comment[content]", Value(text));
    fields.set("Comment[secret_id]", Value(m_secretId.value_or(std::string())));
    fields.set("Comment[appName]", Value(kAppName));
    return fields;
}

void PostCommentViewController::refill() {
    auto defaults = UserDefaults::standardUserDefaults();
    std::optional<std::string> cached = defaults->stringForKey(kCacheKey);
    std::optional<std::string> owner = defaults->stringForKey(kCacheSecretIdKey);
    // Without an owner the text predates the owner key and belongs to no secret in particular.
    bool ours = !owner || owner == m_secretId;
    commonTextView()->setText(ours ? cached.value_or(std::string()) : std::string());
}

void PostCommentViewController::didPost() {
    onMainThread(
        [](PostFormViewController& form) { static_cast<PostCommentViewController&>(form).dismiss(); });
}

void PostCommentViewController::clearCache() {
    auto defaults = UserDefaults::standardUserDefaults();
    defaults->setObject(Value(std::string()), kCacheKey);
    defaults->removeObjectForKey(kCacheSecretIdKey);
}

} // namespace murmelo
