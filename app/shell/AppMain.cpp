#include "app/shell/AppMain.h"

#include <memory>

#include "app/ads/adapters/AdWhirlAdapters.h"
#include "app/shell/AppDelegate_Pad.h"
#include "app/shell/AppDelegate_Phone.h"

namespace murmelo {

Application::DelegateFactories murmeloDelegateFactories() {
    // Every way of starting the application passes here, before any banner
    // parses its configuration.
    registerAdWhirlAdapters();
    Application::DelegateFactories factories;
    factories.phone = [] { return std::make_shared<AppDelegate_Phone>(); };
    factories.pad = [] { return std::make_shared<AppDelegate_Pad>(); };
    return factories;
}

int murmeloMain(int argc, char** argv) {
    return applicationMain(argc, argv, murmeloDelegateFactories());
}

} // namespace murmelo
