// AppWiring: the one place where the driver names the real application (its
// delegate factories) and the screen renderer. Everything else in the
// driver works with whatever application is launched.
// Main thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/core/Result.h"
#include "platform/ui/Application.h"

namespace murmelo::driver {

// The Murmelo application's delegates.
Application::DelegateFactories murmeloApplication();
// Saves the key window as a PNG.
std::function<Result<void>(const std::string& path)> screenRenderer();

} // namespace murmelo::driver
