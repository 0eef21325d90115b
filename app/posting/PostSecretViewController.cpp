#include "app/posting/PostSecretViewController.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"

namespace murmelo {

PostSecretViewController::PostSecretViewController()
    : PostFormViewController(
          {"Post your secret", "okay, tell the world", "Posting Secret", "index.php?r=secret/create"}) {}

void PostSecretViewController::postSecret() {
    submit();
}

void PostSecretViewController::connectSubmit(Button& button) {
    button.addTarget(sharedAs<PostSecretViewController>(), &PostSecretViewController::postSecret,
                     ControlEvents::TouchUpInside);
}

void PostSecretViewController::cacheText(const std::string& text) {
    UserDefaults::standardUserDefaults()->setObject(Value(text), kCacheKey);
}

Dictionary PostSecretViewController::formFields(const std::string& text) const {
    Dictionary fields;
    fields.set("Secret[content]", Value(text));
    fields.set("Secret[appName]", Value(kAppName));
    return fields;
}

void PostSecretViewController::refill() {
    commonTextView()->setText(std::string());
    if (auto cached = UserDefaults::standardUserDefaults()->stringForKey(kCacheKey)) {
        commonTextView()->setText(*cached);
    }
}

void PostSecretViewController::didPost() {
    NotificationCenter::defaultCenter().postNotificationName(kSwitchToSecretTabNotification);
    onMainThread([](PostFormViewController& form) {
        if (form.presentingViewController()) {
            form.dismissModalViewControllerAnimated(true);
        }
    });
}

void PostSecretViewController::clearCache() {
    UserDefaults::standardUserDefaults()->setObject(Value(std::string()), kCacheKey);
}

} // namespace murmelo
