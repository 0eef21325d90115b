// PostSecretViewController: the native secret form — posts a new secret; on
// success it posts "SwithToSecretTab" (the shell switches to the secret
// pool and reloads it) and, when it was presented modally, leaves, so the
// pool it switched to is what the user sees. The unsent text is cached
// under "CacheSecret".
//
// Threading and ownership: see PostFormViewController.
#pragma once

#include <string>

#include "app/posting/PostFormViewController.h"

namespace murmelo {

class PostSecretViewController : public PostFormViewController {
public:
    static constexpr const char* kCacheKey = "CacheSecret";
    // Spelled so; the shell observes it.
    static constexpr const char* kSwitchToSecretTabNotification = "SwithToSecretTab";

    PostSecretViewController();

    // The submit button's action.
    void postSecret();

protected:
    void connectSubmit(Button& button) override;
    void cacheText(const std::string& text) override;
    Dictionary formFields(const std::string& text) const override;
    void refill() override;
    void didPost() override;
    void clearCache() override;
};

} // namespace murmelo
