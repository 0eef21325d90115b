#include "tools/murmelo/driver/AppWiring.h"

#include "app/shell/AppMain.h"

namespace murmelo::driver {

std::optional<Application::DelegateFactories> murmeloApplication() {
    return murmeloDelegateFactories();
}

std::function<Result<void>(const std::string& path)> screenRenderer() {
    // The screen renderer is not in this build yet.
    return nullptr;
}

} // namespace murmelo::driver
