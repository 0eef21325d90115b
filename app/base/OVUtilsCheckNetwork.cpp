// OVUtils::checkNetwork: the start-up warning for a device without network.
#include <memory>

#include "app/base/OVUtils.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Localization.h"

namespace murmelo {

void OVUtils::checkNetwork() {
    // networkType() is read once per process, so this reflects the state at
    // launch even if the check runs again later.
    if (networkType() != "None") {
        return;
    }
    auto alert = std::make_shared<AlertView>(
        localizedString("Network"),
        localizedString("Sorry, you may need internet connection to use this app."),
        std::weak_ptr<AlertViewDelegate>(), localizedString("OK"));
    alert->show();
}

} // namespace murmelo
