#include "tools/murmelo/driver/GoBack.h"

#include "platform/ui/Interaction.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "tools/murmelo/driver/FrontPage.h"
#include "tools/murmelo/driver/ScreenQuery.h"

namespace murmelo::driver {

Result<void> goBack() {
    // A presented screen first, then the top screen's navigation stack, then the page history.
    if (Interaction::dismissModal(true)) {
        return {};
    }
    for (View* view : visibleViewsFrontFirst()) {
        ViewController* controller = view->viewController();
        if (!controller) {
            continue;
        }
        auto* navigation = dynamic_cast<NavigationController*>(controller);
        if (!navigation) {
            navigation = controller->navigationController();
        }
        if (navigation && navigation->viewControllers().size() > 1) {
            (void)navigation->popViewControllerAnimated(true);
            return {};
        }
    }
    if (FrontPage::goBack()) {
        return {};
    }
    return Error("MurmeloDriver", 2, "there is nothing to go back to");
}

} // namespace murmelo::driver
