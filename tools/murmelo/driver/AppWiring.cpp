#include "tools/murmelo/driver/AppWiring.h"

#include "app/shell/AppMain.h"
#include "platform/ui/ScreenRenderer.h"

namespace murmelo::driver {

Application::DelegateFactories murmeloApplication() {
    return murmeloDelegateFactories();
}

std::function<Result<void>(const std::string& path)> screenRenderer() {
    return [](const std::string& path) { return renderKeyWindowToPNG(path); };
}

} // namespace murmelo::driver
