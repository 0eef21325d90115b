#include "tools/murmelo/driver/AppWiring.h"

#include "app/posting/PostSecretViewController.h"
#include "app/shell/AppMain.h"
#include "app/web/WebScreen.h"
#include "platform/ui/ScreenRenderer.h"
#include "platform/ui/View.h"
#include "tools/murmelo/driver/FacebookPresenter.h"
#include "tools/murmelo/driver/ScreenQuery.h"

namespace murmelo::driver {

namespace {

Error presentError(const std::string& description) {
    return Error("MurmeloDriver", 2, description);
}

// The web screen whose view is the front-most on the screen.
WebScreen* frontMostWebScreen() {
    for (View* view : visibleViewsFrontFirst()) {
        if (auto* screen = dynamic_cast<WebScreen*>(view->viewController())) {
            return screen;
        }
    }
    return nullptr;
}

Result<void> present(PresentedForm form, const std::string& secretId,
                     std::shared_ptr<PostSecretViewController>& secretForm) {
    WebScreen* screen = frontMostWebScreen();
    if (!screen) {
        return presentError("no web screen is shown to present the form from");
    }
    if (auto shown = screen->modalViewController()) {
        return presentError("a screen is presented already (" + shown->className() + ")");
    }
    if (form == PresentedForm::Comment) {
        screen->setSecret_id(secretId);
        screen->addComment();
        return {};
    }
    if (!secretForm) {
        secretForm = std::make_shared<PostSecretViewController>();
    }
    screen->presentModalViewController(secretForm, true);
    return {};
}

} // namespace

Application::DelegateFactories murmeloApplication() {
    return murmeloDelegateFactories();
}

std::function<Result<void>(const std::string& path)> screenRenderer() {
    return [](const std::string& path) { return renderKeyWindowToPNG(path); };
}

std::function<Result<void>(PresentedForm form, const std::string& secretId)> formPresenter() {
    // The secret form lives as long as the presenter (the session's).
    auto secretForm = std::make_shared<std::shared_ptr<PostSecretViewController>>();
    auto facebook = std::make_shared<FacebookPresenter>();
    return [secretForm, facebook](PresentedForm form, const std::string& secretId) {
        if (form == PresentedForm::FacebookLogin || form == PresentedForm::FacebookPost) {
            return facebook->present(form, secretId);
        }
        return present(form, secretId, *secretForm);
    };
}

} // namespace murmelo::driver
