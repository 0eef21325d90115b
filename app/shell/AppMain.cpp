#include "app/shell/AppMain.h"

#include <memory>

#include "app/ads/adapters/AdWhirlAdapters.h"
#include "app/shell/AppDelegate_Pad.h"
#include "app/shell/AppDelegate_Phone.h"

namespace murmelo {

Application::DelegateFactories murmeloDelegateFactories() {
    // Every start makes its delegate here, before any banner parses its
    // configuration and after the home (whose device profile says whether
    // iAd exists) is chosen.
    Application::DelegateFactories factories;
    factories.phone = [] {
        registerAdWhirlAdapters();
        return std::make_shared<AppDelegate_Phone>();
    };
    factories.pad = [] {
        registerAdWhirlAdapters();
        return std::make_shared<AppDelegate_Pad>();
    };
    return factories;
}

int murmeloMain(int argc, char** argv) {
    return applicationMain(argc, argv, murmeloDelegateFactories());
}

} // namespace murmelo
