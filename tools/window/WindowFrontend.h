// WindowFrontend: the desktop window of `murmelo window` (GTK 4, on a thread
// of its own). The device stays headless: the window hears from the main
// run loop that the screen changed, asks it for a frame, and sends it taps,
// scrolls and keys (DeviceControls), always as calls posted to the main run
// loop; it never touches a view. Built without GTK, hasWindow() is false.
#pragma once

#include <memory>

#include "platform/core/Result.h"
#include "tools/murmelo/driver/DriverCommand.h"
#include "tools/window/WindowOptions.h"

namespace murmelo::window {

bool hasWindow();

// Opens the window (main thread, after the app launched). Closing it ends
// the session; releasing the result (on the main thread) closes it.
Result<std::shared_ptr<void>> openWindow(const WindowOptions& options, driver::SessionContext& context);

} // namespace murmelo::window
