// AppWiring: the one place where the driver names the real application (its
// delegate factories) and the screen renderer. Everything else in the
// driver works with whatever application is launched.
// Main thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/core/Result.h"
#include "platform/ui/Application.h"
#include "tools/murmelo/driver/Command.h"

namespace murmelo::driver {

// The Murmelo application's delegates.
Application::DelegateFactories murmeloApplication();
// Saves the key window as a PNG.
std::function<Result<void>(const std::string& path)> screenRenderer();
// Opens a posting form from the front-most web screen, modally, as the
// platform would: the comment form through the screen's addComment with
// `secretId` as its secret id, the secret form presented from that screen
// (one per presenter, kept and reused like the screens' comment forms); the
// Facebook panels through a FacebookPresenter, which keeps its session.
std::function<Result<void>(PresentedForm form, const std::string& secretId)> formPresenter();

} // namespace murmelo::driver
