#include "tools/murmelo/driver/AppWiring.h"

namespace murmelo::driver {

std::optional<Application::DelegateFactories> murmeloApplication() {
    return std::nullopt;
}

std::function<Result<void>(const std::string& path)> screenRenderer() {
    return nullptr;
}

} // namespace murmelo::driver
